#pragma once
// The message-box host of the windowed program: real Qt message boxes with the icon and
// buttons the style asks for. Where nobody can see a box (Qt's offscreen or minimal platform,
// or no widget application at all) it behaves as the standard-error host instead.

#include "platform/messagebox.h"

namespace platform {

class QtMessageBoxHost : public MessageBoxHost {
public:
    int show(const QString& text, int style, const QString& title) override;

    // True when boxes can be shown on a screen.
    static bool canShowBoxes();
};

}  // namespace platform
