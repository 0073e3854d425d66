// The mail window "Norta - SMTP" against a real SMTP server on loopback, with its log rows
// captured instead of written to the staging database.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "extractor/gui/frmSendMail.h"
#include "extractor/mail/SmtpMail.h"
#include "platform/runtime_error.h"
#include "support/smtp_server.h"

namespace {

using testsupport::SmtpTestServer;
using Mode = SmtpTestServer::Mode;
using Row = std::pair<QString, QString>;

const QString kUser = QStringLiteral("extractor");
const QString kPassword = QStringLiteral("S3gredo!Norta");
const QString kFile = QStringLiteral("NRT170307.MOV");
const QByteArray kExport = "0NRT 170307\r\n1C0001Jos\xe9 Concei\xe7\xe3o\r\n9000001\r\n";

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray payload(const QJsonValue& part) {
    return QByteArray::fromBase64(part.toObject().value(QStringLiteral("payload_b64")).toString().toLatin1());
}

// Captures the log rows and points every new mail component at the test server's authority.
class SendMailWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        writeFile(dir.path() + QLatin1Char('/') + kFile, kExport);
        frmSendMail::setLogWriter([this](const QString& o, const QString& t) {
            rows.emplace_back(o, t);
            return true;
        });
        frmSendMail::setComponentSetup([this](SmtpMail& m) {
            if (!caFile.isEmpty()) m.setCaInfo(caFile);
            if (implicitPort != 0) m.setImplicitTlsPort(implicitPort);
            if (defaultPort != 0) m.setPort(defaultPort);
            if (onComponent) onComponent(m);
        });
    }
    void TearDown() override {
        frmSendMail::Unload();
        frmSendMail::setLogWriter({});
        frmSendMail::setComponentSetup({});
    }

    // The run's call: its subject, empty message and copy, the export folder and file name.
    void sendLikeTheRun(const SmtpTestServer& server, const QString& to, QString& folder, bool ssl = false,
                        const QString& subject = QStringLiteral("Extractor de Dados - Norta (Manual)")) {
        caFile = server.caFile();
        frmSendMailHost host;
        MailHost& mail = host;
        mail.SendMail(QStringLiteral("127.0.0.1"), to, QStringLiteral("extractor@norta.pt"), subject, QString(),
                      QString(), folder, kFile, kUser, kPassword, false, QString(),
                      server.port(), ssl);
    }

    QTemporaryDir dir;
    std::vector<Row> rows;
    QString caFile;
    std::int32_t implicitPort = 0;
    std::int32_t defaultPort = 0;
    std::function<void(SmtpMail&)> onComponent;
};

