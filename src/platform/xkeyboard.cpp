#include "platform/xkeyboard.h"

#include <algorithm>

#include "platform/xdisplay.h"

#include <X11/XKBlib.h>

namespace platform {

bool ringXBell(int hertz, int milliseconds) {
    XDisplay x;
    Display* d = x.get();
    if (d == nullptr) return false;
    XKeyboardState before{};
    XGetKeyboardControl(d, &before);

    XKeyboardControl ring{};
    ring.bell_pitch = std::clamp(hertz, 0, 32767);
    ring.bell_duration = std::clamp(milliseconds, 0, 32767);
    XChangeKeyboardControl(d, KBBellPitch | KBBellDuration, &ring);
    // The server handles requests in order: the ring takes the values just set, and the
    // restore below does not cut it short.
    XBell(d, 0);

    XKeyboardControl restore{};
    restore.bell_pitch = static_cast<int>(before.bell_pitch);
    restore.bell_duration = static_cast<int>(before.bell_duration);
    XChangeKeyboardControl(d, KBBellPitch | KBBellDuration, &restore);
    return true;
}

std::optional<bool> xCapsLock() {
    XDisplay x;
    if (x.get() == nullptr) return std::nullopt;
    XkbStateRec state{};
    if (XkbGetState(x.get(), XkbUseCoreKbd, &state) != Success) return std::nullopt;
    return (state.locked_mods & LockMask) != 0;
}

bool setXCapsLock(bool on) {
    XDisplay x;
    if (x.get() == nullptr) return false;
    return XkbLockModifiers(x.get(), XkbUseCoreKbd, LockMask, on ? LockMask : 0) == True;
}

}  // namespace platform
