#include <gtest/gtest.h>

#include "data/connection.h"
#include "data/recordset.h"
#include "sqltoolkit/CSql.h"
#include "support/embedded_server.h"

using testsupport::TempEmbeddedServer;

TEST(CSqlTexts, AreTheSystemsOwnWithApostrophesDoubledInValues) {
    EXPECT_EQ(csqltexto::CheckField("T", "C"), "sp_columns @table_name = 'T',@COLUMN_NAME='C'");
    EXPECT_EQ(csqltexto::CheckTable("T"), "sp_tables @table_name = 'T'");
    EXPECT_EQ(csqltexto::CreateTable("T"), " create table T ( NumRegisto numeric (18,0) identity (1,1) not null )");
    EXPECT_EQ(csqltexto::CreateKey("T"),
              "ALTER TABLE [dbo].[T] WITH NOCHECK ADD  CONSTRAINT [PK_T] PRIMARY KEY  NONCLUSTERED  ( [NumRegisto] )  "
              "ON [PRIMARY]");
    EXPECT_EQ(csqltexto::AddField("T", "C", "varchar(3) null "), " alter table T add C varchar(3) null ");
    EXPECT_EQ(csqltexto::AddField("T", "C", ""), " alter table T add C ");
    EXPECT_EQ(csqltexto::ChangeField("T", "C", "money null "), " alter table T ALTER COLUMN C money null ");
    EXPECT_EQ(csqltexto::CreateIndex("IX", "T", "A,B", false), "CREATE INDEX [IX] on [dbo].[T] ( A,B ) ON [PRIMARY]");
    EXPECT_EQ(csqltexto::CreateIndex("IX", "T", "A", true), "CREATE UNIQUE INDEX [IX] on [dbo].[T] ( A ) ON [PRIMARY]");
    EXPECT_EQ(csqltexto::CheckIndex("T", "IX"), "sp_indexes @table_name = 'T' , @index_name= 'IX'");

    EXPECT_EQ(csqltexto::CheckTable("O'NEILL"), "sp_tables @table_name = 'O''NEILL'");
    EXPECT_EQ(csqltexto::CheckField("a'b", "c'd"), "sp_columns @table_name = 'a''b',@COLUMN_NAME='c''d'");
    EXPECT_EQ(csqltexto::CheckIndex("a'b", "'"), "sp_indexes @table_name = 'a''b' , @index_name= ''''");
}

TEST(GobjSql, IsOneInstance) { EXPECT_EQ(&gobjSql(), &gobjSql()); }

class CreateDbConnectionTest : public ::testing::Test {
protected:
    TempEmbeddedServer server_;
};

TEST_F(CreateDbConnectionTest, OpensWithoutThePasswordInTheStringAndWithoutStatementTimeOut) {
    data::Connection conn;
    std::int32_t code = 77;
    QString text = QStringLiteral("earlier failure");
    ASSERT_TRUE(gobjSql().CreateDbConnection(conn, server_.serverName(), "master", server_.login(), server_.password(),
                                             120, code, text));
    EXPECT_EQ(conn.State(), data::ado::adStateOpen);
    EXPECT_EQ(conn.CommandTimeout(), 0);
    EXPECT_EQ(conn.ConnectionTimeout(), 120);
    EXPECT_EQ(conn.ConnectionString(),
              "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=master;Data Source=" +
                  server_.serverName());
    EXPECT_FALSE(conn.ConnectionString().contains(server_.password()));
    EXPECT_EQ(code, 77) << "a success leaves the caller's error variables alone";
    EXPECT_EQ(text, "earlier failure");
    conn.Close();
}

