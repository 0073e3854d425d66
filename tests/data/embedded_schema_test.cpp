// Schema statements as the toolkit sends them, and the catalogue procedures that check them.
#include <gtest/gtest.h>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

bool createTable(data::Connection& c, const QString& t) {
    return errorOf(c, QStringLiteral(" create table ") + t + QStringLiteral(" ( NumRegisto numeric (18,0) identity (1,1) not null )")) ==
               0 &&
           errorOf(c, QStringLiteral("ALTER TABLE [dbo].[") + t + QStringLiteral("] WITH NOCHECK ADD  CONSTRAINT [PK_") + t +
                          QStringLiteral("] PRIMARY KEY  NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]")) == 0;
}

long addField(data::Connection& c, const QString& t, const QString& f, const QString& types) {
    return errorOf(c, QStringLiteral(" alter table ") + t + QStringLiteral(" add ") + f + u' ' + types);
}

long changeField(data::Connection& c, const QString& t, const QString& f, const QString& types) {
    return errorOf(c, QStringLiteral(" alter table ") + t + QStringLiteral(" ALTER COLUMN ") + f + u' ' + types);
}

}  // namespace

TEST(EmbeddedSchema, CreateTableTwiceGivesOneTableWithOneKey) {
    Server s;
    auto c = s.connect();
    EXPECT_TRUE(createTable(*c, QStringLiteral("Clientes")));
    QString text;
    EXPECT_EQ(errorOf(*c, QStringLiteral(" create table Clientes ( NumRegisto numeric (18,0) identity (1,1) not null )"), &text), 2714);
    EXPECT_EQ(text, QStringLiteral("There is already an object named 'Clientes' in the database."));
    EXPECT_FALSE(createTable(*c, QStringLiteral("Clientes")));
    EXPECT_TRUE(hasRows(*c, QStringLiteral("sp_tables @table_name = 'Clientes'")));
    EXPECT_FALSE(hasRows(*c, QStringLiteral("sp_tables @table_name = 'Produtos'")));

    auto keys = c->Execute(QStringLiteral("sp_indexes @table_name = 'Clientes' , @index_name= 'PK_Clientes'"));
    ASSERT_FALSE(keys.EOF());
    EXPECT_EQ(keys.Fields(QStringLiteral("COLUMN_NAME")).Value().toString(), QStringLiteral("NumRegisto"));
    EXPECT_EQ(keys.Fields(QStringLiteral("NON_UNIQUE")).Value().toInt32(), 0);
    keys.MoveNext();
    EXPECT_TRUE(keys.EOF()) << "one key";

    // The definition keeps the declared type beside SQLite's own counter.
    const QString sql = rawText(s.file(QStringLiteral("Velmora")),
                                QStringLiteral("select sql from sqlite_master where name='Clientes'"));
    EXPECT_TRUE(sql.contains(QStringLiteral("numeric (18,0) identity (1,1)"))) << sql.toStdString();
    EXPECT_TRUE(sql.contains(QStringLiteral("PK_Clientes")));

    // Identity values start at 1 and step by 1, and are never taken again.
    c->Execute(QStringLiteral("insert into Clientes default values"));
    c->Execute(QStringLiteral("insert into Clientes default values"));
    c->Execute(QStringLiteral("delete from Clientes where NumRegisto = 2"));
    c->Execute(QStringLiteral("insert into Clientes default values"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select max(NumRegisto) from Clientes")).toInt32(), 3);
    auto rs = c->Execute(QStringLiteral("select NumRegisto from Clientes"));
    EXPECT_EQ(rs.Fields(0L).Type(), data::ado::adNumeric);
}

TEST(EmbeddedSchema, AddAndChangeColumnsKeepDataAndDeclaredTypes) {
    Server s;
    auto c = s.connect();
    ASSERT_TRUE(createTable(*c, QStringLiteral("Clientes")));
    EXPECT_EQ(addField(*c, QStringLiteral("Clientes"), QStringLiteral("Codigo"), QStringLiteral("varchar(10) null ")), 0);
    EXPECT_EQ(addField(*c, QStringLiteral("Clientes"), QStringLiteral("Descricao"), QStringLiteral("varchar(50) null ")), 0);
    EXPECT_EQ(addField(*c, QStringLiteral("Clientes"), QStringLiteral("Activo"), QStringLiteral("smallint null ")), 0);
    EXPECT_EQ(addField(*c, QStringLiteral("Clientes"), QStringLiteral("Codigo"), QStringLiteral("varchar(10) null ")), 2705);
    EXPECT_EQ(addField(*c, QStringLiteral("Clientes"), QStringLiteral("Morada"), QString()), 102) << "no type: refused";
    EXPECT_EQ(addField(*c, QStringLiteral("Ghost"), QStringLiteral("X"), QStringLiteral("int null")), 4902);
    EXPECT_TRUE(hasRows(*c, QStringLiteral("sp_columns @table_name = 'Clientes',@COLUMN_NAME='Descricao'")));
    EXPECT_FALSE(hasRows(*c, QStringLiteral("sp_columns @table_name = 'Clientes',@COLUMN_NAME='Morada'")));

    c->Execute(QStringLiteral("insert into Clientes (Codigo, Descricao) values ('C1', '")+ QString(50, u'x') + QStringLiteral("')"));
    c->Execute(QStringLiteral("CREATE INDEX [IX_Codigo] on [dbo].[Clientes] ( Codigo ) ON [PRIMARY]"));

    // Widening keeps the rows, the key, the index and the identity counter.
    EXPECT_EQ(changeField(*c, QStringLiteral("Clientes"), QStringLiteral("Descricao"), QStringLiteral("varchar(60) null ")), 0);
    EXPECT_EQ(changeField(*c, QStringLiteral("Clientes"), QStringLiteral("Descricao"), QStringLiteral("varchar(60) null ")), 0)
        << "again: nothing changes";
    const QString file = s.file(QStringLiteral("Velmora"));
    EXPECT_EQ(rawText(file, QStringLiteral("select type from pragma_table_info('Clientes') where name='Descricao'")),
              QStringLiteral("varchar(60)"));
    EXPECT_TRUE(hasRows(*c, QStringLiteral("sp_indexes @table_name = 'Clientes' , @index_name= 'IX_Codigo'")));
    EXPECT_TRUE(hasRows(*c, QStringLiteral("sp_indexes @table_name = 'Clientes' , @index_name= 'PK_Clientes'")));
    // A key column's order stays with the index, which then reads rows in a query's order.
    c->Execute(QStringLiteral("CREATE INDEX [IX_Ordem] on [dbo].[Clientes] ( Descricao DESC, Codigo )"));
    EXPECT_EQ(rawText(file, QStringLiteral("select sql from sqlite_master where name = 'IX_Ordem'")),
              QStringLiteral("CREATE INDEX \"IX_Ordem\" ON \"Clientes\" (\"Descricao\" COLLATE TSQL_TEXT DESC, \"Codigo\" "
                             "COLLATE TSQL_TEXT)"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select Descricao from Clientes")).toString(), QString(50, u'x'));
    c->Execute(QStringLiteral("insert into Clientes (Codigo) values ('C2')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select max(NumRegisto) from Clientes")).toInt32(), 2);

    // Narrowing below the data fails and changes nothing.
    QString text;
    EXPECT_EQ(changeField(*c, QStringLiteral("Clientes"), QStringLiteral("Descricao"), QStringLiteral("varchar(3) null ")), 8152);
    EXPECT_EQ(rawText(file, QStringLiteral("select type from pragma_table_info('Clientes') where name='Descricao'")),
              QStringLiteral("varchar(60)"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes")).toInt32(), 2);
    EXPECT_EQ(changeField(*c, QStringLiteral("Clientes"), QStringLiteral("Descricao"), QString()), 102);
    EXPECT_EQ(changeField(*c, QStringLiteral("Clientes"), QStringLiteral("Nada"), QStringLiteral("int null")), 4924);
    EXPECT_EQ(changeField(*c, QStringLiteral("Clientes"), QStringLiteral("Activo"), QStringLiteral("varchar(1) null")), 0);
}

TEST(EmbeddedSchema, IndexesAndCatalogueProcedures) {
    Server s;
    auto c = s.connect();
    ASSERT_TRUE(createTable(*c, QStringLiteral("Produtos")));
    ASSERT_EQ(addField(*c, QStringLiteral("Produtos"), QStringLiteral("Codigo"), QStringLiteral("varchar(15) null ")), 0);
    ASSERT_EQ(addField(*c, QStringLiteral("Produtos"), QStringLiteral("PVP"), QStringLiteral("money null ")), 0);
    EXPECT_EQ(errorOf(*c, QStringLiteral("CREATE INDEX [IX_P] on [dbo].[Produtos] ( Codigo ) ON [PRIMARY]")), 0);
    EXPECT_EQ(errorOf(*c, QStringLiteral("CREATE INDEX [IX_P] on [dbo].[Produtos] ( Codigo ) ON [PRIMARY]")), 1913);
    c->Execute(QStringLiteral("insert into Produtos (Codigo) values ('A'); insert into Produtos (Codigo) values ('A')"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("CREATE UNIQUE INDEX [UX_P] on [dbo].[Produtos] ( Codigo ) ON [PRIMARY]")), 1505);
    auto ix = c->Execute(QStringLiteral("sp_indexes @table_name = 'Produtos' , @index_name= 'IX_P'"));
    ASSERT_FALSE(ix.EOF());
    EXPECT_EQ(ix.Fields(QStringLiteral("NON_UNIQUE")).Value().toInt32(), 1) << "not unique unless asked";

    auto t = c->Execute(QStringLiteral("sp_tables @table_name = 'produtos'"));
    QStringList names;
    for (long i = 0; i < t.Fields().Count(); ++i) names << t.Fields(i).Name();
    EXPECT_EQ(names, (QStringList{QStringLiteral("TABLE_QUALIFIER"), QStringLiteral("TABLE_OWNER"), QStringLiteral("TABLE_NAME"),
                                  QStringLiteral("TABLE_TYPE"), QStringLiteral("REMARKS")}));
    EXPECT_EQ(t.Fields(QStringLiteral("TABLE_QUALIFIER")).Value().toString(), QStringLiteral("Velmora"));
    EXPECT_EQ(t.Fields(QStringLiteral("TABLE_OWNER")).Value().toString(), QStringLiteral("dbo"));
    EXPECT_EQ(t.Fields(QStringLiteral("TABLE_NAME")).Value().toString(), QStringLiteral("Produtos"));
    EXPECT_EQ(t.Fields(QStringLiteral("TABLE_TYPE")).Value().toString(), QStringLiteral("TABLE"));
    EXPECT_TRUE(t.Fields(QStringLiteral("REMARKS")).Value().isNull());

    auto col = c->Execute(QStringLiteral("sp_columns @table_name = 'Produtos',@COLUMN_NAME='PVP'"));
    ASSERT_FALSE(col.EOF());
    EXPECT_EQ(col.Fields().Count(), 19);
    EXPECT_EQ(col.Fields(QStringLiteral("TYPE_NAME")).Value().toString(), QStringLiteral("money"));
    EXPECT_EQ(col.Fields(QStringLiteral("PRECISION")).Value().toInt32(), 19);
    EXPECT_EQ(col.Fields(QStringLiteral("SCALE")).Value().toInt32(), 4);
    EXPECT_EQ(col.Fields(QStringLiteral("IS_NULLABLE")).Value().toString(), QStringLiteral("YES"));
    EXPECT_EQ(col.Fields(QStringLiteral("ORDINAL_POSITION")).Value().toInt32(), 3);
    auto all = c->Execute(QStringLiteral("sp_columns @table_name = 'Produtos'"));
    EXPECT_EQ(all.Fields(QStringLiteral("TYPE_NAME")).Value().toString(), QStringLiteral("numeric() identity"));
    EXPECT_EQ(all.Fields(QStringLiteral("LENGTH")).Value().toInt32(), 20);

    // Without arguments: every table of the database, opened as a lone name too.
    data::Recordset every;
    every.Open(QStringLiteral("sp_tables"), *c);
    ASSERT_FALSE(every.EOF());
    EXPECT_EQ(every.Fields(QStringLiteral("TABLE_NAME")).Value().toString(), QStringLiteral("Produtos"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("sp_tables @nonsense = 'x'")), 8145);
    EXPECT_EQ(errorOf(*c, QStringLiteral("sp_nothing 'x'")), 2812);
}

// A statement kept prepared learns of a changed table only when it next steps; the columns a
// query shows are those of the table as it is now.
TEST(EmbeddedSchema, AQueryReadAgainAfterAnAddedColumnShowsIt) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table Q (a int null)"));
    c->Execute(QStringLiteral("insert into Q (a) values (1)"));
    {
        data::Recordset rs;
        rs.Open(QStringLiteral("select * from Q"), *c);
        EXPECT_EQ(rs.Fields().Count(), 1);
    }
    c->Execute(QStringLiteral("alter table Q add b varchar(3) null"));
    data::Recordset rs;
    rs.Open(QStringLiteral("select * from Q"), *c);
    ASSERT_EQ(rs.Fields().Count(), 2);
    EXPECT_TRUE(rs.Fields(QStringLiteral("b")).Value().isNull());
}

// Inside a transaction the engine trusts the schema it checked at the transaction's first
// statement; whichever way a transaction ends and the next begins, a change another connection
// made in between has to be seen. A stale definition shows as the column's former width.
TEST(EmbeddedSchema, EveryNewTransactionSeesAChangeAnotherConnectionMadeBetween) {
    Server s;
    auto a = s.connect();
    auto b = s.connect();
    a->Execute(QStringLiteral("create table W (v varchar(2) null)"));
    struct Way {
        const char* name;
        std::function<void(data::Connection&)> begin;
        std::function<void(data::Connection&)> end;
    };
    const std::vector<Way> ways = {
        {"methods, commit", [](data::Connection& c) { c.BeginTrans(); }, [](data::Connection& c) { c.CommitTrans(); }},
        {"methods, rollback", [](data::Connection& c) { c.BeginTrans(); }, [](data::Connection& c) { c.RollbackTrans(); }},
        {"statements, commit", [](data::Connection& c) { c.Execute(QStringLiteral("begin tran")); },
         [](data::Connection& c) { c.Execute(QStringLiteral("commit tran")); }},
        {"statements, rollback", [](data::Connection& c) { c.Execute(QStringLiteral("begin transaction")); },
         [](data::Connection& c) { c.Execute(QStringLiteral("rollback transaction")); }},
    };
    int width = 2;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        // The connection knows the column's width, then runs a transaction that only reads: it
        // ends without a commit of anything.
        EXPECT_EQ(errorOf(*a, QStringLiteral("insert into W (v) values ('%1')").arg(QString(width + 1, u'x'))), 8152);
        way.begin(*a);
        a->Execute(QStringLiteral("select * from W"));
        way.end(*a);

        width += 2;
        ASSERT_EQ(changeField(*b, QStringLiteral("W"), QStringLiteral("v"), QStringLiteral("varchar(%1) null").arg(width)), 0);

        way.begin(*a);
        a->Execute(QStringLiteral("select * from W"));
        EXPECT_EQ(errorOf(*a, QStringLiteral("insert into W (v) values ('%1')").arg(QString(width, u'y'))), 0);
        data::Recordset rs;
        rs.Open(QStringLiteral("select v from W where v = '%1'").arg(QString(width, u'y')), *a, data::ado::adOpenDynamic,
                data::ado::adLockOptimistic);
        ASSERT_FALSE(rs.EOF());
        rs.Fields(QStringLiteral("v")).setValue(QString(width, u'z'));
        EXPECT_NO_THROW(rs.Update());
        rs.Close();
        way.end(*a);
    }
}

// A connection that reached another database by its name checks that database's schema only
// before the statements that use it. A change there must still reach the next statement that
// does, however many statements of its own database ran in between, and whether that
// statement was sent before or not.
TEST(EmbeddedSchema, AChangeInAnAttachedDatabaseReachesTheNextStatementUsingIt) {
    Server s;
    s.connect(QStringLiteral("master"))->Execute(QStringLiteral("Create Database Empresa"));
    auto staging = s.connect();
    staging->Execute(QStringLiteral("create table W (v varchar(2) null)"));
    auto company = s.connect(QStringLiteral("Empresa"));
    company->Execute(QStringLiteral("create table L (k varchar(5) null)"));
    company->Execute(QStringLiteral("insert into L (k) values ('a')"));

    EXPECT_EQ(errorOf(*company, QStringLiteral("insert into Velmora..W (v) values ('abc')")), 8152);
    EXPECT_EQ(errorOf(*company, QStringLiteral("select W.v from Velmora..W W inner join L on L.k = W.v")), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(errorOf(*company, QStringLiteral("select k from L where k = 'a'")), 0);

    ASSERT_EQ(changeField(*staging, QStringLiteral("W"), QStringLiteral("v"), QStringLiteral("varchar(5) null")), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(errorOf(*company, QStringLiteral("select k from L where k = 'a'")), 0);
    // Sent before, and sent for the first time.
    EXPECT_EQ(errorOf(*company, QStringLiteral("insert into Velmora..W (v) values ('abc')")), 0);
    ASSERT_EQ(addField(*staging, QStringLiteral("W"), QStringLiteral("n"), QStringLiteral("int null")), 0);
    EXPECT_EQ(errorOf(*company, QStringLiteral("select k from L where k = 'a'")), 0);
    data::Recordset rs;
    rs.Open(QStringLiteral("select * from Velmora..W"), *company);
    EXPECT_EQ(rs.Fields().Count(), 2);
    rs.Close();

    // The connection's own database is checked before every statement.
    company->Execute(QStringLiteral("insert into L (k) values ('b')"));
    ASSERT_EQ(changeField(*s.connect(QStringLiteral("Empresa")), QStringLiteral("L"), QStringLiteral("k"),
                          QStringLiteral("varchar(1) null")),
              0);
    EXPECT_EQ(errorOf(*company, QStringLiteral("insert into L (k) values ('cc')")), 8152);
}

// A connection that only reads its own database checks that database's schema once, then
// trusts it while the file stays as it was. Whatever another connection changes in between (rows
// only, a column's width, an added or a dropped column) must show in the very next read, as
// described by the table as it is now.
TEST(EmbeddedSchema, AReaderOfItsOwnDatabaseSeesEveryChangeAnotherConnectionMadeSinceItsLastRead) {
    Server s;
    auto reader = s.connect();
    auto writer = s.connect();
    writer->Execute(QStringLiteral("create table V (k varchar(2) null, n int null)"));
    writer->Execute(QStringLiteral("insert into V (k, n) values ('a', 1)"));
    struct Seen {
        long fields;
        long width;
        long rows;
    };
    auto read = [&] {
        data::Recordset rs;
        rs.Open(QStringLiteral("select * from V"), *reader);
        Seen seen{rs.Fields().Count(), rs.Fields(QStringLiteral("k")).DefinedSize(), 0};
        for (; !rs.EOF(); rs.MoveNext()) ++seen.rows;
        return seen;
    };
    auto expect = [&](long fields, long width, long rows) {
        // Twice: the first read after the change and the one that trusts it again.
        for (int i = 0; i < 2; ++i) {
            const Seen seen = read();
            EXPECT_EQ(seen.fields, fields);
            EXPECT_EQ(seen.width, width);
            EXPECT_EQ(seen.rows, rows);
        }
    };
    expect(2, 2, 1);
    writer->Execute(QStringLiteral("insert into V (k, n) values ('b', 2)"));
    expect(2, 2, 2);
    ASSERT_EQ(changeField(*writer, QStringLiteral("V"), QStringLiteral("k"), QStringLiteral("varchar(9) null")), 0);
    expect(2, 9, 2);
    ASSERT_EQ(addField(*writer, QStringLiteral("V"), QStringLiteral("m"), QStringLiteral("int null")), 0);
    expect(3, 9, 2);
    ASSERT_EQ(errorOf(*writer, QStringLiteral("alter table V drop column n")), 0);
    expect(2, 9, 2);
    // A read that names what is gone fails as it would have on the first read.
    EXPECT_EQ(errorOf(*reader, QStringLiteral("select n from V")), 207);
    EXPECT_EQ(errorOf(*reader, QStringLiteral("select m from V")), 0);
    ASSERT_EQ(errorOf(*writer, QStringLiteral("alter table V drop column m")), 0);
    EXPECT_EQ(errorOf(*reader, QStringLiteral("select m from V")), 207);
}

// A recordset opened after another connection added a column to its table reads the row key
// from its own place and writes back the row it read, not the one some other column names.
TEST(EmbeddedSchema, ARecordsetWritesBackItsOwnRowAfterAnotherConnectionAddedAColumn) {
    Server s;
    auto mine = s.connect();
    auto other = s.connect();
    mine->Execute(QStringLiteral("create table R (v varchar(5) null)"));
    for (const char* v : {"a", "b", "c"}) mine->Execute(QStringLiteral("insert into R (v) values ('%1')").arg(QLatin1String(v)));
    {
        data::Recordset rs;
        rs.Open(QStringLiteral("select * from R where v = 'a'"), *mine, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
        ASSERT_FALSE(rs.EOF());
    }
    ASSERT_EQ(addField(*other, QStringLiteral("R"), QStringLiteral("n"), QStringLiteral("int null")), 0);
    other->Execute(QStringLiteral("update R set n = 3"));

    data::Recordset rs;
    rs.Open(QStringLiteral("select * from R where v = 'a'"), *mine, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
    ASSERT_FALSE(rs.EOF());
    ASSERT_EQ(rs.Fields().Count(), 2);
    EXPECT_EQ(rs.Fields(QStringLiteral("n")).Value().toInt32(), 3);
    rs.Fields(QStringLiteral("v")).setValue(QStringLiteral("z"));
    rs.Update();
    rs.Close();
    data::Recordset all;
    all.Open(QStringLiteral("select v from R order by v"), *mine);
    QStringList values;
    for (; !all.EOF(); all.MoveNext()) values.push_back(all.Fields(QStringLiteral("v")).Value().toString());
    EXPECT_EQ(values, (QStringList{QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("z")}));
}

// A #name table belongs to the connection that made it: every statement of that connection
// reaches it, no other connection sees it, and nothing of it is kept in the database file.
TEST(EmbeddedSchema, TemporaryTablesBelongToTheirConnection) {
    Server s;
    auto a = s.connect();
    auto b = s.connect();
    const char* const statements[] = {
        "create table #T (a int NULL, c [varchar] (3) NULL CONSTRAINT DF12345_#T_c DEFAULT ('x'))",
        "insert into #T (a) values (1)",
        "insert into #T values (2, 'y')",
        "update #T set a = 3 where a = 2",
        "alter table #T add n [numeric] (5,2) NULL",
        "insert into dbo.#T (a, n) values (4, 1.005)",
        "delete from #T where a = 1",
        "create table #K ([id] [numeric] (18,0) IDENTITY (1, 1) NOT NULL, v int NULL)",
        "ALTER TABLE [dbo].[#K] WITH NOCHECK ADD CONSTRAINT [PK12345_#K] PRIMARY KEY NONCLUSTERED ( [id] ) ON [PRIMARY]",
        "insert into #K (v) values (7)",
        "create index IX_#K on #K (v)",
    };
    for (const char* sql : statements) EXPECT_EQ(errorOf(*a, QString::fromLatin1(sql)), 0) << sql;
    EXPECT_EQ(scalar(*a, QStringLiteral("select count(*) from #T")).toInt32(), 2);
    EXPECT_EQ(scalar(*a, QStringLiteral("select c from #T where a = 3")).toString(), QStringLiteral("y"));
    EXPECT_EQ(scalar(*a, QStringLiteral("select c from #T where a = 4 and n = 1.01")).toString(), QStringLiteral("x"));
    EXPECT_EQ(errorOf(*a, QStringLiteral("insert into #T (c) values ('abcd')")), 8152);
    EXPECT_EQ(scalar(*a, QStringLiteral("select id from [dbo].[#K] where v = 7")).toInt32(), 1);
    {
        data::Recordset rs;
        rs.Open(QStringLiteral("select * from #T where a = 3"), *a, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
        rs.Fields(QStringLiteral("c")).setValue(QStringLiteral("z"));
        rs.Update();
    }
    EXPECT_EQ(scalar(*a, QStringLiteral("select c from #T where a = 3")).toString(), QStringLiteral("z"));
    auto columns = a->Execute(QStringLiteral("sp_columns @table_name = '#K'"));
    ASSERT_FALSE(columns.EOF());
    EXPECT_EQ(columns.Fields(QStringLiteral("TYPE_NAME")).Value().toString(), QStringLiteral("numeric() identity"));
    auto help = a->Execute(QStringLiteral("sp_help #K"));
    for (int i = 0; i < 8; ++i) help = help.NextRecordset();
    EXPECT_EQ(help.Fields(QStringLiteral("constraint_name")).Value().toString(), QStringLiteral("PK12345_#K"));

    // Another connection has its own #T, and does not see the first one's #K.
    QString text;
    EXPECT_EQ(errorOf(*b, QStringLiteral("select * from #T"), &text), 208);
    EXPECT_EQ(text, QStringLiteral("Invalid object name '#T'."));
    EXPECT_EQ(errorOf(*b, QStringLiteral("create table #T (z int NULL)")), 0);
    EXPECT_EQ(errorOf(*b, QStringLiteral("insert into #K (v) values (1)")), 208);
    EXPECT_EQ(scalar(*a, QStringLiteral("select count(*) from #T")).toInt32(), 2);
    EXPECT_EQ(rawText(s.file(QStringLiteral("Velmora")), QStringLiteral("select count(*) from sqlite_master where name like '%#%'")),
              QStringLiteral("0"));

    EXPECT_EQ(errorOf(*a, QStringLiteral("drop table #T")), 0);
    EXPECT_EQ(errorOf(*a, QStringLiteral("select * from #T")), 208);
    EXPECT_EQ(errorOf(*a, QStringLiteral("create table ##G (a int)")), 50000) << "global temporary tables are not kept";
    a->Close();
    a = s.connect();
    EXPECT_EQ(errorOf(*a, QStringLiteral("select * from #K")), 208) << "gone with its connection";
}
