// Whole automatic runs whose mail step fails: the SMTP server down, refusing the login,
// cutting the connection in the middle of the message, or presenting a certificate nobody
// trusts. The mail window logs the failure with a readable reason, the run reaches its end,
// and the export it mails is not touched by the failure: the file stays in the folder and in
// the history, and the next run with a working server delivers its own file.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include "extractor/MainMod_configuracao.h"
#include "extractor/clsVelmora.h"
#include "extractor/gui/frmSendMail.h"
#include "extractor/mail/SmtpMail.h"
#include "platform/clock.h"
#include "support/company_db.h"
#include "support/recording_run_host.h"
#include "support/smtp_server.h"
#include "support/mail_run_fixture.h"

namespace {

using testsupport::SmtpTestServer;

const QString kUser = QStringLiteral("extractor");
const QString kPassword = QStringLiteral("Zq7-Mail#Palavra");
const QString kNome = QStringLiteral("NRT170307.MOV");
const QString kFalhaEnvio = QStringLiteral("Envio de Email - Form_Activate");

class FaultMail : public testsupport::MailRunFixture {
protected:
    void SetUp() override {
        db_.setExport(dir_.path());
        db_.addOneSale();
    }

    void useServer(const QString& caFile, int port, const QString& password, bool ssl = true) {
        testsupport::useTestMail(
            {.port = port, .password = password, .ssl = ssl, .login = kUser, .setup = testsupport::trusting(caFile)});
    }

    void run() {
        db_.execStaging("delete from LogGeral");
        host_ = testsupport::RecordingRunHost();
        host_.mail = &mailHost_;
        clsVelmora v;
        v.Processa(*db_.geral, *db_.gestao, "2017-01-01", "2017-03-07", 3, host_, false);
        ++runs_;
    }

    QStringList labels() const {
        QStringList l;
        for (const auto& r : db_.staging("select Opcao from LogGeral order by NumRegisto")) l << r[0].toString();
        return l;
    }
    QString detail(const QString& label) const {
        const auto rows = db_.staging("select Texto from LogGeral where Opcao='" + label + "' order by NumRegisto");
        return rows.empty() ? QStringLiteral("<no row>") : rows.front()[0].toString();
    }
    QByteArray file() const {
        QFile f(dir_.path() + u'/' + kNome);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }

    // The failure as the Part promises it, and the export it could not mail left intact.
    void expectMailFailed(const QString& why) const {
        SCOPED_TRACE(why.toStdString());
        EXPECT_EQ(labels(), (QStringList{"Início do processamento automático...", "Processando produtos...",
                                         "Processando clientes...", "Processando movimentos...",
                                         "Criando ficheiro...", "Enviando ficheiro...", kFalhaEnvio,
                                         "Fim do processamento automático."}));
        const QString d = detail(kFalhaEnvio);
        EXPECT_TRUE(d.startsWith(QStringLiteral("Não foi possível enviar E-mail\r"))) << d.toStdString();
        EXPECT_GT(d.size(), QStringLiteral("Não foi possível enviar E-mail\r\r").size()) << "a readable reason";
        EXPECT_FALSE(d.contains(kPassword));
        // A failed mail is no failure of the run: no box, the export ended well.
        EXPECT_TRUE(host_.criticalMessages.isEmpty());
        EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
        const QByteArray f = file();
        EXPECT_TRUE(f.startsWith("0SISTEMA NORTA")) << f.left(100).toStdString();
        EXPECT_TRUE(f.endsWith("\r\n"));
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{kNome});
        // Each run's file is in the history, so an unsent one can be sent again from there.
        EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles where Filename='" + kNome + "'").toInt32(), runs_);
    }
    int runs_ = 0;
};

}  // namespace

TEST_F(FaultMail, DownRefusingCuttingOrUntrustedServersAreLoggedAndTheExportStands) {
    {
        const int port = testsupport::unusedLoopbackPort();
        useServer(QString(), port, kPassword);
        run();
        expectMailFailed(QStringLiteral("server down"));
        EXPECT_TRUE(file().contains("\r\n1 011 C1")) << "the first run's file holds the new records";
        EXPECT_TRUE(detail(kFalhaEnvio).contains(QStringLiteral("onnect"))) << detail(kFalhaEnvio).toStdString();
    }
    {
        SmtpTestServer server({.mode = SmtpTestServer::Mode::StartTls, .user = kUser, .password = kPassword});
        ASSERT_TRUE(server.started()) << server.error().toStdString();
        useServer(server.caFile(), server.port(), QStringLiteral("Wrong-Palavra"));
        run();
        expectMailFailed(QStringLiteral("login refused"));
        EXPECT_EQ(server.messageCount(), 0);
        EXPECT_EQ(server.events(), QStringList{"auth refused"});
        EXPECT_FALSE(detail(kFalhaEnvio).contains(QStringLiteral("Wrong-Palavra")));
        EXPECT_TRUE(detail(kFalhaEnvio).contains(QStringLiteral("535"))) << "the server's own answer";
    }
    {
        SmtpTestServer server(
            {.mode = SmtpTestServer::Mode::StartTls, .user = kUser, .password = kPassword, .dropInData = true});
        ASSERT_TRUE(server.started()) << server.error().toStdString();
        useServer(server.caFile(), server.port(), kPassword);
        run();
        expectMailFailed(QStringLiteral("connection cut in the message"));
        EXPECT_EQ(server.messageCount(), 0);
        EXPECT_EQ(server.events(), (QStringList{"auth ok", "drop"}));
    }
    {
        SmtpTestServer server({.mode = SmtpTestServer::Mode::Smtps, .user = kUser, .password = kPassword});
        ASSERT_TRUE(server.started()) << server.error().toStdString();
        // The test authority is not given: the server's certificate is nobody's.
        useServer(QString(), server.port(), kPassword);
        frmSendMail::setComponentSetup([&](SmtpMail& m) { m.setImplicitTlsPort(server.port()); });
        run();
        expectMailFailed(QStringLiteral("untrusted certificate"));
        EXPECT_EQ(server.messageCount(), 0);
        EXPECT_TRUE(server.events().isEmpty()) << "no credentials went to an unverified server";
    }

    // The server working again: the next run's file arrives, attached byte for byte.
    SmtpTestServer server({.mode = SmtpTestServer::Mode::StartTls, .user = kUser, .password = kPassword});
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    useServer(server.caFile(), server.port(), kPassword);
    db_.company.addCliente({.codigo = "C2", .descricao = "Maria", .codPost = "1000-001"});
    db_.company.addLinha({.identifica = "L2", .codigo = "P1", .terceiro = "C2", .tipo = "FT", .data = "2017-03-02"});
    run();
    EXPECT_TRUE(labels().contains(QStringLiteral("Envio de Email"))) << labels().join('|').toStdString();
    ASSERT_EQ(server.messageCount(), 1);
    bool attached = false;
    for (const QJsonValue& p : server.summary(1).value(QStringLiteral("parts")).toArray()) {
        const QJsonObject part = p.toObject();
        if (part.value(QStringLiteral("filename")).toString() != kNome) continue;
        attached = true;
        const QByteArray sent = QByteArray::fromBase64(part.value(QStringLiteral("payload_b64")).toString().toLatin1());
        EXPECT_EQ(sent, file());
        EXPECT_TRUE(sent.contains("\r\n1 011 C2"));
    }
    EXPECT_TRUE(attached);
}
