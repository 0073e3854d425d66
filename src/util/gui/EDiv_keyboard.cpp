// Keyboard members of EDiv: the key-press filter of the screens and the simulated key strokes.

#include <QCoreApplication>

#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/gui/keystrokes.h"

namespace {

constexpr int kTab = 0x09;
constexpr int kShift = 0x10;
constexpr int kControl = 0x11;
constexpr int kV = 0x56;

void doEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

void MandaTab() { util::gui::sendKeyStrokes({{kTab, true}, {kTab, false}}); }

void MandaShiftTab() {
    util::gui::sendKeyStrokes({{kShift, true}, {kTab, true}, {kTab, false}, {kShift, false}});
}

// The platform's numeric test on a text: surrounding blanks allowed, an empty text is not a
// number.
bool isNumericText(const QString& text) {
    double ignored = 0;
    return data::parseNumber(text, ignored, data::regionalDecimalSeparator());
}

}  // namespace

void EDiv::ControlEnter(Ref<std::int16_t> KeyAscii, const QString& Tag) {
    doEvents();
    if (*KeyAscii == 39) {
        *KeyAscii = 96;
        return;
    }
    // The accents typed as characters of their own; accented letters have codes of their own.
    for (const std::int16_t accent : {126, 180, 96, 94, 168}) {
        if (*KeyAscii == accent) *KeyAscii = 0;
    }
    if (*KeyAscii != 13 && *KeyAscii != 27) return;
    if (!isNumericText(Tag)) return;
    doEvents();
    if (*KeyAscii == 13) MandaTab();
    else MandaShiftTab();
    *KeyAscii = 0;
}

data::Variant EDiv::ScanPelicula(Ref<std::int16_t> KeyAscii) {
    if (*KeyAscii == 39) *KeyAscii = 96;
    return Variant();
}

void EDiv::MandaTeclas(std::int32_t Key) {
    if (Key < 0 || Key > 255) platform::raiseOverflow();
    util::gui::sendKeyStrokes({{Key, true}, {Key, false}});
}

void EDiv::ControlV() {
    util::gui::sendKeyStrokes({{kControl, true}, {kV, true}, {kV, false}, {kControl, false}});
}
