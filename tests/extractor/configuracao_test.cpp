#include <gtest/gtest.h>

#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"

using testsupport::TempProgramFolder;

TEST(LerIni, ReadsKeysOfTheSettingsFileCutAt254) {
    TempProgramFolder program;
    EXPECT_EQ(LerIni("Extractor", "P9"), "") << "no file yet";
    program.writeRaw("[Extractor]\r\nP9=09:00\r\nP8 = Sistema \r\n");
    EXPECT_EQ(LerIni("extractor", "p9"), "09:00");
    EXPECT_EQ(LerIni("Extractor", "P8"), "Sistema");
    EXPECT_EQ(LerIni("Extractor", "P3"), "");
    EXPECT_EQ(LerIni("", ""), "");
    for (int n : {254, 255, 301, 40000}) {
        program.set("Extractor", "P3", QString(n, u'c'));
        EXPECT_EQ(LerIni("Extractor", "P3"), QString(254, u'c')) << n;
    }
}

class LerConfiguracaoTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec("master", "Create Database Empresa");
        program_.pointTo(server_, "Empresa");
        program_.set("Extractor", "Ligado", "1");
        program_.set("Extractor", "P1", "3");
        program_.set("Extractor", "P9", "9:00");
        setObservadorAberturas([this](const QString& db, std::int32_t t) { openings_ << db + "/" + QString::number(t); });
    }
    testsupport::TempEmbeddedServer server_;
    TempProgramFolder program_;
    QStringList openings_;
};

TEST_F(LerConfiguracaoTest, FillsTheRecordAndDecryptsThePasswords) {
    for (const auto& [key, value] : std::vector<std::pair<QString, QString>>{
             {"Server", "smtp.exemplo.pt"}, {"Login", "envios"}, {"Password", testsupport::storedPassword("m41l'Pw")},
             {"From", "de@exemplo.pt"}, {"To", "a@exemplo.pt;b@exemplo.pt"}, {"SMTPPort", "587"}, {"SMTPSSL", "1"}}) {
        program_.set("Email", key, value);
    }
    testsupport::MessageBoxRecorder boxes;
    LerConfiguracao();
    const ConfiguracaoRecord& c = Configuracao();
    EXPECT_EQ(c.gintLigado, 1);
    EXPECT_EQ(c.gintP1, 3);
    EXPECT_EQ(c.gstrP9, "9:00") << "kept exactly as written";
    EXPECT_EQ(c.gstrServer, server_.serverName());
    EXPECT_EQ(c.gstrUID, "sa");
    EXPECT_EQ(c.gstrPwd, server_.password());
    EXPECT_EQ(c.gstrDataBase, "Empresa");
    EXPECT_EQ(c.gstrEmailServer, "smtp.exemplo.pt");
    EXPECT_EQ(c.gstrEmailLogin, "envios");
    EXPECT_EQ(c.gstrEmailPassword, "m41l'Pw");
    EXPECT_EQ(c.gstrEmailFrom, "de@exemplo.pt");
    EXPECT_EQ(c.gstrEmailTo, "a@exemplo.pt;b@exemplo.pt");
    EXPECT_EQ(c.gintSMTPPort, 587);
    EXPECT_TRUE(c.gblnSMTPSSL);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LerConfiguracaoTest, MissingMailSectionAndValuesThatDoNotConvert) {
    testsupport::MessageBoxRecorder boxes;
    Configuracao().gblnSMTPSSL = true;
    Configuracao().gstrEmailTo = "antigo@exemplo.pt";
    LerConfiguracao();
    EXPECT_EQ(Configuracao().gstrEmailServer, "");
    EXPECT_EQ(Configuracao().gstrEmailTo, "");
    EXPECT_EQ(Configuracao().gstrEmailPassword, "");
    EXPECT_EQ(Configuracao().gintSMTPPort, 0);
    EXPECT_FALSE(Configuracao().gblnSMTPSSL);
    EXPECT_TRUE(boxes.shown.empty()) << "a missing section shows nothing";

    program_.set("Email", "SMTPSSL", "2");
    program_.set("Email", "SMTPPort", "70000");
    program_.set("Extractor", "P1", "abc");
    program_.set("Extractor", "Ligado", "  2.5x");
    program_.set("Email", "Password", "\"   \"");  // quoted, so the blanks survive the reader
    program_.set("Tramontix", "Password", "ZZ-not-hex");
    Configuracao().gintSMTPPort = 25;
    LerConfiguracao();
    ASSERT_EQ(boxes.shown.size(), 1u) << "the SSL flag's message, once per load";
    EXPECT_EQ(boxes.shown[0].text, "Esta Função só deve ser utilizada com valores de 1 e 0");
    const ConfiguracaoRecord& c = Configuracao();
    EXPECT_FALSE(c.gblnSMTPSSL);
    EXPECT_EQ(c.gintSMTPPort, 70000) << "no port: kept, for the mail component to refuse by name";
    EXPECT_EQ(c.gintP1, 0) << "no leading number reads 0";
    EXPECT_EQ(c.gintLigado, 2) << "2.5 goes to the even neighbour";
    EXPECT_EQ(c.gstrEmailPassword, "   ") << "a blank-only password is not decrypted";
    EXPECT_EQ(c.gstrPwd, "ZZ-not-hex") << "a password that cannot be decrypted stays as read";
}

