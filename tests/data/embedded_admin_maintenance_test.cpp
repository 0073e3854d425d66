// Maintenance statements, sp_help's result sets and dropping columns.
#include <gtest/gtest.h>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

std::vector<long> errorsOf(data::Connection& c, const QString& sql) {
    try {
        c.Execute(sql);
    } catch (const data::DbError&) {
        std::vector<long> n;
        for (long i = 0; i < c.Errors().Count(); ++i) n.push_back(c.Errors().Item(i).Number());
        return n;
    }
    return {};
}

void makeOrigem(data::Connection& c) {
    for (const char* sql :
         {" create table Origem ( NumRegisto numeric (18,0) identity (1,1) not null )",
          "ALTER TABLE [dbo].[Origem] WITH NOCHECK ADD  CONSTRAINT [PK_Origem] PRIMARY KEY  NONCLUSTERED  ( [NumRegisto] )  ON "
          "[PRIMARY]",
          " alter table Origem add Nome nvarchar(40) null ", " alter table Origem add Valor decimal(12,3) not null default 0",
          " alter table Origem add Estado char(1) null constraint DF_Origem_Estado default ('A')",
          " alter table Origem add Qtd int null ", " alter table Origem add Data datetime null ",
          " alter table Origem add Obs text null "}) {
        c.Execute(QString::fromUtf8(sql));
    }
}

}  // namespace

TEST(EmbeddedAdminMaintenance, VerificaBaseDadosStatementsForEveryUserTable) {
    Server s;
    auto v = s.connect();
    v->Execute(QStringLiteral("create table Clientes (Codigo varchar(10), Nome varchar(60))"));
    v->Execute(QStringLiteral("CREATE INDEX [IX_Nome] on [dbo].[Clientes] ( Nome ) ON [PRIMARY]"));
    v->Execute(QStringLiteral("create table Produtos (Codigo varchar(10))"));
    v->Execute(QStringLiteral("create view Vista as select Codigo from Clientes"));
    v->Execute(QStringLiteral("insert into Clientes values ('1', 'Ana')"));
    v->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    v->Execute(QStringLiteral("sp_grantdbaccess 'ana'"));

    QStringList done;
    data::Recordset tables;
    tables.Open(QStringLiteral("sp_tables"), *v);
    while (!tables.EOF()) {
        if (tables.Fields(QStringLiteral("table_type")).Value().toString() == u"TABLE") {
            const QString t = tables.Fields(QStringLiteral("table_name")).Value().toString();
            EXPECT_EQ(errorOf(*v, QStringLiteral("dbcc updateusage(Velmora,") + t + u')'), 0) << t.toStdString();
            EXPECT_EQ(errorOf(*v, QStringLiteral("dbcc dbreindex('") + t + QStringLiteral("')")), 0) << t.toStdString();
            EXPECT_EQ(errorOf(*v, QStringLiteral("update statistics ") + t), 0) << t.toStdString();
            done.push_back(t);
        }
        tables.MoveNext();
    }
    EXPECT_EQ(done, (QStringList{QStringLiteral("Clientes"), QStringLiteral("Produtos")}));
    EXPECT_EQ(scalar(*v, QStringLiteral("select Nome from Clientes where Nome = 'ANA'")).toString(), QStringLiteral("Ana"));

    QString text;
    EXPECT_EQ(errorOf(*v, QStringLiteral("dbcc updateusage(Nada,Clientes)")), 2520);
    EXPECT_EQ(errorOf(*v, QStringLiteral("dbcc updateusage(0,Nada)"), &text), 2501);
    EXPECT_EQ(text, QStringLiteral("Cannot find a table or object with the name \"Nada\". Check the system catalog."));
    EXPECT_EQ(errorOf(*v, QStringLiteral("dbcc dbreindex('Nada')")), 2501);
    EXPECT_EQ(errorOf(*v, QStringLiteral("dbcc dbreindex")), 102);
    EXPECT_EQ(errorOf(*v, QStringLiteral("dbcc nonsense")), 2526);
    EXPECT_EQ(errorOf(*v, QStringLiteral("update statistics Nada"), &text), 2706);
    EXPECT_EQ(text, QStringLiteral("Table 'Nada' does not exist."));
    EXPECT_EQ(errorOf(*v, QStringLiteral("dbcc checkdb")), 0);

    // A user without db_owner or db_ddladmin maintains nothing.
    data::Connection ana;
    ana.Open(connectionString(s.folder(), QStringLiteral("Velmora"), QStringLiteral("ana")), QString(), QStringLiteral("pw"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("dbcc dbreindex('Clientes')"), &text), 2571);
    EXPECT_EQ(text, QStringLiteral("User 'ana' does not have permission to run DBCC DBREINDEX."));
    EXPECT_EQ(errorOf(ana, QStringLiteral("update statistics Clientes")), 15247);
    v->Execute(QStringLiteral("sp_addrolemember 'db_ddladmin','ana'"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("dbcc dbreindex('Clientes')")), 0);
}