TEST_F(SendMailWindow, SendsTheExportFileAndLogsTheRecipientsAsGiven) {
    SmtpTestServer server({Mode::Plain, kUser, kPassword});
    ASSERT_TRUE(server.started()) << server.error().toStdString();

    QString folder = dir.path() + QLatin1Char('/');
    sendLikeTheRun(server, QStringLiteral("a@norta.pt;b@norta.pt"), folder);

    EXPECT_EQ(folder, dir.path());  // the trailing separator went, in the caller's variable too
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0],
              Row(QStringLiteral("Envio de Email"), QStringLiteral("Ficheiro enviado para a@norta.pt;b@norta.pt")));
    ASSERT_EQ(server.messageCount(), 1);
    const QJsonObject m = server.summary(1);
    EXPECT_EQ(m.value(QStringLiteral("subject")).toString(), QStringLiteral("Extractor de Dados - Norta (Manual)"));
    EXPECT_EQ(m.value(QStringLiteral("to")).toString(), QStringLiteral("a@norta.pt, b@norta.pt"));
    EXPECT_EQ(m.value(QStringLiteral("rcpt_tos")).toArray().size(), 2);
    const QJsonArray parts = m.value(QStringLiteral("parts")).toArray();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[1].toObject().value(QStringLiteral("filename")).toString(), kFile);
    EXPECT_EQ(payload(parts[1]), kExport);

    // The window as it was left: its texts and controls, no component, hidden, still loaded.
    ASSERT_TRUE(frmSendMail::IsLoaded());
    frmSendMail& w = frmSendMail::Instance();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Norta - SMTP"));
    ASSERT_NE(w.findChild<QPushButton*>(QStringLiteral("cmdCancelar")), nullptr);
    EXPECT_EQ(w.findChild<QPushButton*>(QStringLiteral("cmdCancelar"))->text(), QStringLiteral("Cancelar"));
    ASSERT_NE(w.findChild<QProgressBar*>(QStringLiteral("prgBar")), nullptr);
    EXPECT_EQ(w.findChild<QProgressBar*>(QStringLiteral("prgBar"))->value(), 100);
    ASSERT_NE(w.findChild<QLabel*>(QStringLiteral("lblInfo")), nullptr);
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("lblInfo"))->text(), QStringLiteral("Mail sent"));
    EXPECT_EQ(w.mvSendMail(), nullptr);
    EXPECT_FALSE(w.isVisible());
    frmSendMailHost().UnloadSendMail();
    EXPECT_FALSE(frmSendMail::IsLoaded());

    // The folder without the separator and a blank subject: the same file, "Ficheiro Velmora".
    folder = dir.path();
    sendLikeTheRun(server, QStringLiteral("a@norta.pt"), folder, false, QStringLiteral("   "));
    EXPECT_EQ(frmSendMail::Instance().attachmentList(), dir.path() + QLatin1Char('/') + kFile + QStringLiteral("\r\n"));
    ASSERT_EQ(server.messageCount(), 2);
    EXPECT_EQ(server.summary(2).value(QStringLiteral("subject")).toString(), QStringLiteral("Ficheiro Velmora"));
    EXPECT_EQ(payload(server.summary(2).value(QStringLiteral("parts")).toArray()[1]), kExport);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].first, QStringLiteral("Envio de Email"));
}

TEST_F(SendMailWindow, FailedSendsWriteTheFailureRowOnly) {
    SmtpTestServer plain({Mode::Plain, kUser, kPassword});
    ASSERT_TRUE(plain.started()) << plain.error().toStdString();
    QString folder = dir.path();

    // A refused login: the component's text, then the raised error's (none).
    frmSendMailHost host;
    host.SendMail(QStringLiteral("127.0.0.1"), QStringLiteral("a@norta.pt"), QStringLiteral("extractor@norta.pt"),
                  QStringLiteral("s"), QString(), QString(), folder, kFile, kUser, QStringLiteral("errada"), false,
                  QString(), plain.port(), false);
    host.UnloadSendMail();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, QStringLiteral("Envio de Email - Form_Activate"));
    EXPECT_TRUE(rows[0].second.startsWith(QStringLiteral("N\u00e3o foi poss\u00edvel enviar E-mail\r")));
    EXPECT_TRUE(rows[0].second.contains(QStringLiteral("535")));
    EXPECT_TRUE(rows[0].second.endsWith(QLatin1Char('\r')));
    EXPECT_FALSE(rows[0].second.contains(QStringLiteral("errada")));

    // SSL on a server without STARTTLS, an unreachable server: one failure row each.
    sendLikeTheRun(plain, QStringLiteral("a@norta.pt"), folder, true);
    host.UnloadSendMail();
    host.SendMail(QStringLiteral("127.0.0.1"), QStringLiteral("a@norta.pt"), QStringLiteral("extractor@norta.pt"),
                  QStringLiteral("s"), QString(), QString(), folder, kFile, QString(), QString(), false, QString(),
                  testsupport::unusedLoopbackPort(), false);
    host.UnloadSendMail();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].first, QStringLiteral("Envio de Email - Form_Activate"));
    EXPECT_TRUE(rows[1].second.contains(QStringLiteral("STARTTLS")));
    EXPECT_EQ(rows[2].first, QStringLiteral("Envio de Email - Form_Activate"));
    EXPECT_EQ(plain.messageCount(), 0);

    // A folder that does not exist reaches the caller; the window is never shown.
    QString missing = dir.path() + QStringLiteral("/nao-existe");
    try {
        sendLikeTheRun(plain, QStringLiteral("a@norta.pt"), missing);
        ADD_FAILURE() << "no error raised";
    } catch (const platform::RuntimeError& e) {
        EXPECT_EQ(e.number(), 76);
    }
    EXPECT_EQ(rows.size(), 3u);
}

