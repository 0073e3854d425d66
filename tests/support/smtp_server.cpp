#include "support/smtp_server.h"

#include "support/python_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <cstdint>
#include <random>

namespace testsupport {

namespace {

// The script lives beside this file in the source tree.
QString scriptPath() {
    return QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + QStringLiteral("/smtp_server.py");
}

QString storeFolder(const QString& root) { return root + QStringLiteral("/store"); }

}  // namespace

TestCertificate TestCertificate::make(const QString& folder, const QString& name) {
    TestCertificate c;
    c.certFile = folder + QLatin1Char('/') + name + QStringLiteral(".pem");
    c.keyFile = folder + QLatin1Char('/') + name + QStringLiteral(".key");
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                   QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-keyout"), c.keyFile, QStringLiteral("-out"), c.certFile, QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1")});
    if (!openssl.waitForFinished(120000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        c.error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(openssl.readAll());
    }
    return c;
}

SmtpTestServer::SmtpTestServer(const Options& options) {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    QDir().mkpath(storeFolder(dir_.path()));
    QStringList args{scriptPath(), QStringLiteral("--store"), storeFolder(dir_.path())};
    switch (options.mode) {
        case Mode::Plain:
            args << QStringLiteral("--mode") << QStringLiteral("plain");
            break;
        case Mode::StartTls:
            args << QStringLiteral("--mode") << QStringLiteral("starttls");
            break;
        case Mode::Smtps:
            args << QStringLiteral("--mode") << QStringLiteral("smtps");
            break;
    }
    if (options.mode != Mode::Plain) {
        cert_ = TestCertificate::make(dir_.path(), QStringLiteral("server"));
        if (!cert_.error.isEmpty()) {
            error_ = cert_.error;
            return;
        }
        args << QStringLiteral("--cert") << cert_.certFile << QStringLiteral("--key") << cert_.keyFile;
    }
    if (!options.user.isEmpty()) args << QStringLiteral("--user") << options.user;
    if (options.delaySeconds > 0) args << QStringLiteral("--delay") << QString::number(options.delaySeconds);
    if (options.dropInData) args << QStringLiteral("--drop-in-data");
    if (options.highPort) args << QStringLiteral("--high-port");

    process_ = std::make_unique<QProcess>();
    // Not on the command line, where every process of the machine could read it.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SMTP_TEST_PASSWORD"), options.password);
    process_->setProcessEnvironment(env);
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's python: python3-aiosmtpd is installed for it, not for another python3 on PATH.
    port_ = startPythonServer(*process_, args, QStringLiteral("SMTP server"), error_);
}

SmtpTestServer::~SmtpTestServer() {
    if (process_) stopPythonServer(*process_);
}

int SmtpTestServer::messageCount() const {
    return static_cast<int>(QDir(storeFolder(dir_.path())).entryList({QStringLiteral("*.json")}, QDir::Files).size());
}

QStringList SmtpTestServer::events() const {
    QFile f(storeFolder(dir_.path()) + QStringLiteral("/events.log"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray SmtpTestServer::rawMessage(int n) const {
    QFile f(storeFolder(dir_.path()) + QLatin1Char('/') + QString::number(n) + QStringLiteral(".eml"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject SmtpTestServer::summary(int n) const {
    QFile f(storeFolder(dir_.path()) + QLatin1Char('/') + QString::number(n) + QStringLiteral(".json"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

int unusedLoopbackPort() {
    // Below 32768, where the kernel's ephemeral ports never are.
    std::mt19937 rng(std::random_device{}());
    std::uniform_int_distribution<int> pick(20000, 32767);
    for (int attempt = 0; attempt < 2000; ++attempt) {
        const int candidate = pick(rng);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return 1;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<std::uint16_t>(candidate));
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (free) return candidate;
    }
    return 1;
}

}  // namespace testsupport
