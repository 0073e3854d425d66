// The configuration-database opener and the services the start-up module hands the core.
#include <gtest/gtest.h>

#include "data/connection.h"
#include "extractor/MainMod_config.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "sqltoolkit/CSql.h"
#include "support/embedded_server.h"
#include "support/program_folder.h"
#include "util/EDiv.h"
#include "util/alert.h"

namespace {

class OpenConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        ConfiguracaoRecord& cfg = Configuracao();
        cfg.gstrServer = server_.serverName();
        cfg.gstrUID = server_.login();
        cfg.gstrPwd = server_.password();
        util::setAlertDialogHook([this](const QString& titulo, const std::vector<data::Variant>& opcoes) {
            shown_.push_back(titulo);
            for (const auto& o : opcoes) options_.push_back(o.toString());
            gintRespostaAlert() = answer_;
        });
        setTerminaPrograma([this] { ++ended_; });
    }
    void TearDown() override {
        util::setAlertDialogHook({});
        setTerminaPrograma({});
        util::setServicosPrograma({});
        csql::setFonteLoginConfigurado({});
    }

    testsupport::TempEmbeddedServer server_;
    testsupport::TempProgramFolder program_;  // resets the settings record and errC/errD
    std::vector<QString> shown_;
    std::vector<QString> options_;
    std::int16_t answer_ = 1;
    int ended_ = 0;
};

}  // namespace

TEST_F(OpenConfigTest, OpensTheConfigurationDatabaseOrAsksWhetherToGoOn) {
    server_.exec("master", "Create Database BorviaConfig");
    data::Connection conn;
    EXPECT_TRUE(OpenConfig(conn, errC(), errD()));
    EXPECT_TRUE(conn.ConnectionString().contains("Initial Catalog=BorviaConfig"));
    EXPECT_EQ(conn.ConnectionTimeout(), 120);
    EXPECT_TRUE(shown_.empty());

    Configuracao().gstrPwd = "errada";
    for (const std::int16_t answer : {1, 0}) {
        answer_ = answer;
        errC() = 0;
        errD().clear();
        data::Connection refused;
        EXPECT_FALSE(OpenConfig(refused, errC(), errD()));
        EXPECT_EQ(errC(), 18456);
        EXPECT_EQ(errD(), "Login failed for user 'sa'.");
        EXPECT_EQ(refused.State(), data::ado::adStateClosed);
    }
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[0], "Ocorreu um erro ao tentar abrir uma conecção (Config)");
    EXPECT_EQ(options_, (std::vector<QString>{"Continuar a tentar", "Terminar o Programa", "Continuar a tentar",
                                              "Terminar o Programa"}));
    EXPECT_EQ(ended_, 0);

    answer_ = 2;
    data::Connection ending;
    OpenConfig(ending, errC(), errD());
    EXPECT_EQ(ended_, 1) << "\"Terminar o Programa\" ends the program";
}

TEST_F(OpenConfigTest, TheInstalledServicesAreThoseOfTheStartUpModule) {
    server_.exec("master", "Create Database BorviaConfig");
    InstalaServicosConfig();
    const csql::LoginConfigurado login = csql::loginConfigurado();
    EXPECT_EQ(login.gstrServer, server_.serverName());
    EXPECT_EQ(login.gstrUID, server_.login());
    EXPECT_EQ(login.gstrPwd, server_.password());
    data::Connection conn;
    EXPECT_TRUE(util::abreConfig(conn));
    EXPECT_EQ(&util::programaErrC(), &errC());
    EXPECT_EQ(&util::programaErrD(), &errD());

    Configuracao().gstrPwd = "errada";
    data::Connection refused;
    EXPECT_FALSE(util::abreConfig(refused));
    EXPECT_EQ(errC(), 18456) << "the program-wide error variables receive the failure";
    EXPECT_EQ(shown_.size(), 1u) << "through OpenConfig and its dialog";
}

TEST(OpenConfigEnd, TerminarOProgramaEndsTheProgramAtOnce) {
    testsupport::TempEmbeddedServer server;
    Configuracao().gstrServer = server.serverName();
    Configuracao().gstrUID = server.login();
    Configuracao().gstrPwd = "errada";
    util::setAlertDialogHook([](const QString&, const std::vector<data::Variant>&) { gintRespostaAlert() = 2; });
    data::Connection conn;
    EXPECT_EXIT(OpenConfig(conn, errC(), errD()), ::testing::ExitedWithCode(0), "");
    util::setAlertDialogHook({});
    Configuracao() = ConfiguracaoRecord();
}
