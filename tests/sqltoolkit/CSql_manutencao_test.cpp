// Whole databases: finding, dropping, one statement, logged-on processes, maintenance, backup
// and restore.
#include <gtest/gtest.h>

#include "csql_test_support.h"
#include "data/provider.h"
#include "data/recordset.h"
#include "platform/messagebox.h"
#include "support/borvia_config.h"

using csqltest::ConfiguredLogin;
using csqltest::PointerRecorder;
using csqltest::ProgramServices;
using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;

namespace {

const std::vector<std::int16_t> kBusyThenDefault{util::vbHourglass, util::vbDefault};

class CSqlManutencaoTest : public ::testing::Test {
protected:
    TempEmbeddedServer server_;
    ConfiguredLogin cfg_{server_};
    ProgramServices services_;
    CSql& s_ = gobjSql();
    MessageBoxRecorder boxes_;
    PointerRecorder pointer_;

    // Backs the database up under this name, quietly, onto the one device the server has; the
    // statements it sends, with the database each runs in, go to statements when given.
    void backUpOnto(const char* database, const char* device, QStringList* statements = nullptr) {
        if (statements != nullptr) {
            data::provider::setRequestObserver([statements](const QString& db, const data::provider::Request& r) {
                *statements << db + QStringLiteral(" | ") + r.text;
            });
        }
        s_.BackUpDatabase(server_.serverName(), database, server_.login(), server_.password());
        data::provider::setRequestObserver({});
        ASSERT_TRUE(boxes_.shown.empty()) << boxes_.shown[0].text.toStdString();
        EXPECT_EQ(pointer_.values, kBusyThenDefault);
        const auto devices = server_.rows("master", "select name from sysdevices");
        ASSERT_EQ(devices.size(), 1u);
        EXPECT_EQ(devices[0][0].toString(), device);
    }
};

}  // namespace

TEST_F(CSqlManutencaoTest, CheckDatabaseComparesInCapitalsAndTellsAnUnansweredQuestion) {
    server_.exec("master", "Create Database LOJA");
    bool naoSeSabe = true;
    EXPECT_TRUE(s_.CheckDatabase("loja", naoSeSabe));
    EXPECT_TRUE(naoSeSabe) << "left as it was";
    EXPECT_FALSE(s_.CheckDatabase("outra", naoSeSabe));
    EXPECT_FALSE(naoSeSabe);
    EXPECT_FALSE(s_.CheckDatabase("lo'ja", naoSeSabe)) << "an apostrophe is looked up, not a broken statement";
    EXPECT_FALSE(naoSeSabe);

    ConfiguredLogin unreachable(server_.serverName(), "sa", "errada");
    EXPECT_FALSE(s_.CheckDatabase("loja", naoSeSabe));
    EXPECT_TRUE(naoSeSabe);
    EXPECT_EQ(ProgramServices::errC(), 18456) << "the program-wide error variables receive the failure";
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(CSqlManutencaoTest, DeleteDatabaseDropsItAndItsCompanyRow) {
    testsupport::BorviaConfig config(server_, false);
    config.addEmpresa({.codigo = "0001", .nome = "Loja"});
    config.addEmpresa({.codigo = "0002", .nome = "Outra"});
    server_.exec("master", "Create Database Loja");
    server_.exec("master", "Create Database Outra");

    EXPECT_TRUE(s_.DeleteDatabase("Loja", "0001"));
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    EXPECT_FALSE(s_.CheckDatabase("Loja"));
    EXPECT_EQ(server_.rows("BorviaConfig", "select codigo from empresas").size(), 1u);

    // Without a company code the configuration database is left alone.
    EXPECT_TRUE(s_.DeleteDatabase("Outra"));
    EXPECT_EQ(server_.rows("BorviaConfig", "select codigo from empresas").size(), 1u);
    EXPECT_TRUE(boxes_.shown.empty());

    // A database that does not exist: the refusal is shown and the company row stays.
    pointer_.values.clear();
    EXPECT_FALSE(s_.DeleteDatabase("NaoHa", "0002"));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::Critical);
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    EXPECT_EQ(server_.rows("BorviaConfig", "select codigo from empresas").size(), 1u);

    // No connection: its error is shown and the default pointer set.
    ConfiguredLogin unreachable(server_.serverName(), "sa", "errada");
    pointer_.values.clear();
    EXPECT_FALSE(s_.DeleteDatabase("BorviaConfig"));
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[1].text, "18456\rLogin failed for user 'sa'.");
    EXPECT_EQ(pointer_.values, std::vector<std::int16_t>{util::vbDefault});
}