TEST_F(CreateDbConnectionTest, FailuresComeBackAsNumberAndTextWithoutThePassword) {
    {
        data::Connection conn;
        std::int32_t code = 0;
        QString text;
        EXPECT_FALSE(gobjSql().CreateDbConnection(conn, server_.serverName(), "master", server_.login(),
                                                  "wrong-Pw.Secreta#2024", 120, code, text));
        EXPECT_EQ(code, 18456);
        EXPECT_EQ(text, "Login failed for user 'sa'.");
        EXPECT_FALSE(text.contains("wrong-Pw"));
        EXPECT_FALSE(conn.ConnectionString().contains("wrong-Pw"));
        EXPECT_EQ(conn.State(), data::ado::adStateClosed);
    }
    {
        data::Connection conn;
        std::int32_t code = 0;
        QString text;
        EXPECT_FALSE(gobjSql().CreateDbConnection(conn, server_.serverName(), "NaoExiste", server_.login(),
                                                  server_.password(), 120, code, text));
        EXPECT_EQ(code, 4060);
        EXPECT_FALSE(text.isEmpty());
        EXPECT_FALSE(text.contains(server_.password()));
    }
    {
        // An empty login and password go through unchanged and are refused by the server.
        data::Connection conn;
        std::int32_t code = 0;
        QString text;
        EXPECT_FALSE(gobjSql().CreateDbConnection(conn, server_.serverName(), "master", "", "", 120, code, text));
        EXPECT_NE(code, 0);
        EXPECT_FALSE(text.isEmpty());
        EXPECT_TRUE(conn.ConnectionString().contains("User ID=;"));
    }
    {
        // An object that is already open cannot take the settings: a failure, not a crash.
        auto open = server_.connect();
        std::int32_t code = 0;
        QString text;
        EXPECT_FALSE(gobjSql().CreateDbConnection(*open, server_.serverName(), "master", server_.login(),
                                                  server_.password(), 120, code, text));
        EXPECT_NE(code, 0);
        EXPECT_EQ(open->State(), data::ado::adStateOpen);
    }
}

class CSqlTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec("master", "Create Database Staging");
        conn_ = server_.connect("Staging");
    }
    TempEmbeddedServer server_;
    std::unique_ptr<data::Connection> conn_;
};

TEST_F(CSqlTableTest, CreateTableMakesOneTableWithItsKeyOnce) {
    CSql& s = gobjSql();
    EXPECT_FALSE(s.SQLCheckTable(*conn_, "Regras"));
    EXPECT_TRUE(s.SQLCreateTable(*conn_, "Regras"));
    EXPECT_FALSE(s.SQLCreateTable(*conn_, "Regras")) << "the second creation fails at its first statement";
    EXPECT_TRUE(s.SQLCheckTable(*conn_, "Regras"));
    EXPECT_TRUE(s.SQLCheckTable(*conn_, "regras")) << "names are compared without case";
    EXPECT_TRUE(s.SQLCheckIndex(*conn_, "Regras", "PK_Regras"));
    EXPECT_TRUE(s.SQLCheckField(*conn_, "Regras", "NumRegisto"));

    const auto cols = testsupport::tableColumns(*conn_, "Regras");
    ASSERT_EQ(cols.size(), 1u);
    EXPECT_EQ(cols[0].name, "NumRegisto");
    EXPECT_EQ(cols[0].type, data::ado::adNumeric);

    // The key is filled by the server from 1 by 1.
    EXPECT_TRUE(s.SQLAddField(*conn_, "Regras", "Grupo", "varchar(3) null ").toBool());
    conn_->Execute("insert into Regras (Grupo) values ('A')");
    conn_->Execute("insert into Regras (Grupo) values ('B')");
    const auto keys = server_.rows("Staging", "select NumRegisto, Grupo from Regras order by Grupo");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0][0].toInt32(), 1);
    EXPECT_EQ(keys[1][0].toInt32(), 2);
}

