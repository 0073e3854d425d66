#pragma once
// Simulated key strokes. The system sent them through the platform's keyboard-input service,
// so they reached the window that had the focus when they were read from the input queue,
// after the handler that sent them had returned. Here each stroke is queued on the event loop
// and, when its turn comes, goes to the widget that has the focus then (or the active window).
//
// Virtual keys are the platform's codes 0-255; the texts they give are those of the US
// standard layout, the layout the platform's own names for its punctuation keys describe.

#include <QString>
#include <Qt>
#include <cstdint>
#include <vector>

namespace util::gui {

struct KeyStroke {
    int virtualKey;  // the platform's virtual-key code, 0-255 (9 Tab, 16 Shift, 17 Ctrl, 86 V, ...)
    bool down;       // key down or key up
};

// Queues the strokes in order. The modifier keys among them (Shift, Ctrl, Alt and the Windows
// keys, either side) hold their modifier for the strokes that follow until their key-up; a
// Caps Lock key-down toggles Caps Lock (on the X keyboard when there is one, as the platform's
// service toggles the real keyboard's).
void sendKeyStrokes(const std::vector<KeyStroke>& strokes);

// What one virtual key gives: the Qt key, the text typed (empty for keys that type nothing)
// and whether it is a key of the numeric pad.
struct KeyMeaning {
    int key = 0;  // 0: the code names no key
    QString text;
    bool keypad = false;
};

// The meaning of a virtual key with these modifiers held and Caps Lock in this state. Caps Lock
// turns letters to capitals, and Shift turns them back, as the platform's keyboard does; it
// leaves digits and punctuation alone.
KeyMeaning keyOfVirtualKey(int virtualKey, Qt::KeyboardModifiers mods, bool capsLock);

// The modifier a virtual key holds (Qt::NoModifier for other keys).
Qt::KeyboardModifier modifierOfVirtualKey(int virtualKey);

// Caps Lock of the keyboard the strokes come from: the X keyboard's when there is one, else a
// state of this program's own, off at start, that only simulated Caps Lock presses toggle.
bool capsLockOn();

}  // namespace util::gui
