// Mail settings with quotes, semicolons and comment dashes, and ports no server has: a whole
// automatic run mails through the real mail window to a loopback SMTP server, and every
// outcome is a log row of the mail window and the run's end row.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <vector>

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

class BadInputMail : public testsupport::MailRunFixture {
protected:
    void SetUp() override {
        db_.program.set("Extractor", "P3", dir_.path());
        db_.program.set("Extractor", "P15", "NRT");
        db_.program.set("Extractor", "P8", "SISTEMA");
        db_.company.addProduto({.codigo = "P1", .descricao = "Produto"});
        db_.company.addPostal("1000-001", "LISBOA");
        db_.company.addCliente({.codigo = "C1", .descricao = "Cliente", .codPost = "1000-001"});
        db_.company.addTipoMov("FT", "D");
        db_.company.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-01"});
        db_.addLigaProduto({});
        db_.addLigaCliente({});
        db_.addLigaMovimento({.mascara = "V", .tipo = "FT"});
    }

    void run() {
        db_.execStaging("delete from LogGeral");
        clsVelmora v;
        v.Processa(*db_.geral, *db_.gestao, "2017-01-01", "2017-03-07", 3, host_, false);
    }
    // The rows from the mail step on.
    std::vector<std::pair<QString, QString>> tail() const {
        std::vector<std::pair<QString, QString>> out;
        bool depois = false;
        for (const auto& r : db_.staging("select Opcao, Texto from LogGeral order by NumRegisto")) {
            depois = depois || r[0].toString() == QStringLiteral("Enviando ficheiro...");
            if (depois) out.emplace_back(r[0].toString(), r[1].isNull() ? QString() : r[1].toString());
        }
        return out;
    }
};

TEST_F(BadInputMail, QuotedLoginPasswordAndRecipientsAreSentAndLoggedAsTheyAre) {
    const QString user = QStringLiteral("u'ser;--");
    const QString password = QStringLiteral("p'w\";-- x");
    SmtpTestServer server({.mode = SmtpTestServer::Mode::Plain, .user = user, .password = password});
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    testsupport::useTestMail({.port = server.port(),
                              .password = password,
                              .ssl = false,
                              .to = QStringLiteral("o'neill@norta.pt; b--c@norta.pt ,d'';--@norta.pt"),
                              .from = QStringLiteral("ex'tractor@norta.pt"),
                              .login = user});
    const ConfiguracaoRecord& cfg = Configuracao();
    run();

    ASSERT_EQ(server.messageCount(), 1);
    QStringList rcpt;
    for (const QJsonValue& v : server.summary(1).value(QStringLiteral("rcpt_tos")).toArray()) rcpt << v.toString();
    // ";" and "," separate recipients wherever they stand; the rest of each address goes as it is.
    EXPECT_EQ(rcpt, (QStringList{"o'neill@norta.pt", "b--c@norta.pt", "d''", "--@norta.pt"}))
        << rcpt.join(u'|').toStdString();
    const auto t = tail();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].second, cfg.gstrEmailTo);
    EXPECT_EQ(t[1], (std::pair<QString, QString>{"Envio de Email", "Ficheiro enviado para " + cfg.gstrEmailTo}));
    EXPECT_EQ(t[2].first, QStringLiteral("Fim do processamento automático."));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(BadInputMail, PortsNoServerHasGiveTheMailWindowsFailureRowAndTheRunEnds) {
    ConfiguracaoRecord& cfg = Configuracao();
    cfg.gstrEmailServer = QStringLiteral("localhost");
    cfg.gstrEmailTo = QStringLiteral("a@norta.pt");
    cfg.gstrEmailFrom = QStringLiteral("extractor@norta.pt");
    // Values that are no port, and a free port on loopback where nothing answers.
    std::vector<std::int32_t> portas = {-1, -32768, 65536};
    const int livre = testsupport::unusedLoopbackPort();
    if (livre > 0) portas.push_back(livre);
    int passados = 0;
    for (const std::int32_t porta : portas) {
        SCOPED_TRACE(porta);
        cfg.gintSMTPPort = porta;
        cfg.gblnSMTPSSL = porta < 0;
        run();
        const auto t = tail();
        ASSERT_EQ(t.size(), 3u);
        EXPECT_EQ(t[1].first, QStringLiteral("Envio de Email - Form_Activate"));
        EXPECT_TRUE(t[1].second.startsWith(QStringLiteral("Não foi possível enviar E-mail\r"))) << t[1].second.toStdString();
        EXPECT_EQ(t[2].first, QStringLiteral("Fim do processamento automático."));
        if (t[1].first == QStringLiteral("Envio de Email - Form_Activate") &&
            t[2].first == QStringLiteral("Fim do processamento automático.")) {
            ++passados;
        }
        frmSendMail::Unload();
    }
    EXPECT_EQ(passados, static_cast<int>(portas.size()));
}

}  // namespace