TEST_F(CSqlTableTest, ColumnMembersAddWidenAndRefuseWithoutChangingData) {
    CSql& s = gobjSql();
    ASSERT_TRUE(s.SQLCreateTable(*conn_, "Clientes"));
    EXPECT_FALSE(s.SQLCheckField(*conn_, "Clientes", "Descricao"));
    EXPECT_TRUE(s.SQLAddField(*conn_, "Clientes", "Descricao", "varchar(5) null ").toBool());
    EXPECT_EQ(s.SQLAddField(*conn_, "Clientes", "Descricao", "varchar(5) null ").type(), data::Variant::Type::Boolean);
    EXPECT_FALSE(s.SQLAddField(*conn_, "Clientes", "Descricao", "varchar(5) null ").toBool()) << "already there";
    EXPECT_FALSE(s.SQLAddField(*conn_, "Clientes", "Morada").toBool()) << "no type: the server refuses";
    EXPECT_FALSE(s.SQLCheckField(*conn_, "Clientes", "Morada"));
    EXPECT_TRUE(s.SQLCheckField(*conn_, "Clientes", "Descricao"));
    EXPECT_FALSE(s.SQLCheckField(*conn_, "NaoHa", "Descricao"));

    conn_->Execute("insert into Clientes (Descricao) values ('O''NE')");
    EXPECT_TRUE(s.SQLChangeField(*conn_, "Clientes", "Descricao", "varchar(60) null ").toBool());
    EXPECT_EQ(testsupport::tableColumns(*conn_, "Clientes")[1].size, 60);
    EXPECT_TRUE(s.SQLChangeField(*conn_, "Clientes", "Descricao", "varchar(60) null ").toBool())
        << "widening to the width it has changes nothing and succeeds";
    EXPECT_FALSE(s.SQLChangeField(*conn_, "Clientes", "Descricao", "varchar(2) null ").toBool())
        << "the data does not fit";
    EXPECT_FALSE(s.SQLChangeField(*conn_, "Clientes", "Descricao").toBool());
    EXPECT_EQ(testsupport::tableColumns(*conn_, "Clientes")[1].size, 60);
    EXPECT_EQ(server_.scalar("Staging", "select Descricao from Clientes").toString(), "O'NE");
}

TEST_F(CSqlTableTest, IndexesUniqueOrNotAndTheirCheck) {
    CSql& s = gobjSql();
    ASSERT_TRUE(s.SQLCreateTable(*conn_, "Movimentos"));
    s.SQLAddField(*conn_, "Movimentos", "Chave", "varchar(50) null ");
    s.SQLAddField(*conn_, "Movimentos", "Data", "varchar(10) null ");

    EXPECT_FALSE(s.SQLCheckIndex(*conn_, "Movimentos", "IX_Data"));
    EXPECT_TRUE(s.SQLCreateIndex(*conn_, "IX_Data", "Movimentos", "Data,Chave").toBool());
    EXPECT_FALSE(s.SQLCreateIndex(*conn_, "IX_Data", "Movimentos", "Data").toBool()) << "the name is taken";
    EXPECT_TRUE(s.SQLCheckIndex(*conn_, "Movimentos", "IX_Data"));
    conn_->Execute("insert into Movimentos (Chave, Data) values ('k1','2024-01-01')");
    conn_->Execute("insert into Movimentos (Chave, Data) values ('k1','2024-01-01')");  // not unique: allowed

    EXPECT_FALSE(s.SQLCreateIndex(*conn_, "IX_Chave", "Movimentos", "Chave", true).toBool())
        << "existing duplicates refuse a unique index";
    conn_->Execute("delete from Movimentos where NumRegisto = 2");
    EXPECT_TRUE(s.SQLCreateIndex(*conn_, "IX_Chave", "Movimentos", "Chave", true).toBool());
    EXPECT_THROW(conn_->Execute("insert into Movimentos (Chave) values ('k1')"), data::DbError)
        << "a unique index refuses the same key";
    EXPECT_FALSE(s.SQLCreateIndex(*conn_, "IX_X", "NaoHa", "Chave").toBool());
}

TEST_F(CSqlTableTest, NamesWithApostrophesAnswerFalseInsteadOfBreaking) {
    CSql& s = gobjSql();
    EXPECT_FALSE(s.SQLCheckTable(*conn_, "O'NEILL"));
    EXPECT_FALSE(s.SQLCheckField(*conn_, "O'NEILL", "x'"));
    EXPECT_FALSE(s.SQLCheckIndex(*conn_, "O'NEILL", "PK_'"));
    EXPECT_FALSE(s.SQLCreateTable(*conn_, "O'NEILL"));
    EXPECT_FALSE(s.SQLCheckTable(*conn_, "'; drop table x --"));

    // Any member on a connection that is not open answers False.
    data::Connection closed;
    EXPECT_FALSE(s.SQLCheckTable(closed, "Clientes"));
    EXPECT_FALSE(s.SQLCreateTable(closed, "Clientes"));
    EXPECT_FALSE(s.SQLAddField(closed, "Clientes", "A", "smallint null ").toBool());
    EXPECT_FALSE(s.SQLCreateIndex(closed, "I", "Clientes", "A").toBool());
    const QString longName(40000, u'x');
    EXPECT_FALSE(s.SQLCheckTable(*conn_, longName));
    s.SQLCreateTable(*conn_, longName);  // whatever the server makes of it, no crash
}
