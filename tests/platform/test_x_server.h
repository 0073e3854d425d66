#pragma once
// A private virtual X server with RandR for tests (Xvfb on a display number it picks itself,
// no TCP), a scoped environment that makes the display services use it, and a test connection
// that can add display modes and read the current screen size.

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <cstdlib>
#include <optional>
#include <utility>

// After every Qt header: Xlib defines macros (Bool, None, Status) that Qt's headers also use.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <cstring>

namespace testsupport {

class TestXServer {
public:
    TestXServer() {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            reason_ = QStringLiteral("no Xvfb on this machine");
            return;
        }
        // -displayfd 1: the server picks a free display number and writes it to standard output.
        process_.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("+extension"),
                              QStringLiteral("RANDR"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!process_.waitForStarted(10000)) {
            reason_ = QStringLiteral("Xvfb did not start");
            return;
        }
        QByteArray out;
        while (!out.contains('\n') && process_.state() == QProcess::Running && process_.waitForReadyRead(15000))
            out += process_.readAllStandardOutput();
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (!ok) {
            reason_ = QStringLiteral("Xvfb gave no display number: ") + QString::fromLocal8Bit(process_.readAllStandardError());
            return;
        }
        name_ = ":" + QByteArray::number(number);
        ready_ = true;
    }
    ~TestXServer() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
    }
    TestXServer(const TestXServer&) = delete;
    TestXServer& operator=(const TestXServer&) = delete;

    bool ready() const { return ready_; }
    const QString& reason() const { return reason_; }
    const QByteArray& name() const { return name_; }

private:
    QProcess process_;
    QByteArray name_;
    QString reason_;
    bool ready_ = false;
};

// Sets (or, with nullopt, removes) environment variables for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : name_(name) {
        if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
        if (value) qputenv(name, *value);
        else qunsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) qputenv(name_, *old_);
        else qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

// The test's own connection: modes it adds live while it stays open.
class XTestConnection {
public:
    explicit XTestConnection(const QByteArray& name) : display_(XOpenDisplay(name.constData())) {}
    ~XTestConnection() {
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    XTestConnection(const XTestConnection&) = delete;
    XTestConnection& operator=(const XTestConnection&) = delete;

    bool ok() const { return display_ != nullptr; }

    // Offers one more size on the screen's first output.
    bool addMode(int width, int height) {
        Window root = DefaultRootWindow(display_);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(display_, root);
        if (res == nullptr || res->noutput < 1) {
            if (res) XRRFreeScreenResources(res);
            return false;
        }
        QByteArray modeName = QByteArray::number(width) + "x" + QByteArray::number(height);
        XRRModeInfo info;
        std::memset(&info, 0, sizeof info);
        info.width = static_cast<unsigned>(width);
        info.height = static_cast<unsigned>(height);
        info.hTotal = info.width;
        info.vTotal = info.height;
        info.dotClock = static_cast<unsigned long>(width) * static_cast<unsigned long>(height) * 60UL;
        info.name = modeName.data();
        info.nameLength = static_cast<unsigned>(modeName.size());
        const RRMode mode = XRRCreateMode(display_, root, &info);
        XRRAddOutputMode(display_, res->outputs[0], mode);
        XRRFreeScreenResources(res);
        XSync(display_, False);
        return true;
    }

    // The size of the screen's current configuration, asked afresh.
    std::pair<int, int> currentSize() {
        Window root = DefaultRootWindow(display_);
        XRRScreenConfiguration* sc = XRRGetScreenInfo(display_, root);
        if (sc == nullptr) return {0, 0};
        int n = 0;
        XRRScreenSize* sizes = XRRConfigSizes(sc, &n);
        Rotation rotation = 0;
        const SizeID current = XRRConfigCurrentConfiguration(sc, &rotation);
        std::pair<int, int> out{0, 0};
        if (current < n) out = {sizes[current].width, sizes[current].height};
        XRRFreeScreenConfigInfo(sc);
        return out;
    }

private:
    Display* display_;
};

}  // namespace testsupport
