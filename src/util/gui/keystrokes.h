#pragma once
// Simulated key strokes. The system sent them through the platform's keyboard-input service,
// so they reached the window that had the focus when they were read from the input queue,
// after the handler that sent them had returned. Here each stroke is queued on the event loop
// and, when its turn comes, goes to the widget that has the focus then (or the active window).

#include <cstdint>
#include <vector>

namespace util::gui {

struct KeyStroke {
    int virtualKey;  // the platform's virtual-key code, 0-255 (9 Tab, 16 Shift, 17 Ctrl, 86 V, ...)
    bool down;       // key down or key up
};

// Queues the strokes in order; the modifier keys among them (16 Shift, 17 Ctrl, 18 Alt) hold
// their modifier for the strokes that follow until their key-up.
void sendKeyStrokes(const std::vector<KeyStroke>& strokes);

// The Qt key of a virtual-key code (0 when there is none).
int qtKeyOfVirtualKey(int virtualKey);

}  // namespace util::gui