TEST_F(CSqlManutencaoTest, DatabasesAreDroppedAndGivenAwayOnlyWithTheRights) {
    server_.exec("master", "Create Database Loja");
    ASSERT_TRUE(s_.CreateLogin("ana", "Pw.1", 4));  // processadmin
    ASSERT_TRUE(s_.CreateLogin("eva", "Pw.2", 4));
    ASSERT_TRUE(s_.GrantAcess("Loja", "ana"));
    ASSERT_TRUE(s_.SetDBRoleMember("Loja", "ana", 0, 0));
    ConfiguredLogin ana(server_.serverName(), "ana", "Pw.1");
    boxes_.shown.clear();
    EXPECT_FALSE(s_.DeleteDatabase("Loja"));
    EXPECT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(s_.CheckDatabase("Loja"));

    const testsupport::TempEmbeddedServer& srv = server_;
    std::int32_t n = 0;
    QString t;
    data::Connection conn;
    ASSERT_TRUE(s_.CreateDbConnection(conn, srv.serverName(), "Loja", "ana", "Pw.1", 120, n, t));
    EXPECT_FALSE(s_.ChangeDatabaseOwner(conn, "Loja", "", "eva"));
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_TRUE(boxes_.shown[1].text.contains(" - "));
    EXPECT_EQ(csqltest::databaseOwner(server_, "Loja"), "sa");
}

TEST_F(CSqlManutencaoTest, ExecutaSQLHandsBackARecordsetThatOutlivesItsConnection) {
    server_.exec("master", "Create Database Loja");
    server_.exec("Loja", "create table T (A varchar(5) null)");
    server_.exec("Loja", "insert into T (A) values ('x')");
    server_.exec("Loja", "insert into T (A) values ('y')");
    data::Recordset rs = s_.ExecutaSQL("Loja", "select A from T order by A");
    ASSERT_EQ(rs.State(), data::ado::adStateOpen);
    EXPECT_EQ(rs.Fields("A").Value().toString(), "x");
    rs.MoveNext();
    EXPECT_EQ(rs.Fields("A").Value().toString(), "y");

    EXPECT_EQ(s_.ExecutaSQL("NaoHa", "select 1").State(), data::ado::adStateClosed);
    EXPECT_TRUE(boxes_.shown.empty()) << "a connection that does not open is not reported";
    EXPECT_EQ(s_.ExecutaSQL("Loja", "select * from NaoHa").State(), data::ado::adStateClosed);
    EXPECT_EQ(boxes_.shown.size(), 1u) << "a refused statement is";
}

TEST_F(CSqlManutencaoTest, IsLoggedOnNeedsThreeNetworkProcesses) {
    ASSERT_TRUE(s_.CreateLogin("ana", "Pw.1", 5));
    QString info = "antes";
    EXPECT_FALSE(s_.isLoggedOn("ana", info));
    EXPECT_EQ(info, "");
    std::vector<std::unique_ptr<data::Connection>> held;
    auto connectAna = [&] {
        auto c = std::make_unique<data::Connection>();
        std::int32_t n = 0;
        QString t;
        ASSERT_TRUE(s_.CreateDbConnection(*c, server_.serverName(), "master", "ana", "Pw.1", 120, n, t));
        held.push_back(std::move(c));
    };
    connectAna();
    connectAna();
    info = "antes";
    EXPECT_FALSE(s_.isLoggedOn("ANA", info));
    EXPECT_EQ(info, "antes");
    connectAna();
    EXPECT_TRUE(s_.isLoggedOn("ana", info));
}