TEST(EmbeddedAdminMaintenance, SpHelpGivesTheResultSetsTheStructureCopyReads) {
    Server s;
    auto v = s.connect();
    makeOrigem(*v);
    data::Recordset rs = v->Execute(QStringLiteral("sp_help Origem"));
    EXPECT_EQ(rs.Fields(QStringLiteral("Name")).Value().toString(), QStringLiteral("Origem"));
    EXPECT_EQ(rs.Fields(QStringLiteral("Type")).Value().toString(), QStringLiteral("user table"));

    rs = rs.NextRecordset();  // the column list
    struct Col {
        QString name, type;
        long length;
        QString prec, scale, nullable;
    };
    std::vector<Col> cols;
    while (!rs.EOF()) {
        cols.push_back({rs.Fields(QStringLiteral("Column_name")).Value().toString(), rs.Fields(QStringLiteral("Type")).Value().toString(),
                        static_cast<long>(rs.Fields(QStringLiteral("Length")).Value().toInt32()),
                        rs.Fields(QStringLiteral("Prec")).Value().toString(), rs.Fields(QStringLiteral("Scale")).Value().toString(),
                        rs.Fields(QStringLiteral("Nullable")).Value().toString()});
        rs.MoveNext();
    }
    ASSERT_EQ(cols.size(), 7u);
    EXPECT_EQ(cols[0].name, QStringLiteral("NumRegisto"));
    EXPECT_EQ(cols[0].type, QStringLiteral("numeric"));
    EXPECT_EQ(cols[0].length, 9);
    EXPECT_EQ(cols[0].prec, QStringLiteral("   18"));
    EXPECT_EQ(cols[0].scale, QStringLiteral("    0"));
    EXPECT_EQ(cols[0].nullable, QStringLiteral("no"));
    EXPECT_EQ(cols[1].type, QStringLiteral("nvarchar"));
    EXPECT_EQ(cols[1].length, 80);  // bytes: the copy halves it
    EXPECT_EQ(cols[1].prec, QStringLiteral("     "));
    EXPECT_EQ(cols[1].nullable, QStringLiteral("yes"));
    EXPECT_EQ(cols[2].type, QStringLiteral("decimal"));
    EXPECT_EQ(cols[2].prec, QStringLiteral("   12"));
    EXPECT_EQ(cols[2].scale, QStringLiteral("    3"));
    EXPECT_EQ(cols[2].nullable, QStringLiteral("no"));
    EXPECT_EQ(cols[3].type, QStringLiteral("char"));
    EXPECT_EQ(cols[3].length, 1);
    EXPECT_EQ(cols[5].type, QStringLiteral("datetime"));
    EXPECT_EQ(cols[5].length, 8);
    EXPECT_EQ(cols[4].prec, QStringLiteral("   10"));
    EXPECT_EQ(cols[6].type, QStringLiteral("text"));
    EXPECT_EQ(cols[6].length, 16);

    rs = rs.NextRecordset();  // identity
    EXPECT_EQ(rs.Fields(QStringLiteral("Identity")).Value().toString(), QStringLiteral("NumRegisto"));
    EXPECT_EQ(rs.Fields(QStringLiteral("Seed")).Value().toInt32(), 1);
    EXPECT_EQ(rs.Fields(QStringLiteral("Increment")).Value().toInt32(), 1);
    rs = rs.NextRecordset();  // row-GUID column
    EXPECT_EQ(rs.Fields(QStringLiteral("RowGuidCol")).Value().toString(), QStringLiteral("No rowguidcol column defined."));
    for (int k = 0; k < 5; ++k) rs = rs.NextRecordset();  // the constraint list is the ninth result
    ASSERT_EQ(rs.State(), data::ado::adStateOpen);
    QStringList constraints;
    while (!rs.EOF()) {
        constraints.push_back(rs.Fields(QStringLiteral("Constraint_Type")).Value().toString() + u'|' +
                              rs.Fields(QStringLiteral("constraint_name")).Value().toString() + u'|' +
                              rs.Fields(QStringLiteral("Constraint_keys")).Value().toString());
        rs.MoveNext();
    }
    EXPECT_EQ(constraints, (QStringList{QStringLiteral("PRIMARY KEY (non-clustered)|PK_Origem|NumRegisto"),
                                        QStringLiteral("DEFAULT on column Valor|DF__Origem__Valor|(0)"),
                                        QStringLiteral("DEFAULT on column Estado|DF_Origem_Estado|('A')")}));
    rs = rs.NextRecordset();
    EXPECT_EQ(rs.State(), data::ado::adStateClosed);

    // A table without identity, key or defaults, and the refusal of an unknown object.
    v->Execute(QStringLiteral("create table Simples (a int)"));
    rs = v->Execute(QStringLiteral("sp_help 'dbo.Simples'"));
    rs = rs.NextRecordset();
    rs = rs.NextRecordset();
    EXPECT_EQ(rs.Fields(QStringLiteral("Identity")).Value().toString(), QStringLiteral("No identity column defined."));
    for (int k = 0; k < 6; ++k) rs = rs.NextRecordset();
    EXPECT_EQ(rs.State(), data::ado::adStateOpen);
    EXPECT_TRUE(rs.EOF());
    QString text;
    EXPECT_EQ(errorOf(*v, QStringLiteral("sp_help Nada"), &text), 15009);
    EXPECT_EQ(text, QStringLiteral("The object 'Nada' does not exist in database 'Velmora' or is invalid for this operation."));
    EXPECT_TRUE(hasRows(*v, QStringLiteral("sp_help")));
}

