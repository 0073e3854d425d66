#include <gtest/gtest.h>

#include <QFile>
#include <sqlite3.h>

#include "data/connection.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "support/embedded_server.h"
#include "support/program_folder.h"

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
        setObservadorAberturas([this](const QString& db, std::int32_t t) { openings_ << db + "/" + QString::number(t); });
    }
    std::vector<std::vector<data::Variant>> logRows() const {
        return server_.rows("Velmora", "select Opcao, Texto, DataSys from LogGeral order by NumRegisto");
    }
    void expectFailure() {
        EXPECT_NE(errC(), 0);
        EXPECT_FALSE(errD().isEmpty());
        EXPECT_FALSE(errD().contains(server_.password()));
        errC() = 0;
        errD().clear();
    }

    testsupport::TempEmbeddedServer server_;
    testsupport::TempProgramFolder program_;  // resets the settings record and errC/errD
    QStringList openings_;
};

}  // namespace

TEST_F(LigacoesTest, OpenersOpenTheirDatabaseOrReportThroughErrCAndErrD) {
    data::Connection velmora, geral;
    EXPECT_TRUE(OpenVelmora(velmora, errC(), errD(), 120));
    EXPECT_TRUE(OpenGeral(geral, errC(), errD(), 10));
    EXPECT_TRUE(velmora.ConnectionString().contains("Initial Catalog=Velmora"));
    EXPECT_TRUE(geral.ConnectionString().contains("Initial Catalog=Empresa"));
    EXPECT_FALSE(velmora.ConnectionString().contains(server_.password()));
    EXPECT_EQ(openings_, QStringList({"Velmora/120", "Empresa/10"}));
    EXPECT_EQ(errC(), 0);

    Configuracao().gstrPwd = "Errada'Pw";
    data::Connection a, b;
    EXPECT_FALSE(OpenVelmora(a, errC(), errD(), 120));
    EXPECT_EQ(errC(), 18456);
    EXPECT_EQ(errD(), "Login failed for user 'sa'.");
    errC() = 0;
    EXPECT_FALSE(OpenGeral(b, errC(), errD(), 120));
    EXPECT_EQ(errC(), 18456);
    EXPECT_FALSE(b.ConnectionString().contains("Errada"));
}

TEST_F(LigacoesTest, MissingLockedOrCorruptDatabasesGiveANumberAndAText) {
    Configuracao().gstrDataBase = "NaoExiste";
    data::Connection geral;
    EXPECT_FALSE(OpenGeral(geral, errC(), errD(), 120));
    EXPECT_EQ(errC(), 4060);
    expectFailure();

    {  // another program holds the file's exclusive lock: the opening waits for its time-out only
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(server_.databaseFile("Velmora").toUtf8().constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        // In write-ahead-log mode another program's write lock does not keep readers out: the
        // opening may succeed, and the first write then fails with a number and a text.
        data::Connection locked;
        const bool opened = OpenVelmora(locked, errC(), errD(), 1);
        if (opened) {
            locked.setCommandTimeout(1);
            try {
                locked.Execute(QStringLiteral("Insert into LogGeral (DataSys,Opcao,Texto) VALUES (GetDate(),'a','b')"));
                ADD_FAILURE() << "the write should wait for the lock and give up";
            } catch (const data::DbError& e) {
                EXPECT_NE(e.number(), 0);
                EXPECT_FALSE(e.description().isEmpty());
            }
        } else {
            expectFailure();
        }
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    {
        QFile f(server_.databaseFile("Velmora"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(8192, 'x'));
    }
    data::Connection corrupt;
    EXPECT_FALSE(OpenVelmora(corrupt, errC(), errD(), 120));
    expectFailure();
    EXPECT_FALSE(LancaLog("Função Processa", "detalhe")) << "the row is lost quietly";

    ASSERT_TRUE(QFile::remove(server_.databaseFile("Velmora")));
    data::Connection gone;
    EXPECT_FALSE(OpenVelmora(gone, errC(), errD(), 120));
    expectFailure();
}

TEST_F(LigacoesTest, LogRowsKeepTheirTextsOrAreLostQuietly) {
    EXPECT_TRUE(LancaLog("Função Processa Clientes", "Invalid object name 'Clientes'."));
    EXPECT_TRUE(LancaLog("Fecho da Aplicação", ""));
    EXPECT_TRUE(LancaLog("O'NEILL", "'); delete from LogGeral; --"));
    const QString longText(40000, u'z');
    EXPECT_TRUE(LancaLog("Envio de Email", longText));
    EXPECT_TRUE(LancaLog(QString(51, u'L'), "x")) << "a label wider than the column loses the row only";

    const auto rows = logRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0].toString(), "Função Processa Clientes");
    EXPECT_EQ(rows[0][1].toString(), "Invalid object name 'Clientes'.");
    EXPECT_FALSE(rows[0][2].isNull()) << "the server's clock fills DataSys";
    EXPECT_EQ(rows[1][1].toString(), "");
    EXPECT_EQ(rows[2][0].toString(), "O'NEILL");
    EXPECT_EQ(rows[2][1].toString(), "'); delete from LogGeral; --");
    EXPECT_EQ(rows[3][1].toString(), longText);
    EXPECT_EQ(openings_.front(), "Velmora/120");

    Configuracao().gstrPwd = "errada";
    EXPECT_FALSE(LancaLog("Arranque da Aplicação", ""));
    EXPECT_EQ(errC(), 18456);
    Configuracao().gstrPwd = server_.password();
    server_.exec("Velmora", "drop table LogGeral");
    EXPECT_TRUE(LancaLog("Arranque da Aplicação", "")) << "the staging database opened";
}
