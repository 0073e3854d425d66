#include "sqltoolkit/gui/ponteiro.h"

#include <QApplication>
#include <QCursor>

#include "util/EDiv.h"

namespace csql::gui {

void installMousePointer() {
    util::setMousePointerHook([](std::int16_t pointer) {
        if (QApplication::instance() == nullptr) return;
        // One busy pointer at most: the default pointer takes every override away.
        if (pointer == util::vbHourglass) {
            if (QApplication::overrideCursor() == nullptr) QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        } else {
            while (QApplication::overrideCursor() != nullptr) QApplication::restoreOverrideCursor();
        }
    });
}

void removeMousePointer() { util::setMousePointerHook({}); }

}  // namespace csql::gui
