#include <gtest/gtest.h>

#include "data/connection.h"
#include "sqltoolkit/CSql.h"
#include "support/embedded_server.h"

using testsupport::TempEmbeddedServer;

TEST(CSqlTexts, AreTheSystemsOwnWithApostrophesDoubledInValues) {
    EXPECT_EQ(csqltexto::CheckField("a'b", "C"), "sp_columns @table_name = 'a''b',@COLUMN_NAME='C'");
    EXPECT_EQ(csqltexto::CheckTable("O'NEILL"), "sp_tables @table_name = 'O''NEILL'");
    EXPECT_EQ(csqltexto::CreateTable("T"), " create table T ( NumRegisto numeric (18,0) identity (1,1) not null )");
    EXPECT_EQ(csqltexto::CreateKey("T"),
              "ALTER TABLE [dbo].[T] WITH NOCHECK ADD  CONSTRAINT [PK_T] PRIMARY KEY  NONCLUSTERED  ( [NumRegisto] )  "
              "ON [PRIMARY]");
    EXPECT_EQ(csqltexto::AddField("T", "C", ""), " alter table T add C ");
    EXPECT_EQ(csqltexto::ChangeField("T", "C", "money null "), " alter table T ALTER COLUMN C money null ");
    EXPECT_EQ(csqltexto::CreateIndex("IX", "T", "A,B", false), "CREATE INDEX [IX] on [dbo].[T] ( A,B ) ON [PRIMARY]");
    EXPECT_EQ(csqltexto::CreateIndex("IX", "T", "A", true), "CREATE UNIQUE INDEX [IX] on [dbo].[T] ( A ) ON [PRIMARY]");
    EXPECT_EQ(csqltexto::CheckIndex("T", "'"), "sp_indexes @table_name = 'T' , @index_name= ''''");
}

TEST(CreateDbConnection, OpensWithoutThePasswordAnywhereOrReportsNumberAndText) {
    TempEmbeddedServer server;
    data::Connection conn;
    std::int32_t code = 77;
    QString text = "earlier failure";
    ASSERT_TRUE(gobjSql().CreateDbConnection(conn, server.serverName(), "master", "sa", server.password(), 120, code,
                                             text));
    EXPECT_EQ(conn.CommandTimeout(), 0);
    EXPECT_EQ(conn.ConnectionTimeout(), 120);
    EXPECT_EQ(conn.ConnectionString(),
              "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;Data Source=" +
                  server.serverName());
    EXPECT_EQ(code, 77) << "a success leaves the caller's error variables alone";
    EXPECT_EQ(text, "earlier failure");

    data::Connection refused;
    EXPECT_FALSE(gobjSql().CreateDbConnection(refused, server.serverName(), "master", "sa", "wrong'Pw", 120, code, text));
    EXPECT_EQ(code, 18456);
    EXPECT_EQ(text, "Login failed for user 'sa'.");
    EXPECT_FALSE(refused.ConnectionString().contains("wrong"));
    EXPECT_EQ(refused.State(), data::ado::adStateClosed);

    data::Connection unknown;
    EXPECT_FALSE(gobjSql().CreateDbConnection(unknown, server.serverName(), "NaoHa", "sa", server.password(), 120, code,
                                              text));
    EXPECT_EQ(code, 4060);
    EXPECT_FALSE(text.contains(server.password()));

    data::Connection empty;
    code = 0;
    EXPECT_FALSE(gobjSql().CreateDbConnection(empty, server.serverName(), "master", "", "", 120, code, text));
    EXPECT_NE(code, 0);
    EXPECT_TRUE(empty.ConnectionString().contains("User ID=;"));

    // An object that is open already cannot take the settings: a failure, not a crash.
    code = 0;
    EXPECT_FALSE(gobjSql().CreateDbConnection(conn, server.serverName(), "master", "sa", server.password(), 120, code,
                                              text));
    EXPECT_NE(code, 0);
}

TEST(CreateDbConnection, QuotesALoginHoldingTheStringsSeparator) {
    // The first login of a new server is its sysadmin: this one makes the server.
    TempEmbeddedServer server(QStringLiteral("op;1"), QStringLiteral("a;b=c}d\"e'f"));
    data::Connection conn;
    std::int32_t code = 0;
    QString text;
    ASSERT_TRUE(gobjSql().CreateDbConnection(conn, server.serverName(), "master", server.login(), server.password(),
                                             120, code, text))
        << text.toStdString();
    EXPECT_EQ(conn.ConnectionString(),
              "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=\"op;1\";Initial Catalog=master;Data Source=" +
                  server.serverName());
    data::Connection refused;
    EXPECT_FALSE(gobjSql().CreateDbConnection(refused, server.serverName(), "master", server.login(), "a;b=c}", 120,
                                              code, text));
    EXPECT_EQ(text, "Login failed for user 'op;1'.");
    EXPECT_FALSE(refused.ConnectionString().contains("a;b"));
}

class CSqlTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec("master", "Create Database Staging");
        conn_ = server_.connect("Staging");
    }
    TempEmbeddedServer server_;
    std::unique_ptr<data::Connection> conn_;
    CSql& s_ = gobjSql();
};

