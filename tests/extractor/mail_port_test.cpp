// The SMTP port as the settings file gives it, through LerConfiguracao, a whole automatic run and
// the real mail window, to a loopback SMTP server: every port up to 65535 is the one the mail
// goes to; a value that is no port is refused by the mail step, whose failure row names it, and
// nothing is sent anywhere else.
#include <gtest/gtest.h>

#include <QString>
#include <vector>

#include "extractor/MainMod_configuracao.h"
#include "extractor/clsVelmora.h"
#include "extractor/gui/frmSendMail.h"
#include "support/mail_run_fixture.h"
#include "support/smtp_server.h"

namespace {

using testsupport::SmtpTestServer;

class MailPort : public testsupport::MailRunFixture {
protected:
    void SetUp() override {
        db_.setExport(dir_.path());
        db_.addOneSale();
        for (const auto& [chave, valor] : {std::pair<const char*, const char*>{"Server", "localhost"},
                                           {"To", "a@norta.pt"},
                                           {"From", "extractor@norta.pt"},
                                           {"Login", ""},
                                           {"Password", ""},
                                           {"SMTPSSL", "0"}}) {
            db_.program.set("Email", QString::fromLatin1(chave), QString::fromLatin1(valor));
        }
    }
    // Loads the settings with this port and runs; the rows from the mail step on.
    std::vector<std::pair<QString, QString>> runWithPort(const QString& porta) {
        db_.program.set("Email", "SMTPPort", porta);
        LerConfiguracao();
        db_.execStaging("delete from LogGeral");
        clsVelmora v;
        v.Processa(*db_.geral, *db_.gestao, "2017-01-01", "2017-03-07", 3, host_, false);
        frmSendMail::Unload();
        std::vector<std::pair<QString, QString>> out;
        bool depois = false;
        for (const auto& r : db_.logRows()) {
            depois = depois || r.first == QStringLiteral("Enviando ficheiro...");
            if (depois) out.push_back(r);
        }
        return out;
    }
};

TEST_F(MailPort, APortAbove32767ReachesTheServerOnIt) {
    SmtpTestServer::Options options;
    options.highPort = true;
    SmtpTestServer server(options);
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    ASSERT_GT(server.port(), 32767);

    // Read as every number of the file is: the leading number, rounded.
    const auto t = runWithPort(QString::number(server.port()) + QStringLiteral(".4 (TLS off)"));
    EXPECT_EQ(Configuracao().gintSMTPPort, server.port());
    ASSERT_EQ(server.messageCount(), 1);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1], (std::pair<QString, QString>{"Envio de Email", "Ficheiro enviado para a@norta.pt"}));
    EXPECT_EQ(t[2].first, QStringLiteral("Fim do processamento automático."));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(MailPort, AValueThatIsNoPortIsRefusedByTheMailStepWhichNamesIt) {
    // Listening, so that a mail sent to a port of its own choosing could still be seen not to
    // come here; the failure row is what shows where it did not go.
    SmtpTestServer server(SmtpTestServer::Options{});
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    struct Caso {
        QString texto;
        QString nomeado;  // what the failure row names
    };
    const QString alto = QString::number(server.port() + 65536);  // the server's port, wrapped
    const std::vector<Caso> casos = {{"70000", "70000"}, {"65536", "65536"}, {alto, alto},
                                     {"-25", "-25"},     {"-25x", "-25"},    {"65535.5", "65536"},
                                     {"99999999999", "-1"}};
    int passados = 0;
    for (const Caso& caso : casos) {
        SCOPED_TRACE(caso.texto.toStdString());
        const auto t = runWithPort(caso.texto);
        ASSERT_EQ(t.size(), 3u);
        const bool ok = t[1].first == QStringLiteral("Envio de Email - Form_Activate") &&
                        t[1].second.contains(QStringLiteral("The SMTP port is not valid: ") + caso.nomeado + u' ') &&
                        t[2].first == QStringLiteral("Fim do processamento automático.");
        EXPECT_TRUE(ok) << t[1].first.toStdString() << " / " << t[1].second.toStdString();
        if (ok) ++passados;
    }
    EXPECT_EQ(passados, static_cast<int>(casos.size()));
    EXPECT_EQ(server.messageCount(), 0);
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

}  // namespace
