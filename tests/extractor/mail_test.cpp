// The mail component against a real SMTP server on loopback, and the message it builds.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

#include "extractor/mail/SmtpMail.h"
#include "extractor/mail/mime.h"
#include "support/smtp_server.h"

namespace {

using testsupport::SmtpTestServer;
using Mode = SmtpTestServer::Mode;

const QString kUser = QStringLiteral("extractor");
const QString kPassword = QStringLiteral("S3gredo!Norta");

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray payload(const QJsonObject& part) {
    return QByteArray::fromBase64(part.value(QStringLiteral("payload_b64")).toString().toLatin1());
}

QStringList strings(const QJsonValue& v) {
    QStringList out;
    for (const QJsonValue& e : v.toArray()) out << e.toString();
    return out;
}

struct Event {
    QString operation;
    qint32 total, current;
    bool onCallerThread;
};

// A component pointed at the test server, recording its progress events.
struct Client {
    SmtpMail mail;
    std::vector<Event> events;

    Client(const SmtpTestServer& server, bool withLogin = true) {
        mail.setServer(QStringLiteral("127.0.0.1"));
        mail.setPort(server.port());
        mail.setFrom(QStringLiteral("Extractor <extractor@norta.pt>"));
        if (withLogin) {
            mail.setLogin(kUser);
            mail.setPassword(kPassword);
        }
        if (!server.caFile().isEmpty()) mail.setCaInfo(server.caFile());
        QObject::connect(&mail, &SmtpMail::onMailSend, [this](const QString& op, qint32 total, qint32 current) {
            events.push_back({op, total, current, QThread::currentThread() == mail.thread()});
        });
    }
};

#define START(server) ASSERT_TRUE((server).started()) << (server).error().toStdString()

TEST(MailMessage, HeadersAndAddressesAreEncodedSafely) {
    // Encoded words never split a character and never exceed 75 characters.
    const QString longText = QString(200, QChar(0x00E7)) + QStringLiteral("\u20AC\U0001F600 fim");
    const QByteArray words = mail::encodedWords(longText);
    QString decoded;
    for (const QByteArray& w : words.split('\n')) {
        const QByteArray word = w.trimmed();
        EXPECT_LE(word.size(), 75);
        ASSERT_TRUE(word.startsWith("=?UTF-8?B?") && word.endsWith("?="));
        const QByteArray bytes = QByteArray::fromBase64(word.mid(10, word.size() - 12));
        EXPECT_FALSE(QString::fromUtf8(bytes).contains(QChar::ReplacementCharacter));
        decoded += QString::fromUtf8(bytes);
    }
    EXPECT_EQ(decoded, longText);
    EXPECT_EQ(mail::subjectHeaderValue(QStringLiteral("Extractor de Dados - Norta (Manual)")),
              QByteArray("Extractor de Dados - Norta (Manual)"));
    // A line break in a subject can never start a header of its own.
    EXPECT_FALSE(mail::subjectHeaderValue(QStringLiteral("a\r\nBcc: x@y.pt")).contains("\r\nBcc"));

    EXPECT_EQ(mail::splitAddresses(QStringLiteral(" a@x.pt; \"Silva, Ana\" <ana@y.pt>,,<c@z.pt> ;")),
              (QStringList{QStringLiteral("a@x.pt"), QStringLiteral("\"Silva, Ana\" <ana@y.pt>"),
                           QStringLiteral("<c@z.pt>")}));
    EXPECT_EQ(mail::bareAddress(QStringLiteral("\"Silva, Ana\" <ana@y.pt>")), QStringLiteral("ana@y.pt"));
    EXPECT_EQ(mail::bareAddress(QStringLiteral("a@x.pt")), QStringLiteral("a@x.pt"));
    EXPECT_EQ(mail::bareAddress(QStringLiteral("a@x.pt>\r\nRCPT TO:<b@y.pt")), QString());
    EXPECT_EQ(mail::bareAddress(QStringLiteral("a b@x.pt")), QString());
    EXPECT_EQ(mail::bareAddress(QStringLiteral("<>")), QString());
    EXPECT_EQ(mail::bareAddress(QString()), QString());
    EXPECT_TRUE(mail::splitAddresses(QString(40000, QLatin1Char(';'))).isEmpty());

    const QByteArray b64 = mail::base64Lines(QByteArray(1000, 'x'));
    for (const QByteArray& line : b64.split('\n')) EXPECT_LE(line.size(), 77);
    EXPECT_TRUE(b64.endsWith("\r\n"));
}

TEST(MailSend, AttachmentsAndPortugueseTextsArriveIntact) {
    SmtpTestServer server({Mode::Plain, kUser, kPassword});
    START(server);
    QTemporaryDir dir;
    QByteArray binary;
    for (int i = 0; i < 3000; ++i) binary += static_cast<char>(i % 256);
    const QByteArray exportFile = "0NRT 170307\r\n1C0001Jos\xe9\r\n.9 linha com ponto\r\n";
    writeFile(dir.path() + QStringLiteral("/NRT170307.MOV"), exportFile);
    writeFile(dir.path() + QStringLiteral("/rela\u00e7\u00e3o.bin"), binary);
    const QString attachments =
        dir.path() + QStringLiteral("/NRT170307.MOV\r\n") + dir.path() + QStringLiteral("/rela\u00e7\u00e3o.bin\r\n");

    Client c(server);
    c.mail.AddMessage(QStringLiteral("a@norta.pt, Jos\u00e9 Concei\u00e7\u00e3o <jose@norta.pt>"),
                      QStringLiteral("copia@norta.pt"), QStringLiteral("oculto@norta.pt"),
                      QStringLiteral("Extractor de Dados - Norta (Manual)"), QString());
    c.mail.AddMessage(QStringLiteral("b@norta.pt;c@norta.pt"), QString(), QString(),
                      QStringLiteral("Exporta\u00e7\u00e3o conclu\u00edda - n\u00e3o responder"),
                      QStringLiteral("Ol\u00e1,\nsegue a rela\u00e7\u00e3o.\n\u00c7\u00c3O"));
    ASSERT_TRUE(c.mail.Send(false, attachments)) << c.mail.LastError().toStdString();
    EXPECT_EQ(c.mail.LastError(), QString());
    ASSERT_EQ(server.messageCount(), 2);

    const QJsonObject first = server.summary(1);
    EXPECT_EQ(first.value(QStringLiteral("subject")).toString(), QStringLiteral("Extractor de Dados - Norta (Manual)"));
    EXPECT_EQ(first.value(QStringLiteral("mail_from")).toString(), QStringLiteral("extractor@norta.pt"));
    EXPECT_EQ(strings(first.value(QStringLiteral("rcpt_tos"))),
              (QStringList{QStringLiteral("a@norta.pt"), QStringLiteral("jose@norta.pt"),
                           QStringLiteral("copia@norta.pt"), QStringLiteral("oculto@norta.pt")}));
    EXPECT_TRUE(first.value(QStringLiteral("to")).toString().contains(QStringLiteral("Jos\u00e9 Concei\u00e7\u00e3o")));
    EXPECT_EQ(first.value(QStringLiteral("cc")).toString(), QStringLiteral("copia@norta.pt"));
    EXPECT_FALSE(server.rawMessage(1).contains("oculto"));  // blind copies stay out of the headers
    EXPECT_EQ(first.value(QStringLiteral("content_type")).toString(), QStringLiteral("multipart/mixed"));
    EXPECT_TRUE(first.value(QStringLiteral("defects")).toArray().isEmpty());
    const QJsonArray parts = first.value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), 3);
    EXPECT_EQ(parts[0].toObject().value(QStringLiteral("content_type")).toString(), QStringLiteral("text/plain"));
    EXPECT_EQ(payload(parts[0].toObject()), QByteArray());
    EXPECT_EQ(parts[1].toObject().value(QStringLiteral("filename")).toString(), QStringLiteral("NRT170307.MOV"));
    EXPECT_EQ(parts[1].toObject().value(QStringLiteral("transfer_encoding")).toString(), QStringLiteral("base64"));
    EXPECT_EQ(parts[1].toObject().value(QStringLiteral("disposition")).toString(), QStringLiteral("attachment"));
    EXPECT_EQ(payload(parts[1].toObject()), exportFile);
    EXPECT_EQ(parts[2].toObject().value(QStringLiteral("filename")).toString(),
              QStringLiteral("rela\u00e7\u00e3o.bin"));
    EXPECT_EQ(payload(parts[2].toObject()), binary);
    // Headers travel as 7-bit text.
    const QByteArray raw = server.rawMessage(1);
    const QByteArray head = raw.left(raw.indexOf("\r\n\r\n"));
    EXPECT_TRUE(std::all_of(head.begin(), head.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }));

    const QJsonObject second = server.summary(2);
    EXPECT_EQ(second.value(QStringLiteral("subject")).toString(),
              QStringLiteral("Exporta\u00e7\u00e3o conclu\u00edda - n\u00e3o responder"));
    EXPECT_EQ(strings(second.value(QStringLiteral("rcpt_tos"))),
              (QStringList{QStringLiteral("b@norta.pt"), QStringLiteral("c@norta.pt")}));
    const QJsonArray parts2 = second.value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts2.size(), 3);
    EXPECT_EQ(parts2[0].toObject().value(QStringLiteral("charset")).toString(), QStringLiteral("utf-8"));
    EXPECT_EQ(QString::fromUtf8(payload(parts2[0].toObject())),
              QStringLiteral("Ol\u00e1,\r\nsegue a rela\u00e7\u00e3o.\r\n\u00c7\u00c3O\r\n"));
    EXPECT_EQ(payload(parts2[1].toObject()), exportFile);

    // Progress: on the caller's thread, from the connection to the whole byte count.
    ASSERT_FALSE(c.events.empty());
    EXPECT_TRUE(std::all_of(c.events.begin(), c.events.end(), [](const Event& e) { return e.onCallerThread; }));
    EXPECT_TRUE(c.events.front().operation.startsWith(QStringLiteral("Connecting to 127.0.0.1:")));
    EXPECT_GT(c.events.back().total, 0);
    EXPECT_EQ(c.events.back().current, c.events.back().total);
    for (std::size_t i = 1; i < c.events.size(); ++i) EXPECT_GE(c.events[i].current, c.events[i - 1].current);
}