TEST(EmbeddedAdminMaintenance, DropColumnKeepsTheRestAndRefusesDependentColumns) {
    Server s;
    auto v = s.connect();
    makeOrigem(*v);
    v->Execute(QStringLiteral("insert into Origem (Nome, Valor, Qtd) values ('Ana', 1.5, 3)"));
    v->Execute(QStringLiteral("CREATE INDEX [IX_Data] on [dbo].[Origem] ( Data ) ON [PRIMARY]"));

    EXPECT_EQ(errorOf(*v, QStringLiteral("Alter Table Origem Drop Column Qtd")), 0);
    EXPECT_FALSE(hasRows(*v, QStringLiteral("sp_columns @table_name = 'Origem',@COLUMN_NAME='Qtd'")));
    EXPECT_EQ(scalar(*v, QStringLiteral("select Nome from Origem")).toString(), QStringLiteral("Ana"));
    // The declared types keep holding after the drop.
    EXPECT_EQ(errorOf(*v, QStringLiteral("insert into Origem (Nome) values ('") + QString(41, u'x') + QStringLiteral("')")), 8152);
    EXPECT_EQ(errorOf(*v, QStringLiteral("insert into Origem (Nome) values ('Bia')")), 0);
    EXPECT_EQ(scalar(*v, QStringLiteral("select max(NumRegisto) from Origem")).toInt64(), 2);

    EXPECT_EQ(errorsOf(*v, QStringLiteral("Alter Table Origem Drop Column Estado")), (std::vector<long>{5074, 4922}));
    EXPECT_EQ(v->Errors().Item(0).Description(), QStringLiteral("The object 'DF_Origem_Estado' is dependent on column 'Estado'."));
    EXPECT_EQ(v->Errors().Item(1).Description(),
              QStringLiteral("ALTER TABLE DROP COLUMN Estado failed because one or more objects access this column."));
    EXPECT_EQ(errorsOf(*v, QStringLiteral("Alter Table Origem Drop Column NumRegisto")), (std::vector<long>{5074, 4922}));
    EXPECT_EQ(errorsOf(*v, QStringLiteral("Alter Table Origem Drop Column Data")), (std::vector<long>{5074, 4922}));
    EXPECT_EQ(v->Errors().Item(0).Description(), QStringLiteral("The object 'IX_Data' is dependent on column 'Data'."));
    QString text;
    EXPECT_EQ(errorOf(*v, QStringLiteral("Alter Table Origem Drop Column Nada"), &text), 4924);
    EXPECT_EQ(text, QStringLiteral("ALTER TABLE DROP COLUMN failed because column 'Nada' does not exist in table 'Origem'."));
    EXPECT_EQ(errorOf(*v, QStringLiteral("Alter Table Nada Drop Column x")), 4902);

    // Several columns at once, all or none.
    EXPECT_EQ(errorOf(*v, QStringLiteral("Alter Table [dbo].[Origem] Drop Column Obs, Nada")), 4924);
    EXPECT_TRUE(hasRows(*v, QStringLiteral("sp_columns @table_name = 'Origem',@COLUMN_NAME='Obs'")));
    v->Execute(QStringLiteral("create table Duas (a int, b int, c int)"));
    EXPECT_EQ(errorOf(*v, QStringLiteral("Alter Table [dbo].[Duas] Drop Column a, b")), 0);
    EXPECT_EQ(errorOf(*v, QStringLiteral("Alter Table Duas Drop Column c")), 4923);
}
