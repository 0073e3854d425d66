#pragma once
// A short-lived Xlib connection to the display the platform services talk to
// (currentDisplayName(): $DISPLAY unless Qt runs offscreen or minimal). Xlib's default error
// handler ends the program, and a refused request must only fail the call, so the connection
// installs a handler that ignores errors for its life; that handler is process-wide, so these
// connections are made one at a time.

#include <mutex>

// After every Qt header: Xlib defines macros (Bool, None, Status) that Qt's headers also use.
#include <X11/Xlib.h>

namespace platform {

class XDisplay {
public:
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // nullptr when there is no display to use or it cannot be opened.
    Display* get() const { return display_; }

private:
    std::unique_lock<std::mutex> lock_;
    Display* display_ = nullptr;
    XErrorHandler previous_ = nullptr;
    bool handlerSet_ = false;
};

}  // namespace platform
