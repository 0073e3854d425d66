// A whole automatic run that mails its file through the real mail window to an SMTP server on
// loopback: what arrives, and what the log says when the server refuses, is gone, or cannot be
// trusted. The run always reaches its end row.
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
const QString kPassword = QStringLiteral("S3gredo!Norta");
const QString kFile = QStringLiteral("NRT170307.MOV");

class RunMailTest : public testsupport::MailRunFixture {
protected:
    void SetUp() override {
        db_.setExport(dir_.path());
        db_.addOneSale();
    }

    void useServer(const QString& caFile, int port, const QString& password) {
        testsupport::useTestMail({.port = port,
                                  .password = password,
                                  .to = QStringLiteral("a@norta.pt;b@norta.pt, c@norta.pt"),
                                  .login = kUser,
                                  .setup = testsupport::trusting(caFile)});
    }

    void run() {
        clsVelmora v;
        v.Processa(*db_.geral, *db_.gestao, QStringLiteral("2017-01-01"), QStringLiteral("2017-03-07"), 3, host_,
                   false);
    }

    QList<std::pair<QString, QString>> log() const {
        QList<std::pair<QString, QString>> out;
        for (const auto& r : db_.staging(QStringLiteral("select Opcao, Texto from LogGeral order by NumRegisto")))
            out.append({r[0].toString(), r[1].isNull() ? QString() : r[1].toString()});
        return out;
    }
    QStringList labels() const {
        QStringList l;
        for (const auto& r : log()) l << r.first;
        return l;
    }
    // The rows from the mail step on: what the mail window wrote, then the run's end.
    QStringList tail() const { return labels().mid(labels().indexOf(QStringLiteral("Enviando ficheiro..."))); }
};

QStringList strings(const QJsonValue& v) {
    QStringList out;
    for (const QJsonValue& e : v.toArray()) out << e.toString();
    return out;
}

}  // namespace

TEST_F(RunMailTest, TheFileArrivesAttachedByteForByteWithTheRunsSubjectAndEveryRecipient) {
    SmtpTestServer server({.mode = SmtpTestServer::Mode::StartTls, .user = kUser, .password = kPassword});
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    useServer(server.caFile(), server.port(), kPassword);
    run();

    ASSERT_EQ(server.messageCount(), 1);
    const QJsonObject m = server.summary(1);
    EXPECT_EQ(m.value(QStringLiteral("subject")).toString(), QStringLiteral("Extractor de Dados - Norta"));
    EXPECT_EQ(strings(m.value(QStringLiteral("rcpt_tos"))),
              (QStringList{QStringLiteral("a@norta.pt"), QStringLiteral("b@norta.pt"), QStringLiteral("c@norta.pt")}));
    QFile written(dir_.path() + u'/' + kFile);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    bool attached = false;
    for (const QJsonValue& p : m.value(QStringLiteral("parts")).toArray()) {
        const QJsonObject part = p.toObject();
        if (part.value(QStringLiteral("filename")).toString() != kFile) continue;
        attached = true;
        EXPECT_EQ(QByteArray::fromBase64(part.value(QStringLiteral("payload_b64")).toString().toLatin1()), bytes);
    }
    EXPECT_TRUE(attached);
    EXPECT_EQ(tail(), (QStringList{"Enviando ficheiro...", "Envio de Email", "Fim do processamento automático."}));
    EXPECT_EQ(log()[labels().indexOf(QStringLiteral("Envio de Email"))].second,
              QStringLiteral("Ficheiro enviado para a@norta.pt;b@norta.pt, c@norta.pt"));
}

TEST_F(RunMailTest, RefusedUnreachableAndUntrustedServersAreLoggedAndTheRunEnds) {
    const QString failure = QStringLiteral("Envio de Email - Form_Activate");
    const QStringList expected{"Enviando ficheiro...", failure, "Fim do processamento automático."};
    auto detail = [&] { return log()[labels().indexOf(failure)].second; };
    auto reset = [&] { db_.execStaging(QStringLiteral("delete from LogGeral")); };

    {
        SmtpTestServer server({.mode = SmtpTestServer::Mode::StartTls, .user = kUser, .password = kPassword});
        ASSERT_TRUE(server.started()) << server.error().toStdString();
        useServer(server.caFile(), server.port(), QStringLiteral("wrong"));
        run();
        EXPECT_EQ(server.messageCount(), 0);
        EXPECT_EQ(tail(), expected) << "refused login";
        EXPECT_TRUE(detail().startsWith(QStringLiteral("Não foi possível enviar E-mail\r")));
        EXPECT_GT(detail().size(), QStringLiteral("Não foi possível enviar E-mail\r\r").size()) << "a readable reason";
        EXPECT_FALSE(detail().contains(QStringLiteral("wrong"))) << "the password stays out of the log";
    }
    reset();
    {
        const int port = testsupport::unusedLoopbackPort();
        useServer(QString(), port, kPassword);
        run();
        EXPECT_EQ(tail(), expected) << "unreachable server";
    }
    reset();
    {
        SmtpTestServer server({.mode = SmtpTestServer::Mode::StartTls, .user = kUser, .password = kPassword});
        ASSERT_TRUE(server.started()) << server.error().toStdString();
        useServer(QString(), server.port(), kPassword);  // the test authority is not trusted
        run();
        EXPECT_EQ(server.messageCount(), 0);
        EXPECT_EQ(tail(), expected) << "untrusted certificate";
    }
}
