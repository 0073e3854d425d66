#pragma once
// The window layer's unit: the system placed and sized its windows in twips (1/1440 inch). A
// pixel is a fixed number of twips per axis, given by the primary screen's logical resolution
// (15 on a 96-dpi screen).

#include <QRect>

class QWidget;

namespace util::gui {

// A rectangle in twips: left, top, width, height.
struct TwipRect {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

float twipsPerPixelX();
float twipsPerPixelY();

int pixelsX(float twips);
int pixelsY(float twips);
float twipsX(int pixels);
float twipsY(int pixels);

// The primary screen in twips (nothing when the program has no screen).
TwipRect screenTwips();

// A window's outer rectangle (frame included) in twips; a control's rectangle in its parent.
TwipRect formTwips(const QWidget* form);
// Moves a window so that its outer top-left corner lands on the point given in twips.
void moveFormTwips(QWidget* form, float left, float top);

}  // namespace util::gui