TEST(MailSend, DotStuffingAndLongTextsSurviveTheTransfer) {
    SmtpTestServer server({Mode::Plain, {}, {}, 0});
    START(server);
    Client c(server, false);
    // A lone "." would end the DATA phase unless the transfer doubles it.
    const QString body = QStringLiteral(".primeira\n.\n..dois pontos\nmeio\n.\nfim .\n.");
    c.mail.AddMessage(QStringLiteral("a@norta.pt"), {}, {}, QStringLiteral("pontos"), body);
    const QString longSubject = QString(40000, QChar(0x00E7));
    c.mail.AddMessage(QStringLiteral("a@norta.pt"), {}, {}, longSubject, QString(33000, QLatin1Char('x')));
    ASSERT_TRUE(c.mail.Send(false, QString())) << c.mail.LastError().toStdString();
    ASSERT_EQ(server.messageCount(), 2);

    const QJsonObject dots = server.summary(1);
    EXPECT_EQ(dots.value(QStringLiteral("content_type")).toString(), QStringLiteral("text/plain"));
    const QJsonArray parts = dots.value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), 1);
    EXPECT_EQ(parts[0].toObject().value(QStringLiteral("transfer_encoding")).toString(), QStringLiteral("7bit"));
    EXPECT_EQ(payload(parts[0].toObject()),
              QByteArray(".primeira\r\n.\r\n..dois pontos\r\nmeio\r\n.\r\nfim .\r\n.\r\n"));

    const QJsonObject big = server.summary(2);
    EXPECT_EQ(big.value(QStringLiteral("subject")).toString(), longSubject);
    const QJsonArray bigParts = big.value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(bigParts.size(), 1);
    EXPECT_EQ(payload(bigParts[0].toObject()), QByteArray(33000, 'x') + "\r\n");
}