TEST_F(SendMailWindow, SslSendsThroughStartTlsAndImplicitTls) {
    SmtpTestServer starttls({Mode::StartTls, kUser, kPassword});
    ASSERT_TRUE(starttls.started()) << starttls.error().toStdString();
    SmtpTestServer smtps({Mode::Smtps, kUser, kPassword});
    ASSERT_TRUE(smtps.started()) << smtps.error().toStdString();
    QString folder = dir.path();

    sendLikeTheRun(starttls, QStringLiteral("a@norta.pt"), folder, true);
    frmSendMail::Unload();
    implicitPort = smtps.port();
    sendLikeTheRun(smtps, QStringLiteral("a@norta.pt"), folder, true);

    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].first, QStringLiteral("Envio de Email")) << rows[0].second.toStdString();
    EXPECT_EQ(rows[1].first, QStringLiteral("Envio de Email")) << rows[1].second.toStdString();
    EXPECT_EQ(payload(starttls.summary(1).value(QStringLiteral("parts")).toArray()[1]), kExport);
    EXPECT_EQ(payload(smtps.summary(1).value(QStringLiteral("parts")).toArray()[1]), kExport);
}

TEST_F(SendMailWindow, CancelarStopsTheSendWhileTheWindowStaysResponsive) {
    SmtpTestServer slow({Mode::Plain, {}, {}, 600});
    ASSERT_TRUE(slow.started()) << slow.error().toStdString();

    // Ticks of a timer on the window's thread during the send show that its events turn.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(0);
    bool clicked = false;
    bool progressOnGuiThread = true;
    onComponent = [&](SmtpMail& m) {
        QObject::connect(&m, &SmtpMail::onMailSend, [&](const QString& op, qint32, qint32) {
            progressOnGuiThread = progressOnGuiThread && QThread::currentThread() == qApp->thread();
            if (!clicked && op.startsWith(QStringLiteral("Waiting"))) {
                clicked = true;
                frmSendMail& w = frmSendMail::Instance();
                EXPECT_TRUE(w.isVisible());
                EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("lblInfo"))->text(), op);
                EXPECT_GT(ticks, 0);
                w.findChild<QPushButton*>(QStringLiteral("cmdCancelar"))->click();
            }
        });
    };
    QString folder = dir.path();
    frmSendMail::Instance().SendMail(QStringLiteral("127.0.0.1"), QStringLiteral("a@norta.pt"),
                                     QStringLiteral("extractor@norta.pt"), QStringLiteral("s"), QString(), QString(),
                                     folder, kFile, QString(), QString(), false, QString(),
                                     slow.port(), false);
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(progressOnGuiThread);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], Row(QStringLiteral("Envio de Email - Form_Activate"),
                           QStringLiteral("N\u00e3o foi poss\u00edvel enviar E-mail\rThe send was cancelled.\r")));
    EXPECT_EQ(slow.messageCount(), 0);
}

