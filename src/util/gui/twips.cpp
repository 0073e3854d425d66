#include "util/gui/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace util::gui {

namespace {

float perPixel(qreal dpi) {
    if (!(dpi > 0)) return 15.0F;
    return static_cast<float>(1440.0 / dpi);
}

QScreen* primary() {
    if (QGuiApplication::instance() == nullptr) return nullptr;
    return QGuiApplication::primaryScreen();
}

}  // namespace

float twipsPerPixelX() {
    QScreen* s = primary();
    return s != nullptr ? perPixel(s->logicalDotsPerInchX()) : 15.0F;
}

float twipsPerPixelY() {
    QScreen* s = primary();
    return s != nullptr ? perPixel(s->logicalDotsPerInchY()) : 15.0F;
}

int pixelsX(float twips) { return static_cast<int>(std::lround(twips / twipsPerPixelX())); }
int pixelsY(float twips) { return static_cast<int>(std::lround(twips / twipsPerPixelY())); }
float twipsX(int pixels) { return static_cast<float>(pixels) * twipsPerPixelX(); }
float twipsY(int pixels) { return static_cast<float>(pixels) * twipsPerPixelY(); }

TwipRect screenTwips() {
    QScreen* s = primary();
    if (s == nullptr) return {};
    const QRect g = s->geometry();
    return {twipsX(g.left()), twipsY(g.top()), twipsX(g.width()), twipsY(g.height())};
}

TwipRect formTwips(const QWidget* form) {
    if (form == nullptr) return {};
    const QRect g = form->isWindow() ? form->frameGeometry() : form->geometry();
    return {twipsX(g.left()), twipsY(g.top()), twipsX(g.width()), twipsY(g.height())};
}

void moveFormTwips(QWidget* form, float left, float top) {
    if (form == nullptr) return;
    form->move(pixelsX(left), pixelsY(top));
}

}  // namespace util::gui