TEST(MailSend, RefusalsAndBadInputGiveReadableErrors) {
    SmtpTestServer server({Mode::Plain, kUser, kPassword});
    START(server);
    QTemporaryDir dir;

    {  // Wrong password: the server's own text, never the password.
        Client c(server);
        c.mail.setPassword(QStringLiteral("errada-123"));
        c.mail.AddMessage(QStringLiteral("a@norta.pt"), {}, {}, QStringLiteral("s"), QStringLiteral("m"));
        EXPECT_FALSE(c.mail.Send(false, QString()));
        EXPECT_TRUE(c.mail.LastError().contains(QStringLiteral("535"))) << c.mail.LastError().toStdString();
        EXPECT_TRUE(c.mail.LastError().contains(QStringLiteral("Authentication credentials invalid")));
        EXPECT_FALSE(c.mail.LastError().contains(QStringLiteral("errada-123")));
    }
    {  // No login where the server requires one.
        Client c(server, false);
        c.mail.AddMessage(QStringLiteral("a@norta.pt"), {}, {}, QStringLiteral("s"), QStringLiteral("m"));
        EXPECT_FALSE(c.mail.Send(false, QString()));
        EXPECT_TRUE(c.mail.LastError().contains(QStringLiteral("530"))) << c.mail.LastError().toStdString();
    }
    {  // Nobody listening.
        Client c(server);
        c.mail.setPort(testsupport::unusedLoopbackPort());
        c.mail.AddMessage(QStringLiteral("a@norta.pt"), {}, {}, QStringLiteral("s"), QStringLiteral("m"));
        EXPECT_FALSE(c.mail.Send(false, QString()));
        EXPECT_TRUE(c.mail.LastError().contains(QStringLiteral("connect"), Qt::CaseInsensitive))
            << c.mail.LastError().toStdString();
    }
    // Refused before any connection.
    struct Case {
        const char* what;
        std::function<void(SmtpMail&)> change;
        QString attachments;
        QString expected;
    };
    const std::vector<Case> cases{
        {"no server", [](SmtpMail& m) { m.setServer(QStringLiteral("  ")); }, {}, QStringLiteral("No SMTP server")},
        {"server with a path",
         [](SmtpMail& m) { m.setServer(QStringLiteral("x/y")); },
         {},
         QStringLiteral("not valid")},
        {"port", [](SmtpMail& m) { m.setPort(70000); }, {}, QStringLiteral("port")},
        {"negative port", [](SmtpMail& m) { m.setPort(-1); }, {}, QStringLiteral("port")},
        {"no sender", [](SmtpMail& m) { m.setFrom(QString()); }, {}, QStringLiteral("No sender")},
        {"missing attachment", [](SmtpMail&) {}, dir.path() + QStringLiteral("/falta.MOV\r\n"),
         QStringLiteral("falta.MOV")},
        {"folder as attachment", [](SmtpMail&) {}, dir.path() + QStringLiteral("\r\n"), QStringLiteral("attachment")},
        {"injected recipient",
         [](SmtpMail& m) {
             m.AddMessage(QStringLiteral("a@norta.pt>\r\nRCPT TO:<b@norta.pt"), {}, {}, QStringLiteral("s"), {});
         },
         {},
         QStringLiteral("recipient address is not valid")},
        {"no recipient",
         [](SmtpMail& m) { m.AddMessage(QStringLiteral(" ; , "), {}, {}, QStringLiteral("s"), {}); },
         {},
         QStringLiteral("no recipient")},
    };
    for (const Case& k : cases) {
        Client c(server);
        c.mail.AddMessage(QStringLiteral("a@norta.pt"), {}, {}, QStringLiteral("s"), QStringLiteral("m"));
        k.change(c.mail);
        EXPECT_FALSE(c.mail.Send(false, k.attachments)) << k.what;
        EXPECT_TRUE(c.mail.LastError().contains(k.expected)) << k.what << ": " << c.mail.LastError().toStdString();
    }
    {  // Nothing added; and the list of messages is emptied by every send.
        Client c(server);
        EXPECT_FALSE(c.mail.Send(false, QString()));
        EXPECT_EQ(c.mail.LastError(), QStringLiteral("No message was added."));
    }
    EXPECT_EQ(server.messageCount(), 0);
}

