#include "platform/display.h"

#include <QString>

#include "platform/xdisplay.h"

// After every Qt header: Xlib defines macros (Bool, None, Status) that Qt's headers also use.
#include <X11/extensions/Xrandr.h>

namespace platform {

namespace {

class XConnection {
public:
    XConnection() {
        if (x_.get() == nullptr) return;
        int eventBase = 0;
        int errorBase = 0;
        if (!XRRQueryExtension(x_.get(), &eventBase, &errorBase)) return;
        root_ = DefaultRootWindow(x_.get());
        config_ = XRRGetScreenInfo(x_.get(), root_);
    }
    ~XConnection() {
        if (config_ != nullptr) XRRFreeScreenConfigInfo(config_);
    }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    bool ok() const { return x_.get() != nullptr && config_ != nullptr; }
    Display* display() const { return x_.get(); }
    Window root() const { return root_; }
    XRRScreenConfiguration* config() const { return config_; }

private:
    XDisplay x_;
    Window root_ = 0;
    XRRScreenConfiguration* config_ = nullptr;
};

}  // namespace

QByteArray currentDisplayName() {
    const QByteArray qpa = qgetenv("QT_QPA_PLATFORM").trimmed().toLower();
    if (qpa.startsWith("offscreen") || qpa.startsWith("minimal")) return {};
    return qgetenv("DISPLAY");
}

std::vector<DisplayMode> displayModes() {
    std::vector<DisplayMode> modes;
    XConnection x;
    if (!x.ok()) return modes;
    const int depth = DefaultDepth(x.display(), DefaultScreen(x.display()));
    int nSizes = 0;
    XRRScreenSize* sizes = XRRConfigSizes(x.config(), &nSizes);
    for (int i = 0; i < nSizes; ++i) {
        int nRates = 0;
        short* rates = XRRConfigRates(x.config(), i, &nRates);
        const auto add = [&](int rate) {
            DisplayMode m;
            m.fields = dm::BitsPerPel | dm::PelsWidth | dm::PelsHeight | dm::DisplayFrequency;
            m.bitsPerPel = static_cast<std::uint32_t>(depth);
            m.pelsWidth = static_cast<std::uint32_t>(sizes[i].width);
            m.pelsHeight = static_cast<std::uint32_t>(sizes[i].height);
            m.displayFrequency = static_cast<std::uint32_t>(rate);
            modes.push_back(m);
        };
        if (nRates <= 0) add(0);
        for (int r = 0; r < nRates; ++r) add(rates[r]);
    }
    return modes;
}

int changeDisplaySettings(const DisplayMode& mode) {
    XConnection x;
    if (!x.ok()) return dispchange::Failed;
    Rotation rotation = 0;
    const SizeID current = XRRConfigCurrentConfiguration(x.config(), &rotation);
    const short currentRate = XRRConfigCurrentRate(x.config());

    int nSizes = 0;
    XRRScreenSize* sizes = XRRConfigSizes(x.config(), &nSizes);
    long long width = mode.pelsWidth;
    long long height = mode.pelsHeight;
    if (current < nSizes) {
        if (!(mode.fields & dm::PelsWidth)) width = sizes[current].width;
        if (!(mode.fields & dm::PelsHeight)) height = sizes[current].height;
    }
    int wanted = -1;
    for (int i = 0; i < nSizes && wanted < 0; ++i)
        if (sizes[i].width == width && sizes[i].height == height) wanted = i;
    if (wanted < 0) return dispchange::BadMode;

    short rate = 0;
    if (mode.fields & dm::DisplayFrequency) {
        int nRates = 0;
        short* rates = XRRConfigRates(x.config(), wanted, &nRates);
        for (int r = 0; r < nRates; ++r)
            if (rates[r] == static_cast<short>(mode.displayFrequency)) rate = rates[r];
        if (rate == 0) return dispchange::BadMode;
    }
    if (wanted == current && (rate == 0 || rate == currentRate)) return dispchange::Successful;

    const Status s = rate != 0 ? XRRSetScreenConfigAndRate(x.display(), x.config(), x.root(), wanted, rotation, rate,
                                                           CurrentTime)
                               : XRRSetScreenConfig(x.display(), x.config(), x.root(), wanted, rotation, CurrentTime);
    XSync(x.display(), False);
    return s == RRSetConfigSuccess ? dispchange::Successful : dispchange::Failed;
}

}  // namespace platform
