#include <gtest/gtest.h>

#include <QFile>
#include <sqlite3.h>

#include "data/connection.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"

using testsupport::TempEmbeddedServer;

namespace {

class LigacoesTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec("master", "Create Database Empresa");
        server_.exec("master", "Create Database Velmora");
        server_.exec("Velmora", "create table LogGeral (NumRegisto numeric(18,0) identity(1,1) not null, "
                                "DataSys datetime null, Opcao varchar(50) null, Texto text null)");
        ConfiguracaoRecord& cfg = Configuracao();
        cfg.gstrServer = server_.serverName();
        cfg.gstrUID = server_.login();
        cfg.gstrPwd = server_.password();
        cfg.gstrDataBase = "Empresa";
        setObservadorAberturas([this](const QString& db, std::int32_t timeout) {
            openings_.push_back(db + "/" + QString::number(timeout));
        });
    }

    std::vector<std::vector<data::Variant>> logRows() const {
        return server_.rows("Velmora", "select Opcao, Texto, DataSys from LogGeral order by NumRegisto");
    }

    TempEmbeddedServer server_;
    testsupport::TempProgramFolder program_;  // resets the settings record and errC/errD
    std::vector<QString> openings_;
};

}  // namespace

TEST_F(LigacoesTest, OpenersOpenTheirDatabaseOrReportThroughErrCAndErrD) {
    data::Connection velmora;
    EXPECT_TRUE(OpenVelmora(velmora, errC(), errD(), 120));
    EXPECT_TRUE(velmora.ConnectionString().contains("Initial Catalog=Velmora"));
    data::Connection geral;
    EXPECT_TRUE(OpenGeral(geral, errC(), errD(), 10));
    EXPECT_TRUE(geral.ConnectionString().contains("Initial Catalog=Empresa"));
    EXPECT_EQ(openings_, (std::vector<QString>{"Velmora/120", "Empresa/10"}));
    EXPECT_EQ(errC(), 0);
    EXPECT_FALSE(velmora.ConnectionString().contains(server_.password()));
    EXPECT_FALSE(geral.ConnectionString().contains(server_.password()));

    Configuracao().gstrPwd = "Errada'Pw";
    data::Connection a;
    EXPECT_FALSE(OpenVelmora(a, errC(), errD(), 120));
    EXPECT_EQ(errC(), 18456);
    EXPECT_EQ(errD(), "Login failed for user 'sa'.");
    errC() = 0;
    errD().clear();
    data::Connection b;
    EXPECT_FALSE(OpenGeral(b, errC(), errD(), 120));
    EXPECT_EQ(errC(), 18456);
    EXPECT_FALSE(errD().contains("Errada"));
    EXPECT_FALSE(b.ConnectionString().contains("Errada"));
}

TEST_F(LigacoesTest, MissingOrCorruptDatabasesGiveANumberAndAText) {
    Configuracao().gstrDataBase = "NaoExiste";
    data::Connection geral;
    EXPECT_FALSE(OpenGeral(geral, errC(), errD(), 120));
    EXPECT_EQ(errC(), 4060);
    EXPECT_TRUE(errD().contains("NaoExiste"));

    // A database file whose content is not a database.
    {
        QFile f(server_.databaseFile("Velmora"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(8192, 'x'));
    }
    errC() = 0;
    errD().clear();
    data::Connection velmora;
    const bool opened = OpenVelmora(velmora, errC(), errD(), 120);
    if (!opened) {
        EXPECT_NE(errC(), 0);
        EXPECT_FALSE(errD().isEmpty());
    }
    // The log writer loses its row quietly, whichever way the file fails.
    LancaLog("Função Processa", "detalhe");
    SUCCEED();
}

TEST_F(LigacoesTest, LogRowsKeepTheirTextsAsGiven) {
    EXPECT_TRUE(LancaLog("Função Processa Clientes", "Invalid object name 'Clientes'."));
    EXPECT_TRUE(LancaLog("Fecho da Aplicação", ""));
    EXPECT_TRUE(LancaLog("O'NEILL", "'); delete from LogGeral; --"));
    const QString longText(40000, u'z');
    EXPECT_TRUE(LancaLog("Envio de Email", longText));

    const auto rows = logRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0].toString(), "Função Processa Clientes");
    EXPECT_EQ(rows[0][1].toString(), "Invalid object name 'Clientes'.");
    EXPECT_FALSE(rows[0][2].isNull()) << "the server's clock fills DataSys";
    EXPECT_EQ(rows[1][0].toString(), "Fecho da Aplicação");
    EXPECT_EQ(rows[1][1].toString(), "");
    EXPECT_EQ(rows[2][0].toString(), "O'NEILL");
    EXPECT_EQ(rows[2][1].toString(), "'); delete from LogGeral; --");
    EXPECT_EQ(rows[3][1].toString(), longText);
    EXPECT_EQ(openings_.size(), 4u);
    EXPECT_EQ(openings_.front(), "Velmora/120");
}

TEST_F(LigacoesTest, LogRowsThatCannotBeWrittenAreLostQuietly) {
    testsupport::MessageBoxRecorder boxes;
    // A label wider than the column: the row is refused, the writer still answers True.
    EXPECT_TRUE(LancaLog(QString(51, u'L'), "x"));
    EXPECT_TRUE(logRows().empty());

    // The staging database refuses the login: False, the row is lost, errC/errD say why.
    Configuracao().gstrPwd = "errada";
    EXPECT_FALSE(LancaLog("Arranque da Aplicação", ""));
    EXPECT_EQ(errC(), 18456);
    Configuracao().gstrPwd = server_.password();
    EXPECT_TRUE(logRows().empty());

    // No LogGeral table: True, nothing written, nothing raised.
    server_.exec("Velmora", "drop table LogGeral");
    EXPECT_TRUE(LancaLog("Arranque da Aplicação", ""));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LigacoesTest, ALockedStagingFileNeverCrashesTheLogWriter) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(server_.databaseFile("Velmora").toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const bool result = LancaLog("Arranque da Aplicação", "bloqueado");
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (!result) {
        EXPECT_NE(errC(), 0);
        EXPECT_FALSE(errD().isEmpty());
    }
    EXPECT_LE(logRows().size(), 1u);
}