TEST(MailSend, SslFlagMeansImplicitTlsOn465AndRequiredStartTlsElsewhere) {
    SmtpTestServer starttls({Mode::StartTls, kUser, kPassword});
    START(starttls);
    SmtpTestServer smtps({Mode::Smtps, kUser, kPassword});
    START(smtps);
    SmtpTestServer plain({Mode::Plain, kUser, kPassword});
    START(plain);
    QTemporaryDir dir;
    const testsupport::TestCertificate stranger =
        testsupport::TestCertificate::make(dir.path(), QStringLiteral("outro"));
    ASSERT_TRUE(stranger.error.isEmpty()) << stranger.error.toStdString();

    auto send = [](Client& c, bool ssl) {
        c.mail.AddMessage(QStringLiteral("a@norta.pt"), {}, {}, QStringLiteral("TLS \u00e7\u00e3o"),
                          QStringLiteral("m"));
        return c.mail.Send(ssl, QString());
    };

    {  // STARTTLS on an ordinary port, certificate checked against the test authority.
        Client c(starttls);
        EXPECT_TRUE(send(c, true)) << c.mail.LastError().toStdString();
        EXPECT_EQ(starttls.messageCount(), 1);
        EXPECT_EQ(starttls.summary(1).value(QStringLiteral("subject")).toString(), QStringLiteral("TLS \u00e7\u00e3o"));
    }
    {  // The same server without the SSL flag: it wants encryption before the login.
        Client c(starttls);
        EXPECT_FALSE(send(c, false));
        EXPECT_FALSE(c.mail.LastError().isEmpty());
    }
    {  // A server without STARTTLS: the send fails, it never falls back to plain text.
        Client c(plain);
        EXPECT_FALSE(send(c, true));
        EXPECT_TRUE(c.mail.LastError().contains(QStringLiteral("STARTTLS"))) << c.mail.LastError().toStdString();
        EXPECT_EQ(plain.messageCount(), 0);
    }
    {  // Implicit TLS where the port is the implicit-TLS port.
        Client c(smtps);
        c.mail.setImplicitTlsPort(smtps.port());
        EXPECT_TRUE(send(c, true)) << c.mail.LastError().toStdString();
        EXPECT_EQ(smtps.messageCount(), 1);
    }
    {  // On any other port the flag means STARTTLS, which a TLS-only port cannot answer.
        Client c(smtps);
        EXPECT_FALSE(send(c, true));
        EXPECT_EQ(smtps.messageCount(), 1);
    }
    {  // A certificate from an authority the client does not trust.
        Client c(starttls);
        c.mail.setCaInfo(stranger.certFile);
        EXPECT_FALSE(send(c, true));
        EXPECT_TRUE(c.mail.LastError().contains(QStringLiteral("certificate"), Qt::CaseInsensitive))
            << c.mail.LastError().toStdString();
        Client d(smtps);
        d.mail.setImplicitTlsPort(smtps.port());
        d.mail.setCaInfo(stranger.certFile);
        EXPECT_FALSE(send(d, true));
        EXPECT_EQ(starttls.messageCount(), 1);
        EXPECT_EQ(smtps.messageCount(), 1);
    }
}

TEST(MailSend, CancelStopsASlowSend) {
    SmtpTestServer server({Mode::Plain, {}, {}, 600});
    START(server);
    Client c(server, false);
    bool cancelled = false;
    // Cancel once the whole message is out and the component waits for the server's answer.
    QObject::connect(&c.mail, &SmtpMail::onMailSend, [&](const QString& op, qint32, qint32) {
        if (!cancelled && op.startsWith(QStringLiteral("Waiting"))) {
            cancelled = true;
            c.mail.Cancel();
        }
    });
    c.mail.AddMessage(QStringLiteral("a@norta.pt"), {}, {}, QStringLiteral("lento"), QStringLiteral("m"));
    EXPECT_FALSE(c.mail.Send(false, QString()));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(c.mail.LastError(), QStringLiteral("The send was cancelled."));
    EXPECT_FALSE(c.mail.isSending());
    EXPECT_EQ(server.messageCount(), 0);
    c.mail.Cancel();  // nothing to stop: harmless
}

}  // namespace
