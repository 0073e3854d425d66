#pragma once
// A private CUPS scheduler for tests: its own configuration, spool and state in a temporary
// folder, listening on a free loopback port only, with the queues the test writes into its
// printers.conf. The client library of this process is pointed at it for the server's life.

#include <cups/cups.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

namespace testsupport {

// A loopback TCP port nobody listens on at the moment of asking.
inline int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(fd);
    return port;
}

inline bool acceptsConnections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

class TestPrintServer {
public:
    // Queues: name -> lines of "Option name value" for printers.conf.
    explicit TestPrintServer(const QList<QPair<QString, QStringList>>& queues) {
        const QString cupsd = QStandardPaths::findExecutable(
            QStringLiteral("cupsd"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/local/sbin")});
        if (cupsd.isEmpty()) {
            reason_ = QStringLiteral("no CUPS scheduler (cupsd) on this machine");
            return;
        }
        if (!dir_.isValid()) {
            reason_ = QStringLiteral("no temporary folder");
            return;
        }
        const QDir root(dir_.path());
        for (const char* sub : {"spool", "cache", "state", "log", "tmp", "ppd"}) root.mkpath(QString::fromLatin1(sub));
        port_ = freeLoopbackPort();
        if (port_ == 0) {
            reason_ = QStringLiteral("no free loopback port");
            return;
        }
        const QString r = dir_.path();
        write(QStringLiteral("cupsd.conf"),
              QStringLiteral("Listen 127.0.0.1:%1\nLogLevel warn\nBrowsing No\nDefaultAuthType None\nWebInterface No\n"
                             "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                             "<Policy default>\n  <Limit All>\n    Order allow,deny\n    Allow all\n  </Limit>\n</Policy>\n")
                  .arg(port_));
        write(QStringLiteral("cups-files.conf"),
              QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\nTempDir %1/tmp\n"
                             "ErrorLog %1/log/error_log\nAccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                             "Printcap %1/printcap\n")
                  .arg(r));
        QString printers;
        for (const auto& [name, options] : queues) {
            printers += QStringLiteral("<Printer %1>\nInfo %1\nDeviceURI file:///dev/null\nState Idle\nAccepting Yes\n"
                                       "Shared No\n")
                            .arg(name);
            for (const QString& o : options) printers += QStringLiteral("Option ") + o + u'\n';
            printers += QStringLiteral("</Printer>\n");
        }
        write(QStringLiteral("printers.conf"), printers);

        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardOutputFile(r + QStringLiteral("/log/stdout"));
        process_.start(cupsd, {QStringLiteral("-f"), QStringLiteral("-c"), r + QStringLiteral("/cupsd.conf"),
                               QStringLiteral("-s"), r + QStringLiteral("/cups-files.conf")});
        if (!process_.waitForStarted(10000)) {
            reason_ = QStringLiteral("the CUPS scheduler did not start: ") + process_.errorString();
            return;
        }
        // The scheduler listens once its queues are loaded.
        for (int i = 0; i < 300 && !acceptsConnections(port_); ++i) {
            if (process_.state() != QProcess::Running) break;
            QThread::msleep(50);
        }
        if (process_.state() != QProcess::Running || !acceptsConnections(port_)) {
            reason_ = QStringLiteral("the CUPS scheduler did not come up: ") + log();
            return;
        }
        cupsSetServer(QStringLiteral("127.0.0.1:%1").arg(port_).toUtf8().constData());
        ready_ = true;
    }

    ~TestPrintServer() {
        if (ready_) cupsSetServer(nullptr);
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
    }

    bool ready() const { return ready_; }
    const QString& reason() const { return reason_; }
    int port() const { return port_; }

    QString log() const {
        QFile f(dir_.path() + QStringLiteral("/log/error_log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    void write(const QString& name, const QString& text) {
        QFile f(dir_.path() + u'/' + name);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(text.toUtf8());
    }

    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
    bool ready_ = false;
    QString reason_;
};

// The queues the printer tests use: a default of A4 portrait, one of Letter landscape, and one
// whose default names its paper the classic way.
inline QList<QPair<QString, QStringList>> standardQueues() {
    return {
        {QStringLiteral("VelmoraA4"), {QStringLiteral("media iso_a4_210x297mm")}},
        {QStringLiteral("VelmoraLetterLand"),
         {QStringLiteral("media na_letter_8.5x11in"), QStringLiteral("orientation-requested 4")}},
        {QStringLiteral("VelmoraA5"), {QStringLiteral("media A5")}},
    };
}

// Points the client library at a port where nothing listens, for the life of the object.
class NoPrintServer {
public:
    NoPrintServer() {
        const int port = freeLoopbackPort();
        cupsSetServer(QStringLiteral("127.0.0.1:%1").arg(port).toUtf8().constData());
    }
    ~NoPrintServer() { cupsSetServer(nullptr); }
    NoPrintServer(const NoPrintServer&) = delete;
    NoPrintServer& operator=(const NoPrintServer&) = delete;
};

}  // namespace testsupport
