#include "platform/display.h"
#include "platform/xdisplay.h"

namespace platform {

namespace {

std::mutex gXMutex;
int ignoreXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

XDisplay::XDisplay() : lock_(gXMutex) {
    const QByteArray name = currentDisplayName();
    if (name.isEmpty()) return;
    previous_ = XSetErrorHandler(ignoreXError);
    handlerSet_ = true;
    display_ = XOpenDisplay(name.constData());
}

XDisplay::~XDisplay() {
    if (display_ != nullptr) {
        // Every request is answered (or refused, silently) before the handler goes.
        XSync(display_, False);
        XCloseDisplay(display_);
    }
    if (handlerSet_) XSetErrorHandler(previous_);
}

}  // namespace platform
