// With the SSL flag set, a whole run's mail never goes, nor logs in, in the clear: a server
// that offers no STARTTLS, or speaks plain text where TLS is expected, or shows a certificate
// nobody trusts, fails the send before the login, and the run logs it and ends as usual. The
// server's own record of the dialogue tells whether the password ever reached it.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>

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
const QString kPassword = QStringLiteral("Tls!Vb62-Palavra");

class SecurityMail : public testsupport::MailRunFixture {
protected:
    void SetUp() override {
        db_.program.set("Extractor", "P3", dir_.path());
        db_.program.set("Extractor", "P15", "NRT");
        db_.program.set("Extractor", "P8", "SISTEMA NORTA");
        db_.company.addProduto({.codigo = "P1", .descricao = "Café"});
    }

    // One run mailing to the server; the detail of the mail's log row ("" when it was sent).
    QString runAgainst(int port, bool ssl, const std::function<void(SmtpMail&)>& setup = {}) {
        testsupport::useTestMail({.port = port, .password = kPassword, .ssl = ssl, .login = kUser, .setup = setup});
        db_.execStaging("delete from LogGeral");
        host_ = testsupport::RecordingRunHost();
        host_.mail = &mailHost_;
        clsVelmora v;
        v.Processa(*db_.geral, *db_.gestao, "2017-01-01", "2017-03-07", 3, host_, false);
        const auto end = db_.staging("select Opcao from LogGeral order by NumRegisto desc");
        EXPECT_FALSE(end.empty());
        if (!end.empty()) {
            EXPECT_EQ(end.front()[0].toString(), QStringLiteral("Fim do processamento automático."));
        }
        EXPECT_TRUE(host_.criticalMessages.isEmpty());
        const auto failed = db_.staging("select Texto from LogGeral where Opcao='Envio de Email - Form_Activate'");
        const auto sent = db_.staging("select Texto from LogGeral where Opcao='Envio de Email'");
        EXPECT_EQ(failed.size() + sent.size(), 1u) << "one outcome row";
        return failed.empty() ? QString() : failed.front()[0].toString();
    }
};

}  // namespace

TEST_F(SecurityMail, WithSslSetNothingGoesInTheClearAndNoUnverifiedServerSeesThePassword) {
    SmtpTestServer plain({.mode = SmtpTestServer::Mode::Plain, .user = kUser, .password = kPassword});
    ASSERT_TRUE(plain.started()) << plain.error().toStdString();

    // A server that offers no STARTTLS on an ordinary port.
    QString why = runAgainst(plain.port(), true);
    EXPECT_TRUE(why.contains(QStringLiteral("STARTTLS"))) << why.toStdString();
    EXPECT_EQ(plain.messageCount(), 0);
    EXPECT_TRUE(plain.events().isEmpty()) << plain.events().join('|').toStdString();

    // The same server where TLS is to be implicit: the handshake fails, nothing is said.
    why = runAgainst(plain.port(), true, [&](SmtpMail& m) { m.setImplicitTlsPort(plain.port()); });
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(plain.messageCount(), 0);
    EXPECT_TRUE(plain.events().isEmpty());

    // A STARTTLS server whose certificate no trusted authority signed, on either kind of port.
    SmtpTestServer starttls({.mode = SmtpTestServer::Mode::StartTls, .user = kUser, .password = kPassword});
    ASSERT_TRUE(starttls.started()) << starttls.error().toStdString();
    why = runAgainst(starttls.port(), true);
    EXPECT_TRUE(why.contains(QStringLiteral("certificate"), Qt::CaseInsensitive)) << why.toStdString();
    SmtpTestServer smtps({.mode = SmtpTestServer::Mode::Smtps, .user = kUser, .password = kPassword});
    ASSERT_TRUE(smtps.started()) << smtps.error().toStdString();
    why = runAgainst(smtps.port(), true, [&](SmtpMail& m) { m.setImplicitTlsPort(smtps.port()); });
    EXPECT_FALSE(why.isEmpty());
    EXPECT_TRUE(starttls.events().isEmpty());
    EXPECT_TRUE(smtps.events().isEmpty());
    EXPECT_EQ(starttls.messageCount() + smtps.messageCount(), 0);

    // The checks are the client's: with the authority trusted the same servers take the mail,
    // and without the flag the plain server takes it too (the login then goes as configured).
    EXPECT_EQ(runAgainst(starttls.port(), true, [&](SmtpMail& m) { m.setCaInfo(starttls.caFile()); }), QString());
    EXPECT_EQ(starttls.events(), QStringList{"auth ok"});
    EXPECT_EQ(starttls.messageCount(), 1);
    EXPECT_EQ(runAgainst(plain.port(), false), QString());
    EXPECT_EQ(plain.events(), QStringList{"auth ok"});
    EXPECT_EQ(plain.messageCount(), 1);
}