TEST_F(CSqlManutencaoTest, VerificaBaseDadosMaintainsEveryUserTableInListOrder) {
    server_.exec("master", "Create Database Loja");
    server_.exec("Loja", "create table Clientes (A int null)");
    server_.exec("Loja", "create table Artigos (A int null)");
    server_.exec("Loja", "create view Vista as select A from Clientes");
    std::vector<QString> tables;
    s_.VerificaBaseDadosTableName = [&](QString& t) { tables.push_back(t); };
    s_.VerificaBaseDados("Loja");
    s_.VerificaBaseDadosTableName = nullptr;
    EXPECT_TRUE(boxes_.shown.empty()) << (boxes_.shown.empty() ? QString() : boxes_.shown[0].text).toStdString();
    EXPECT_EQ(tables, (std::vector<QString>{"Artigos", "Clientes"}));
    EXPECT_EQ(pointer_.values, kBusyThenDefault);

    pointer_.values.clear();
    s_.VerificaBaseDados("NaoHa");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith("4060\r"));
    EXPECT_TRUE(pointer_.values.empty());
}

TEST_F(CSqlManutencaoTest, APaddedDatabaseNameOpensAndNamesTheDeviceWithoutItsBlanks) {
    server_.exec("master", "Create Database LOJA");
    QStringList gravados;
    backUpOnto(" LOJA ", "BackLOJA", &gravados);
    // The statements take the name with its blanks; the connections open the database itself.
    EXPECT_EQ(gravados.join(u'\n').toStdString(), "LOJA | use  LOJA \n"
                                                   "LOJA | sp_helpfile\n"
                                                   "master | select * from sysdevices where name='BackLOJA'\n"
                                                   "master | exec sp_addumpdevice 'disk','BackLOJA','BackLOJA.dat'\n"
                                                   "master | backup database  LOJA  to BackLOJA WITH INIT");
}

TEST_F(CSqlManutencaoTest, BackupAndRestoreGiveBackTheBackedUpDatabase) {
    server_.exec("master", "Create Database Loja");
    server_.exec("Loja", "create table T (A varchar(10) null)");
    server_.exec("Loja", "insert into T (A) values ('antes')");
    backUpOnto("Loja", "BackLoja");

    server_.exec("Loja", "update T set A='depois'");
    server_.exec("Loja", "insert into T (A) values ('nova')");
    // The embedded engine's data file is no ".mdf": the backup file has no folder, and the
    // engine keeps it in the server's folder.
    pointer_.values.clear();
    s_.RestoreSQLDatabase(server_.serverName(), "Loja", server_.login(), server_.password(), "");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, "Os Dados Foram Repostos!");
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::Information);
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    const auto rows = server_.rows("Loja", "select A from T");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].toString(), "antes");

    // A second backup reuses the device; a restore without the file is refused and says so.
    s_.BackUpDatabase(server_.serverName(), "Loja", server_.login(), server_.password());
    EXPECT_EQ(server_.rows("master", "select name from sysdevices").size(), 1u);
    s_.RestoreSQLDatabase(server_.serverName(), "Loja", server_.login(), server_.password(), "/nao/existe/");
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_NE(boxes_.shown[1].text, "Os Dados Foram Repostos!");
    EXPECT_EQ(boxes_.shown[1].style, platform::mb::Critical);

    s_.BackUpDatabase(server_.serverName(), "Loja", server_.login(), "errada");
    ASSERT_EQ(boxes_.shown.size(), 3u);
    EXPECT_TRUE(boxes_.shown[2].text.startsWith("18456\r"));
}