TEST_F(CSqlTableTest, CreateTableMakesOneTableWithItsIdentityKeyOnce) {
    EXPECT_FALSE(s_.SQLCheckTable(*conn_, "Regras"));
    EXPECT_TRUE(s_.SQLCreateTable(*conn_, "Regras"));
    EXPECT_FALSE(s_.SQLCreateTable(*conn_, "Regras")) << "the second creation fails at its first statement";
    EXPECT_TRUE(s_.SQLCheckTable(*conn_, "regras"));
    EXPECT_TRUE(s_.SQLCheckIndex(*conn_, "Regras", "PK_Regras"));
    const auto cols = testsupport::tableColumns(*conn_, "Regras");
    ASSERT_EQ(cols.size(), 1u);
    EXPECT_EQ(cols[0].name, "NumRegisto");
    EXPECT_EQ(cols[0].type, data::ado::adNumeric);

    s_.SQLAddField(*conn_, "Regras", "Grupo", "varchar(3) null ");
    conn_->Execute("insert into Regras (Grupo) values ('A')");
    conn_->Execute("insert into Regras (Grupo) values ('B')");
    const auto keys = server_.rows("Staging", "select NumRegisto from Regras order by Grupo");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0][0].toInt32(), 1);
    EXPECT_EQ(keys[1][0].toInt32(), 2);

    // Names with apostrophes answer False instead of breaking; so does a closed connection.
    EXPECT_FALSE(s_.SQLCheckTable(*conn_, "O'NEILL"));
    EXPECT_FALSE(s_.SQLCheckField(*conn_, "'; drop table Regras --", "x'"));
    EXPECT_FALSE(s_.SQLCreateTable(*conn_, "O'NEILL"));
    data::Connection closed;
    EXPECT_FALSE(s_.SQLCheckTable(closed, "Regras"));
    EXPECT_FALSE(s_.SQLAddField(closed, "Regras", "A", "smallint null ").toBool());
    EXPECT_TRUE(s_.SQLCheckTable(*conn_, "Regras"));
}

TEST_F(CSqlTableTest, ColumnMembersAddWidenAndRefuseWithoutChangingData) {
    ASSERT_TRUE(s_.SQLCreateTable(*conn_, "Clientes"));
    EXPECT_FALSE(s_.SQLCheckField(*conn_, "Clientes", "Descricao"));
    const auto added = s_.SQLAddField(*conn_, "Clientes", "Descricao", "varchar(5) null ");
    EXPECT_EQ(added.type(), data::Variant::Type::Boolean);
    EXPECT_TRUE(added.toBool());
    EXPECT_FALSE(s_.SQLAddField(*conn_, "Clientes", "Descricao", "varchar(5) null ").toBool()) << "already there";
    EXPECT_FALSE(s_.SQLAddField(*conn_, "Clientes", "Morada").toBool()) << "no type: the server refuses";
    EXPECT_TRUE(s_.SQLCheckField(*conn_, "Clientes", "Descricao"));
    EXPECT_FALSE(s_.SQLCheckField(*conn_, "Clientes", "Morada"));

    conn_->Execute("insert into Clientes (Descricao) values ('O''NE')");
    EXPECT_TRUE(s_.SQLChangeField(*conn_, "Clientes", "Descricao", "varchar(60) null ").toBool());
    EXPECT_TRUE(s_.SQLChangeField(*conn_, "Clientes", "Descricao", "varchar(60) null ").toBool());
    EXPECT_FALSE(s_.SQLChangeField(*conn_, "Clientes", "Descricao", "varchar(2) null ").toBool()) << "data too long";
    EXPECT_FALSE(s_.SQLChangeField(*conn_, "Clientes", "Descricao").toBool());
    EXPECT_EQ(testsupport::tableColumns(*conn_, "Clientes")[1].size, 60);
    EXPECT_EQ(server_.scalar("Staging", "select Descricao from Clientes").toString(), "O'NE");
}

TEST_F(CSqlTableTest, IndexesUniqueOrNotAndTheirCheck) {
    ASSERT_TRUE(s_.SQLCreateTable(*conn_, "Movimentos"));
    s_.SQLAddField(*conn_, "Movimentos", "Chave", "varchar(50) null ");
    s_.SQLAddField(*conn_, "Movimentos", "Data", "varchar(10) null ");
    EXPECT_FALSE(s_.SQLCheckIndex(*conn_, "Movimentos", "IX_Data"));
    EXPECT_TRUE(s_.SQLCreateIndex(*conn_, "IX_Data", "Movimentos", "Data,Chave").toBool());
    EXPECT_FALSE(s_.SQLCreateIndex(*conn_, "IX_Data", "Movimentos", "Data").toBool()) << "the name is taken";
    EXPECT_TRUE(s_.SQLCheckIndex(*conn_, "Movimentos", "IX_Data"));
    conn_->Execute("insert into Movimentos (Chave) values ('k1')");
    conn_->Execute("insert into Movimentos (Chave) values ('k1')");  // the index is not unique

    EXPECT_FALSE(s_.SQLCreateIndex(*conn_, "IX_Chave", "Movimentos", "Chave", true).toBool()) << "duplicates";
    conn_->Execute("delete from Movimentos where NumRegisto = 2");
    EXPECT_TRUE(s_.SQLCreateIndex(*conn_, "IX_Chave", "Movimentos", "Chave", true).toBool());
    EXPECT_THROW(conn_->Execute("insert into Movimentos (Chave) values ('k1')"), data::DbError);
}
