// Structure duplication, field lists and dropping a column.
#include <gtest/gtest.h>

#include "csql_test_support.h"
#include "data/recordset.h"
#include "platform/clock.h"
#include "platform/messagebox.h"

using csqltest::ConfiguredLogin;
using csqltest::ProgramServices;
using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;

TEST(CSqlEstrutura, DuplicateStructureScriptsColumnsDefaultsAndASingleColumnKey) {
    TempEmbeddedServer server;
    ProgramServices services;
    MessageBoxRecorder boxes;
    CSql& s = gobjSql();
    server.exec("master", "Create Database Loja");
    server.exec("Loja",
                "create table Origem (Id numeric(18,0) identity(1,1) not null, Nome nvarchar(40) null, "
                "Codigo varchar(10) not null, Valor money null constraint DF_Origem_Valor default (0), "
                "Num int null, CONSTRAINT PK_Origem PRIMARY KEY (Id))");
    const QString script =
        s.DuplicateStructure(server.serverName(), server.login(), server.password(), "Loja", "Origem", "Copia");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(script.toStdString(),
              "Create Table [dbo].[Copia] (\r"
              "[Id] [numeric] (18,0) IDENTITY (1,1) NOT NULL, \r"
              "[Nome] [nvarchar] (40) NULL, \r"
              "[Codigo] [varchar] (10) NOT NULL, \r"
              "[Valor] [money]  NULL CONSTRAINT DF_Copia_Valor DEFAULT ((0)) , \r"
              "[Num] [int]  NULL)  ON [PRIMARY]\r"
              "ALTER TABLE [dbo].[Copia] WITH NOCHECK ADD CONSTRAINT [PK_Copia] PRIMARY KEY  NONCLUSTERED ( [Id] )  "
              "ON [PRIMARY]");

    // A temporary table's constraint names carry the time of day.
    platform::setClock([] { return QDateTime(QDate(2024, 3, 5), QTime(9, 5, 7), Qt::UTC); });
    const QString temp =
        s.DuplicateStructure(server.serverName(), server.login(), server.password(), "Loja", "Origem", "#T");
    platform::setClock({});
    EXPECT_TRUE(temp.contains("CONSTRAINT DF957_#T_Valor DEFAULT"));
    EXPECT_TRUE(temp.contains("ADD CONSTRAINT [PK957_#T] PRIMARY KEY"));

    // A connection that does not open: its error is shown and the script is empty.
    EXPECT_EQ(s.DuplicateStructure(server.serverName(), "sa", "errada", "Loja", "Origem", "X"), "");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "18456\rLogin failed for user 'sa'.");
    EXPECT_EQ(ProgramServices::errC(), 18456);
    // A table that does not exist: the error reaches the caller.
    EXPECT_THROW(s.DuplicateStructure(server.serverName(), server.login(), server.password(), "Loja", "NaoHa", "X"),
                 platform::RuntimeError);

    // Both scripts make the source's structure again: the copy under its name, the temporary
    // one on the connection that runs it.
    server.exec("Loja", script);
    auto conn = server.connect("Loja");
    const auto source = testsupport::helpedStructure(*conn, "Origem");
    ASSERT_EQ(source.size(), 6u);
    EXPECT_EQ(testsupport::helpedStructure(*conn, "Copia"), source);
    conn->Execute(temp);
    EXPECT_EQ(testsupport::helpedStructure(*conn, "#T"), source);
    conn->Execute("insert into #T (Codigo) values ('A')");
    EXPECT_EQ(conn->Execute("select Valor from #T where Id = 1").Fields(0L).Value().toCurrency(), data::Currency())
        << "its default";
}

TEST(CSqlEstrutura, CreateFieldListLeavesOutEveryNameInsideTheExclusions) {
    TempEmbeddedServer server;
    CSql& s = gobjSql();
    server.exec("master", "Create Database Loja");
    server.exec("Loja", "create table T (Codigo int null, CodigoPostal int null, Nome int null)");
    auto conn = server.connect("Loja");
    data::Recordset rs = conn->Execute("select * from T");
    EXPECT_EQ(s.CreateFieldList(rs, ", "), "Codigo, CodigoPostal, Nome");
    EXPECT_EQ(s.CreateFieldList(rs, ","), "Codigo,CodigoPostal,Nome");
    EXPECT_EQ(s.CreateFieldList(rs), "CodigoCodigoPostalNome") << "no separator: names run together";
    EXPECT_EQ(s.CreateFieldList(rs, ",", "nome"), "Codigo,CodigoPostal");
    EXPECT_EQ(s.CreateFieldList(rs, ",", "codigopostal"), "Nome") << "a part of an excluded name is excluded too";
    EXPECT_EQ(s.CreateFieldList(rs, ",", "   "), "Codigo,CodigoPostal,Nome");
    EXPECT_EQ(s.CreateFieldList(rs, "", "CodigoPostal,Nome"), "");
    try {
        s.CreateFieldList(rs, ",", "CodigoPostal,Nome");
        ADD_FAILURE() << "no field listed: nothing to remove";
    } catch (const platform::RuntimeError& e) {
        EXPECT_EQ(e.number(), platform::errnum::InvalidProcedureCall);
    }
}

TEST(CSqlEstrutura, SQLDropFieldHandsTheErrorBack) {
    TempEmbeddedServer server;
    CSql& s = gobjSql();
    server.exec("master", "Create Database Loja");
    server.exec("Loja", "create table T (A int null, B varchar(5) null)");
    server.exec("Loja", "insert into T (A, B) values (1, 'x')");
    auto conn = server.connect("Loja");
    std::int32_t code = 0;
    QString text;
    EXPECT_FALSE(s.SQLDropField(*conn, "T", "NaoHa", code, text));
    EXPECT_NE(code, 0);
    EXPECT_FALSE(text.isEmpty());
    data::Connection closed;
    EXPECT_FALSE(s.SQLDropField(closed, "T", "B"));

    EXPECT_TRUE(s.SQLDropField(*conn, "T", "B", code, text));
    const auto cols = testsupport::tableColumns(*conn, "T");
    ASSERT_EQ(cols.size(), 1u);
    EXPECT_EQ(cols[0].name, "A");
    EXPECT_EQ(server.scalar("Loja", "select A from T").toInt32(), 1);
}
