#include <gtest/gtest.h>

#include <poll.h>

#include <QApplication>
#include <vector>

#include "platform/gui/qtsystemhooks.h"
#include "platform/xkeyboard.h"
#include "platform/test_x_server.h"

#include <X11/XKBlib.h>

using testsupport::ScopedEnv;

namespace {

// The test's own view of the X keyboard: its bell settings, and the rings the server reports.
class BellProbe {
public:
    explicit BellProbe(const QByteArray& name) : display_(XOpenDisplay(name.constData())) {
        int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
        if (display_ == nullptr || !XkbQueryExtension(display_, &opcode, &xkbEvent_, &error, &major, &minor)) return;
        XkbSelectEvents(display_, XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask);
        XSync(display_, False);
        ok_ = true;
    }
    ~BellProbe() {
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    BellProbe(const BellProbe&) = delete;
    BellProbe& operator=(const BellProbe&) = delete;

    bool ok() const { return ok_; }

    void set(int pitch, int duration) {
        XKeyboardControl c{};
        c.bell_pitch = pitch;
        c.bell_duration = duration;
        XChangeKeyboardControl(display_, KBBellPitch | KBBellDuration, &c);
        XSync(display_, False);
    }
    std::pair<int, int> settings() {
        XKeyboardState s{};
        XGetKeyboardControl(display_, &s);
        return {static_cast<int>(s.bell_pitch), static_cast<int>(s.bell_duration)};
    }

    // Pitch and duration of each ring reported since the last call, waiting briefly for them.
    std::vector<std::pair<int, int>> rings() {
        std::vector<std::pair<int, int>> out;
        XSync(display_, False);
        pollfd p{ConnectionNumber(display_), POLLIN, 0};
        while (XPending(display_) > 0 || poll(&p, 1, 200) > 0) {
            if (XPending(display_) == 0) break;
            XEvent ev;
            XNextEvent(display_, &ev);
            if (ev.type != xkbEvent_) continue;
            const auto* xkb = reinterpret_cast<const XkbAnyEvent*>(&ev);
            if (xkb->xkb_type != XkbBellNotify) continue;
            const auto* bell = reinterpret_cast<const XkbBellNotifyEvent*>(&ev);
            out.emplace_back(bell->pitch, bell->duration);
        }
        return out;
    }

private:
    Display* display_;
    int xkbEvent_ = 0;
    bool ok_ = false;
};

}  // namespace

TEST(XKeyboard, NothingWithoutAnXDisplay) {
    ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("xcb"));
    ScopedEnv display("DISPLAY", std::nullopt);
    EXPECT_FALSE(platform::ringXBell(440, 100));
    EXPECT_FALSE(platform::xCapsLock().has_value());
    EXPECT_FALSE(platform::setXCapsLock(true));
    EXPECT_NO_THROW(platform::qtBeep(440, 100)) << "falls back to Qt's beep";
}

TEST(XKeyboard, TheBellRingsAtTheAskedPitchAndLengthAndKeepsItsOwn) {
    testsupport::TestXServer server;
    if (!server.ready()) GTEST_SKIP() << server.reason().toStdString();
    BellProbe probe(server.name());
    ASSERT_TRUE(probe.ok());
    probe.set(400, 100);
    probe.rings();

    {
        // The offscreen platform has no screen and so no X bell: Qt's (silent) beep instead.
        ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("offscreen"));
        ScopedEnv display("DISPLAY", server.name());
        EXPECT_FALSE(platform::ringXBell(880, 50));
        EXPECT_TRUE(probe.rings().empty());
    }

    ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("xcb"));
    ScopedEnv display("DISPLAY", server.name());
    // Pitch and length as asked (the protocol's limit is 32767), and what the platform's beep
    // refuses rings nothing.
    const struct {
        int hertz, ms;
        std::vector<std::pair<int, int>> heard;
    } cases[] = {
        {880, 50, {{880, 50}}},      {37, 1, {{37, 1}}},     {32767, 40000, {{32767, 32767}}},
        {36, 100, {}},               {32768, 100, {}},       {440, 0, {}},
        {440, -5, {}},
    };
    for (const auto& c : cases) {
        platform::qtBeep(c.hertz, c.ms);
        EXPECT_EQ(probe.rings(), c.heard) << c.hertz << " Hz " << c.ms << " ms";
        EXPECT_EQ(probe.settings(), std::make_pair(400, 100)) << "the desktop's own bell is put back";
    }
}