TEST_F(SendMailWindow, AttachmentListFollowsTheFileListRules) {
    QTemporaryDir d;
    for (const char* name : {"b.MOV", "A.mov", "c.MOV", "nota.txt", "x.MOVE", ".escondido.MOV"}) {
        writeFile(d.path() + QLatin1Char('/') + QLatin1String(name), "x");
    }
    QDir(d.path()).mkdir(QStringLiteral("pasta.MOV"));
    const QString p = d.path() + QLatin1Char('/');
    EXPECT_EQ(frmSendMail::ListaFicheiros(d.path(), QStringLiteral("*.MOV")),
              p + QStringLiteral("A.mov\r\n") + p + QStringLiteral("b.MOV\r\n") + p + QStringLiteral("c.MOV\r\n"));
    EXPECT_EQ(frmSendMail::ListaFicheiros(d.path(), QStringLiteral("b.MOV")), p + QStringLiteral("b.MOV\r\n"));
    EXPECT_EQ(frmSendMail::ListaFicheiros(d.path(), QStringLiteral("?.mov;nota.*")),
              p + QStringLiteral("A.mov\r\n") + p + QStringLiteral("b.MOV\r\n") + p + QStringLiteral("c.MOV\r\n") + p +
                  QStringLiteral("nota.txt\r\n"));
    EXPECT_EQ(frmSendMail::ListaFicheiros(d.path(), QStringLiteral("NRT999999.MOV")), QString());
    EXPECT_EQ(frmSendMail::ListaFicheiros(d.path(), QStringLiteral("[a].MOV")), QString());
    EXPECT_EQ(frmSendMail::ListaFicheiros(d.path(), QString(40000, QLatin1Char('?'))), QString());

    // The progress handler: the operation as the caption, the share of the total in the bar.
    frmSendMail& w = frmSendMail::Instance();
    w.mvSendMail_onMailSend(QStringLiteral("A enviar"), 200, 50);
    EXPECT_EQ(w.findChild<QLabel*>(QStringLiteral("lblInfo"))->text(), QStringLiteral("A enviar"));
    EXPECT_EQ(w.findChild<QProgressBar*>(QStringLiteral("prgBar"))->value(), 25);
    w.mvSendMail_onMailSend(QStringLiteral("Sem total"), 0, 10);
    EXPECT_EQ(w.findChild<QProgressBar*>(QStringLiteral("prgBar"))->value(), 25);
    w.mvSendMail_onMailSend(QString(), 100, 300);
    EXPECT_EQ(w.findChild<QProgressBar*>(QStringLiteral("prgBar"))->value(), 100);
}

TEST_F(SendMailWindow, AppendReceipientAndSendMailVariousSendEveryMessage) {
    SmtpTestServer server({Mode::Plain, kUser, kPassword});
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    // SendMailVarious sets no port: the component's own setting stands.
    defaultPort = server.port();

    frmSendMail& w = frmSendMail::Instance();
    w.AppendReceipient(QStringLiteral("a@norta.pt"), QString(), QStringLiteral("c@norta.pt"), QStringLiteral("um"),
                       QStringLiteral("primeira"));
    w.AppendReceipient(QStringLiteral("b@norta.pt"), QString(), QString(), QStringLiteral("dois"), QString());
    w.SendMailVarious(QStringLiteral("127.0.0.1"), kUser, kPassword, QStringLiteral("extractor@norta.pt"),
                      dir.path() + QLatin1Char('/') + kFile + QStringLiteral("\r\n"), true,
                      data::Variant(QStringLiteral("recibo@norta.pt")));
    ASSERT_EQ(server.messageCount(), 2);
    EXPECT_EQ(server.summary(1).value(QStringLiteral("subject")).toString(), QStringLiteral("um"));
    EXPECT_EQ(server.summary(1).value(QStringLiteral("receipt_to")).toString(), QStringLiteral("recibo@norta.pt"));
    EXPECT_EQ(server.summary(1).value(QStringLiteral("rcpt_tos")).toArray().size(), 2);
    EXPECT_EQ(server.summary(2).value(QStringLiteral("subject")).toString(), QStringLiteral("dois"));
    EXPECT_EQ(payload(server.summary(2).value(QStringLiteral("parts")).toArray()[1]), kExport);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], Row(QStringLiteral("Envio de Email"), QStringLiteral("Ficheiro enviado para ")));
    EXPECT_EQ(w.mvSendMail(), nullptr);

    // After the send released its component, the next send loads a new one.
    QString folder = dir.path();
    sendLikeTheRun(server, QStringLiteral("a@norta.pt"), folder);
    EXPECT_EQ(server.messageCount(), 3);
}

}  // namespace
