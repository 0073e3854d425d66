#pragma once
// A real SMTP server on loopback for the mail tests (aiosmtpd under Debian's python, see
// smtp_server.py): plain with AUTH, STARTTLS, or implicit TLS, with a test certificate made
// at test time by openssl in the server's temporary folder. It stores every message it
// receives; the tests read the raw bytes and what Python's email package makes of them. The
// password reaches the server through its environment, never its command line.
#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

// A self-signed certificate for "localhost" and 127.0.0.1 with its key, made by openssl in
// folder as <name>.pem and <name>.key. The certificate is its own authority: a client that
// trusts the .pem file accepts a server that presents it.
struct TestCertificate {
    QString certFile;
    QString keyFile;
    QString error;  // empty when made
    static TestCertificate make(const QString& folder, const QString& name);
};

class SmtpTestServer {
public:
    enum class Mode { Plain, StartTls, Smtps };
    struct Options {
        Mode mode = Mode::Plain;
        QString user;  // empty: no AUTH offered or required
        QString password;
        double delaySeconds = 0;  // answer each message only after this, and then refuse it
        bool dropInData = false;  // cut the connection once a message's text has begun
        bool highPort = false;    // listen above 32767 (else below 32768)
    };

    explicit SmtpTestServer(const Options& options);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    bool started() const { return port_ > 0; }
    QString error() const { return error_; }
    int port() const { return port_; }
    QString caFile() const { return cert_.certFile; }  // the authority a client must trust
    QString folder() const { return dir_.path(); }

    int messageCount() const;
    // What the server saw, in order: "auth ok", "auth refused", "drop".
    QStringList events() const;
    // Message n, counting from 1.
    QByteArray rawMessage(int n) const;
    // subject, from, to, cc, receipt_to, content_type, defects, mail_from, rcpt_tos, and
    // parts (content_type, charset, transfer_encoding, disposition, filename, payload_b64).
    QJsonObject summary(int n) const;

private:
    QTemporaryDir dir_;
    TestCertificate cert_;
    std::unique_ptr<QProcess> process_;
    int port_ = 0;
    QString error_;
};

// A loopback port on which nothing listens (it was free a moment ago).
int unusedLoopbackPort();

}  // namespace testsupport