TEST_F(LerConfiguracaoTest, ThePortIsTheRoundedLeadingNumberWithEveryPortTo65535Whole) {
    struct Caso {
        const char* texto;
        std::int32_t porta;
    };
    const std::vector<Caso> casos = {
        {"1", 1},          {"32767", 32767}, {"32768", 32768}, {"65535", 65535}, {" 587 ", 587},
        {"", 0},           {"0", 0},         {"65536", 65536}, {"-1", -1},       {"2147483647", 2147483647},
        {"2147483648", kPortaSmtpIlegivel},  {"-2147483649", kPortaSmtpIlegivel}, {"5 87", 587},
        {"25abc", 25},     {"1.5", 2},       {"2.5", 2},       {"587.5", 588},   {"0x19", 0},
        {"abc", 0},
    };
    for (const Caso& caso : casos) {
        program_.set("Email", "SMTPPort", QString::fromLatin1(caso.texto));
        Configuracao().gintSMTPPort = 111;
        LerConfiguracao();
        EXPECT_EQ(Configuracao().gintSMTPPort, caso.porta) << caso.texto;
    }
}

TEST_F(LerConfiguracaoTest, ReadsTheCodeFlagsOverATenSecondConnection) {
    Configuracao().gintZerarFornece = 1;
    LerConfiguracao();  // Empresa has no ParamGeral yet
    EXPECT_EQ(Configuracao().gintZerarFornece, 0);
    EXPECT_EQ(openings_, QStringList({"Empresa/10"}));

    server_.exec("Empresa", "create table ParamGeral (ZerarFornece smallint null, ZerarClientes smallint null, "
                            "ZerarProduto int null)");
    LerConfiguracao();
    EXPECT_EQ(Configuracao().gintZerarFornece, 0) << "an empty ParamGeral leaves the flags 0";

    server_.exec("Empresa", "insert into ParamGeral values (1, 0, 1)");
    LerConfiguracao();
    EXPECT_EQ(Configuracao().gintZerarFornece, 1);
    EXPECT_EQ(Configuracao().gintZerarClientes, 0);
    EXPECT_EQ(Configuracao().gintZerarProduto, 1);

    server_.exec("Empresa", "update ParamGeral set ZerarFornece = null, ZerarProduto = 70000");
    LerConfiguracao();
    EXPECT_EQ(Configuracao().gintZerarFornece, 0) << "Null";
    EXPECT_EQ(Configuracao().gintZerarProduto, 0) << "beyond 16 bits";

    // A company database that does not open leaves the flags 0, quietly, with errC/errD set.
    testsupport::MessageBoxRecorder boxes;
    program_.set("Tramontix", "Database", "NaoExiste");
    Configuracao().gintZerarClientes = 1;
    LerConfiguracao();
    EXPECT_EQ(Configuracao().gintZerarClientes, 0);
    EXPECT_EQ(errC(), 4060);
    program_.pointTo(server_, "Empresa", "errada");
    LerConfiguracao();
    EXPECT_EQ(errC(), 18456);
    EXPECT_FALSE(errD().contains("errada"));
    EXPECT_TRUE(boxes.shown.empty());
}
