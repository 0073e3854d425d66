#pragma once
// The mail component the mail window drives: an SMTP client over libcurl. Its members stand
// for the numbered members of the outside component the window was written for:
//
//    1 Server        2 Login         3 Password       4 From (sender)
//    5 Port          6 ReceiptAddress                 7 LastError (read only)
//    8 AddMessage(to, cc, bcc, subject, message)
//   11 Send(SSL, attachment list) -> true when every message went out
//   12 Cancel()
//   event onMailSend(Operation, TotalCount, CurrentCount)
//
// Connection: the SSL flag false talks plain SMTP; true means implicit TLS (SMTPS) on port
// 465 and STARTTLS on any other port, where a server that does not offer STARTTLS fails the
// send rather than carrying the password in the clear. Certificates and host names are always
// verified, against the system's authorities or a bundle given with setCaInfo. A login that
// is not empty authenticates with what the server offers. Port 0 means the protocol's default
// (25, or 465 when TLS is implicit).
//
// Send blocks its caller as the window expects (it returns the outcome), but the transfer
// runs on a worker thread while Send keeps the caller's event loop turning: windows repaint,
// the Cancel button works, and onMailSend arrives on the caller's thread. The component must
// not be destroyed while Send runs; destroying it otherwise is always safe.
//
// Recipient lists separate entries with "," or ";"; an entry is "addr" or "Name <addr>". Every
// message added with AddMessage goes in its own SMTP transaction, all over one connection,
// each carrying every attachment; the list of messages is emptied by Send whatever its
// outcome. LastError holds a readable reason after a failed Send (curl's text, with the
// server's own reply when the server refused something), "" after a successful one.

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class SmtpMail : public QObject {
    Q_OBJECT

public:
    explicit SmtpMail(QObject* parent = nullptr);
    ~SmtpMail() override;
    SmtpMail(const SmtpMail&) = delete;
    SmtpMail& operator=(const SmtpMail&) = delete;

    QString Server() const { return server_; }
    void setServer(const QString& v) { server_ = v; }
    QString Login() const { return login_; }
    void setLogin(const QString& v) { login_ = v; }
    QString Password() const { return password_; }
    void setPassword(const QString& v) { password_ = v; }
    QString From() const { return from_; }
    void setFrom(const QString& v) { from_ = v; }
    std::int32_t Port() const { return port_; }
    void setPort(std::int32_t v) { port_ = v; }
    QString ReceiptAddress() const { return receiptAddress_; }
    void setReceiptAddress(const QString& v) { receiptAddress_ = v; }
    QString LastError() const { return lastError_; }

    void AddMessage(const QString& To, const QString& CC, const QString& BCC, const QString& Subject,
                    const QString& Message);

    // AttachCRLF: full paths of the files to attach, each followed by CR LF.
    bool Send(bool SSL, const QString& AttachCRLF);

    // Stops a send in progress; Send then returns false. Nothing happens otherwise.
    void Cancel();

    bool isSending() const { return sending_; }

    // A PEM file of the authorities to trust instead of the system's (a private server, tests).
    void setCaInfo(const QString& path) { caInfo_ = path; }
    // The port on which the SSL flag means implicit TLS (465 unless a test moves it).
    void setImplicitTlsPort(std::int32_t port) { implicitTlsPort_ = port; }

    struct Transfer;  // the worker's side, defined with the transfer code

signals:
    // Operation: what the component is doing; the counts are bytes of the messages to send.
    void onMailSend(const QString& Operation, qint32 TotalCount, qint32 CurrentCount);
    void transferEnded(QPrivateSignal);

private:
    struct Message {
        QString to, cc, bcc, subject, text;
    };

    bool Prepare(bool SSL, const QString& AttachCRLF, Transfer& job, QString& error) const;

    QString server_, login_, password_, from_, receiptAddress_;
    std::int32_t port_ = 0;
    QString lastError_;
    std::vector<Message> messages_;
    QString caInfo_;
    std::int32_t implicitTlsPort_ = 465;
    bool sending_ = false;
    std::shared_ptr<Transfer> transfer_;
};
