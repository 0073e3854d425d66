#pragma once
// The X server's keyboard, for the display the platform services talk to (see xdisplay.h): the
// bell, rung at a given pitch and length, and the Caps Lock state. Every call answers that
// there is no X keyboard, rather than failing, when there is no display to use.

#include <optional>

namespace platform {

// Rings the bell once at `hertz` for `milliseconds`: the keyboard's bell pitch and duration are
// set for this ring (the core protocol has no per-ring values) and then put back as they were,
// so the desktop's own bell keeps its sound. The values are limited to the protocol's 0..32767.
// False when there is no X keyboard (nothing rang).
bool ringXBell(int hertz, int milliseconds);

// Whether Caps Lock is locked on the X keyboard; nothing without one.
std::optional<bool> xCapsLock();

// Locks or unlocks Caps Lock on the X keyboard, as a press of the key does; false without one.
bool setXCapsLock(bool on);

}  // namespace platform
