// SQL Server's meaning on the embedded engine: text comparison, dates, refused values,
// money, and the server's error numbers.
#include <gtest/gtest.h>

#include "data/embedded/translate/semantics.h"
#include "embedded_test_helpers.h"
#include "platform/clock.h"

using namespace embeddedtest;

namespace {

int cmp(const char* a, const char* b) {
    return data::embedded::compareText(a, static_cast<int>(strlen(a)), b, static_cast<int>(strlen(b)));
}

void staging(data::Connection& c) {
    c.Execute(QStringLiteral(" create table Clientes ( NumRegisto numeric (18,0) identity (1,1) not null )"));
    c.Execute(QStringLiteral(" alter table Clientes add Codigo varchar(10) null "));
    c.Execute(QStringLiteral(" alter table Clientes add Status varchar(3) null "));
    c.Execute(QStringLiteral(" alter table Clientes add Activo smallint null "));
    c.Execute(QStringLiteral(" alter table Clientes add PVP money null "));
    c.Execute(QStringLiteral(" alter table Clientes add Datasys datetime null "));
}

}  // namespace

TEST(EmbeddedSemantics, TextComparesWithoutCaseAndTrailingBlanks) {
    EXPECT_EQ(cmp("abc", "ABC"), 0);
    EXPECT_EQ(cmp("abc  ", "abc"), 0);
    EXPECT_LT(cmp("abc", "abd"), 0);
    EXPECT_LT(cmp(" abc", "abc"), 0) << "leading blanks count";
    EXPECT_EQ(cmp("Ação", "AÇÃO"), 0);
    EXPECT_LT(cmp("a", "B"), 0);
    EXPECT_EQ(cmp("2024-01-31", "2024-01-31 00:00:00.000"), 0);
    EXPECT_LT(cmp("2024-01-31", "2024-01-31 10:00:00.000"), 0);
    EXPECT_GT(cmp("2024-02-01", "2024-01-31 23:59:59.997"), 0);

    Server s;
    auto c = s.connect();
    staging(*c);
    c->Execute(QStringLiteral("insert into Clientes (Codigo, Status) values ('abc  ', 'n')"));
    c->Execute(QStringLiteral("insert into Clientes (Codigo, Status) values ('B', 'A')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Codigo = 'ABC'")).toInt32(), 1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Status='N'")).toInt32(), 1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Codigo <> 'abc'")).toInt32(), 1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Codigo >= 'b'")).toInt32(), 1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Status in ('a','x')")).toInt32(), 1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select Codigo from Clientes order by Codigo")).toString(), QStringLiteral("abc  "));
    c->Execute(QStringLiteral("insert into Clientes (Codigo, Status) values ('ABC', 'x')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from (select Codigo from Clientes group by Codigo)")).toInt32(), 2);
    c->Execute(QStringLiteral("delete Clientes where Status = 'X'"));
    c->Execute(QStringLiteral("Update Clientes Set Status='' Where Status='A'  or Status='E' "));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where isnull(status,'')<>''")).toInt32(), 1);
}

// The run's joins meet keys that differ only by case or trailing blanks (a company postal code
// with a blank after it), and a duplicate that SQL Server folds must not come back twice; the
// columns that take the collation keep their name and type.
TEST(EmbeddedSemantics, JoinsAndDuplicatesFoldAsTheServerDoesWhateverThePlan) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table ja (x varchar(10))"));
    c->Execute(QStringLiteral("create table jb (y varchar(10))"));
    c->Execute(QStringLiteral("insert into ja values ('abc'); insert into ja values ('DEF ')"));
    c->Execute(QStringLiteral("insert into jb values ('ABC'); insert into jb values ('def')"));
    for (const char* join : {"select count(*) from ja a inner join jb b on b.y = a.x",
                             "select count(*) from ja a, jb b where a.x = b.y",
                             "select count(b.y) from ja a left outer join jb b on b.y = a.x"}) {
        EXPECT_EQ(scalar(*c, QString::fromLatin1(join)).toInt32(), 2) << join;
    }
    c->Execute(QStringLiteral("create index ix_jb on jb (y)"));
    c->Execute(QStringLiteral("analyze"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from ja a inner join jb b on b.y = a.x")).toInt32(), 2);

    c->Execute(QStringLiteral("insert into ja values ('a'); insert into ja values ('A  '); insert into ja values (null)"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(distinct x) from ja")).toInt32(), 3);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from (select x from ja union select y from jb) u")).toInt32(), 4);
    auto rs = c->Execute(QStringLiteral("select distinct a.x, x as Outro from ja a where x <> 'abc' order by 1"));
    EXPECT_EQ(rs.Fields(0L).Name(), QStringLiteral("x"));
    EXPECT_EQ(rs.Fields(0L).Type(), 200);
    EXPECT_EQ(rs.Fields(0L).DefinedSize(), 10);
    EXPECT_EQ(rs.Fields(1L).Name(), QStringLiteral("Outro"));
    QStringList rows;
    for (; !rs.EOF(); rs.MoveNext()) rows << rs.Fields(0L).Value().toString().trimmed().toLower();
    EXPECT_EQ(rows, (QStringList{QStringLiteral("a"), QStringLiteral("def")}));
    EXPECT_EQ(scalar(*c, QStringLiteral("select max(x) from ja")).toString(), QStringLiteral("DEF "));
    EXPECT_EQ(scalar(*c, QStringLiteral("select min(x) from ja where x > 'a'")).toString(), QStringLiteral("abc"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(case x when 'def' then 1 end) from ja")).toInt32(), 1);
    c->Execute(QStringLiteral("create view vj as select distinct x from ja where x <> 'ABC  '"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from vj")).toInt32(), 2) << "a, def";
}

// A star whose rows lose their duplicates stands for its columns, each compared as the server
// does, wherever its table lives (a temporary table, another database); the client still sees
// the columns as the table declares them, and a column added since is among them.
TEST(EmbeddedSemantics, AStarWhereDuplicatesAreRemovedFoldsEveryColumnItStandsFor) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table st (k varchar(10), n int)"));
    c->Execute(QStringLiteral("insert into st values ('a', 1); insert into st values ('A ', 1)"));
    auto rs = c->Execute(QStringLiteral("select distinct * from st"));
    EXPECT_EQ(rs.Fields(0L).Name(), QStringLiteral("k"));
    EXPECT_EQ(rs.Fields(0L).Type(), 200);
    EXPECT_EQ(rs.Fields(0L).DefinedSize(), 10);
    EXPECT_EQ(rs.Fields(1L).Name(), QStringLiteral("n"));
    rs.MoveNext();
    EXPECT_TRUE(rs.EOF());
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from (select distinct * from st where k = 'A') q")).toInt32(), 1);

    c->Execute(QStringLiteral("create table #tt (k varchar(10))"));
    c->Execute(QStringLiteral("insert into #tt values ('x'); insert into #tt values ('X  ')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from (select distinct * from #tt) q")).toInt32(), 1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from (select * from #tt union select k from st) u")).toInt32(), 2);

    auto m = s.connect(QStringLiteral("master"));
    m->Execute(QStringLiteral("Create Database Outra"));
    c->Execute(QStringLiteral("create table Outra..ot (k varchar(10))"));
    c->Execute(QStringLiteral("insert into Outra..ot values ('a')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from (select * from Outra..ot union select k from st) u")).toInt32(), 1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from (select distinct o.*, st.k from Outra.dbo.ot o "
                                        "join st on st.k = o.k) q")).toInt32(), 1);

    c->Execute(QStringLiteral("alter table st add m varchar(5)"));
    rs = c->Execute(QStringLiteral("select distinct * from st"));
    EXPECT_EQ(rs.Fields().Count(), 3);
    EXPECT_EQ(rs.Fields(2L).Name(), QStringLiteral("m"));

    c->Execute(QStringLiteral("create table st2 (k varchar(10), n int, m varchar(5))"));
    c->Execute(QStringLiteral("insert into st2 select distinct * from st"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from st2")).toInt32(), 1);
    c->Execute(QStringLiteral("insert into st2 (k, n) select top 1 k, 2 from st order by k"));
    c->Execute(QStringLiteral("delete from st2 where n in (select top 1 n from st2 order by n desc)"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from st2")).toInt32(), 1);

    EXPECT_EQ(errorOf(*c, QStringLiteral("select distinct * from (st join #tt on #tt.k = st.k)")), 50000);
    EXPECT_EQ(errorOf(*c, QStringLiteral("select top 10 percent * from st")), 50000);
}

// Files kept by an earlier build hold indexes in the order it had (accented letters after 'z');
// looked up in the present order they would miss rows.
TEST(EmbeddedSemantics, AnIndexInAnOlderOrderIsRebuiltWhenItsFileIsFirstOpened) {
    Server s;
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(s.file(QStringLiteral("Velmora")).toUtf8().constData(), &db), SQLITE_OK);
        const auto olderOrder = [](void*, int na, const void* a, int nb, const void* b) {
            return QString::fromUtf8(static_cast<const char*>(a), na)
                .compare(QString::fromUtf8(static_cast<const char*>(b), nb), Qt::CaseInsensitive);
        };
        sqlite3_create_collation_v2(db, "TSQL_TEXT", SQLITE_UTF8, nullptr, olderOrder, nullptr);
        const char* older = "create table t (k varchar(10)); create index ix on t (k COLLATE TSQL_TEXT);"
                            "insert into t values ('f'), ('é'), ('e'), ('z'), ('ê'); pragma user_version = 0;";
        EXPECT_EQ(sqlite3_exec(db, older, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    auto c = s.connect();
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from t where k = 'É'")).toInt32(), 1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from t where k between 'e' and 'f'")).toInt32(), 4);
    EXPECT_EQ(scalar(*c, QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select k from t where k > 'e' order by k")).toString(), QStringLiteral("é"));
}

TEST(EmbeddedSemantics, DatesComparedWithDateLiteralsAndTheServerClock) {
    Server s;
    auto c = s.connect();
    staging(*c);
    c->Execute(QStringLiteral("insert into Clientes (Datasys) values ('2024-01-31 10:00:00.000')"));
    c->Execute(QStringLiteral("insert into Clientes (Datasys) values ('2024-02-01')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Datasys>='2024-01-31' and Datasys<='2024-01-31'")).toInt32(),
              0);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Datasys>='2024-01-31' and Datasys<'2024-02-01'")).toInt32(),
              1);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Datasys='2024-02-01 00:00:00'")).toInt32(), 1);
    auto rs = c->Execute(QStringLiteral("select Datasys from Clientes order by Datasys"));
    EXPECT_EQ(rs.Fields(0L).Type(), data::ado::adDBTimeStamp);
    EXPECT_EQ(rs.Fields(0L).Value().toDateTime(), QDateTime(QDate(2024, 1, 31), QTime(10, 0), Qt::UTC));

    platform::setClock([] { return QDateTime(QDate(2023, 5, 6), QTime(7, 8, 9, 10), Qt::UTC); });
    c->Execute(QStringLiteral("insert into Clientes (Codigo, Datasys) values ('now', GetDate())"));
    platform::setClock({});
    EXPECT_EQ(rawText(s.file(QStringLiteral("Velmora")), QStringLiteral("select Datasys from Clientes where Codigo='now'")),
              QStringLiteral("2023-05-06 07:08:09.010"));
    QString text;
    // A day that does not exist is out of range (242); a text that is no date at all, 241.
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (Datasys) values ('2024-13-45')"), &text), 242);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (Datasys) values ('45 tomorrow')"), &text), 241);
}

// A conversion that fails on some row (a text that is no number met by a number, a text that is
// no date met by a datetime) ends the statement with the server's error, and the rows it had
// already changed are as they were; inside a transaction too, which goes on.
TEST(EmbeddedSemantics, AConversionThatFailsOnALaterRowChangesNothing) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table w (id int, a varchar(10), n int, d datetime)"));
    c->Execute(QStringLiteral("insert into w (id, a, n, d) values (1, '5', 1, '20170105'), (2, 'x', 2, NULL), (3, '7', 3, '01/06/2017')"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update w set n = n + 10 where a > 4")), 245);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into w (id, n) select id + 10, a + 1 from w")), 245);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update w set n = 0 where d > a")), 241);
    c->BeginTrans();
    EXPECT_EQ(errorOf(*c, QStringLiteral("delete from w where n = 3 or a = 2")), 245);
    c->CommitTrans();
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from w")).toInt32(), 3);
    EXPECT_EQ(scalar(*c, QStringLiteral("select sum(n) from w")).toInt32(), 6);
    // The days written in SQL Server's other forms are stored as the days they are.
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from w where d in ('2017-01-05', '2017-01-06')")).toInt32(), 2);
}

TEST(EmbeddedSemantics, ValuesThatDoNotFitAreRefusedAndChangeNothing) {
    Server s;
    auto c = s.connect();
    staging(*c);
    c->Execute(QStringLiteral("insert into Clientes (Codigo, Activo) values ('C1', 1)"));
    QString text;
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (Codigo) values ('12345678901')"), &text), 8152);
    EXPECT_EQ(text, QStringLiteral("String or binary data would be truncated."));
    ASSERT_EQ(c->Errors().Count(), 2);
    EXPECT_EQ(c->Errors().Item(0).SQLState(), QStringLiteral("22001"));
    EXPECT_EQ(c->Errors().Item(1).Description(), QStringLiteral("The statement has been terminated."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (Codigo) values ('1234567890   ')")), 0)
        << "blanks beyond the width are no error";
    EXPECT_EQ(scalar(*c, QStringLiteral("select Codigo from Clientes where Codigo like '1234%'")).toString(),
              QStringLiteral("1234567890")) << "and they are not stored";
    c->Execute(QStringLiteral("update Clientes set Status = 'E   ' where Codigo like '1234%'"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select Status from Clientes where Codigo like '1234%'")).toString(), QStringLiteral("E  "));
    c->Execute(QStringLiteral("create table Fixo (c char(4))"));
    c->Execute(QStringLiteral("insert into Fixo values ('ab')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select c from Fixo")).toString(), QStringLiteral("ab  ")) << "char(n) is filled";
    c->Execute(QStringLiteral("delete from Fixo"));
    c->Execute(QStringLiteral("insert into Fixo values ('Aç')"));
    c->Execute(QStringLiteral("create table FixoN (c nchar(5))"));
    c->Execute(QStringLiteral("insert into FixoN values (N'çã€')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select c from Fixo")).toString(), QStringLiteral("Aç  "))
        << "the width counts characters, not bytes";
    EXPECT_EQ(scalar(*c, QStringLiteral("select c from FixoN")).toString(), QStringLiteral("çã€  "));
    c->Execute(QStringLiteral("delete from Fixo"));
    c->Execute(QStringLiteral("insert into Fixo values ('ab')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes")).toInt32(), 2);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update Clientes set Codigo = Codigo + 'XXXXXXXXXXX'")), 8152);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update Clientes set Codigo = 'ABCDEFGHIJKL' where Codigo = 'C1'")), 8152);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Codigo = 'C1'")).toInt32(), 1);

    EXPECT_EQ(errorOf(*c, QStringLiteral("update Clientes set Activo = 40000"), &text), 220);
    EXPECT_EQ(text, QStringLiteral("Arithmetic overflow error for data type smallint, value = 40000."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (Activo) values (-32769)")), 220);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (Activo) values (-32768)")), 0);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (Activo) values ('abc')"), &text), 245);
    EXPECT_EQ(scalar(*c, QStringLiteral("select sum(Activo) from Clientes")).toInt32(), 1 - 32768);

    // Inside a transaction only the refused statement is undone.
    c->BeginTrans();
    c->Execute(QStringLiteral("insert into Clientes (Codigo) values ('T1')"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (Codigo) values ('TOO LONG FOR IT')")), 8152);
    c->CommitTrans();
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Clientes where Codigo='T1'")).toInt32(), 1);
}

TEST(EmbeddedSemantics, MoneyKeepsFourDecimalsExactly) {
    Server s;
    auto c = s.connect();
    staging(*c);
    c->Execute(QStringLiteral("insert into Clientes (Codigo, PVP) values ('a', 0.1)"));
    c->Execute(QStringLiteral("insert into Clientes (Codigo, PVP) values ('b', 1234567.8912)"));
    c->Execute(QStringLiteral("insert into Clientes (Codigo, PVP) values ('c', 12)"));
    auto rs = c->Execute(QStringLiteral("select PVP from Clientes order by Codigo"));
    EXPECT_EQ(rs.Fields(0L).Type(), data::ado::adCurrency);
    EXPECT_EQ(rs.Fields(0L).Value().toCurrency(), *data::Currency::parse(QStringLiteral("0.1")));
    rs.MoveNext();
    EXPECT_EQ(rs.Fields(0L).Value().toCurrency(), *data::Currency::parse(QStringLiteral("1234567.8912")));
    rs.MoveNext();
    EXPECT_EQ(rs.Fields(0L).Value().toCurrency(), data::Currency::fromUnits(12));
    // Stored as the plain amount, readable by any SQLite tool.
    EXPECT_EQ(rawText(s.file(QStringLiteral("Velmora")), QStringLiteral("select typeof(PVP) from Clientes where Codigo='c'")),
              QStringLiteral("integer"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select sum(PVP) from Clientes")).toDouble(), 1234579.9912);

    QString text;
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (PVP) values ('abc')"), &text), 235);
}

TEST(EmbeddedSemantics, ServerErrorNumbers) {
    Server s;
    auto c = s.connect();
    staging(*c);
    QString text;
    EXPECT_EQ(errorOf(*c, QStringLiteral("select * from Nada"), &text), 208);
    EXPECT_EQ(text, QStringLiteral("Invalid object name 'Nada'."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("select Nada from Clientes"), &text), 207);
    EXPECT_EQ(text, QStringLiteral("Invalid column name 'Nada'."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("select * from Nada..Clientes"), &text), 911);
    EXPECT_EQ(errorOf(*c, QStringLiteral("create table T (a int, A varchar(3))"), &text), 2705);
    EXPECT_EQ(errorOf(*c, QStringLiteral("selec 1"), &text), 102);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Clientes (Codigo) values ('unclosed)"), &text), 105);

    auto m = s.connect(QStringLiteral("master"));
    EXPECT_EQ(errorOf(*m, QStringLiteral("Create Database Velmora"), &text), 1801);
    EXPECT_EQ(text, QStringLiteral("Database 'Velmora' already exists. Choose a different database name."));
    EXPECT_EQ(errorOf(*m, QStringLiteral("Create Database VELMORA")), 1801) << "names without case";
    EXPECT_EQ(c->Errors().Count(), 1);
    EXPECT_EQ(m->Errors().Item(0).Number(), 1801);
}

// An update is checked and fitted column by column, for the columns it sets, and a table changed
// since keeps the rules of every column, old and new.
TEST(EmbeddedSemantics, UpdatesAreCheckedAndFittedForEachColumnTheySet) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table W (a varchar(3) null, b smallint null, f char(4) null, d int null)"));
    c->Execute(QStringLiteral("insert into W (a, b, f, d) values ('x', 1, 'y', 1)"));
    auto row = [&] {
        return scalar(*c, QStringLiteral("select a + '|' + cast(b as varchar(6)) + '|' + f + '|' + cast(d as varchar(6)) "
                                         "from W"))
            .toString();
    };
    EXPECT_EQ(row(), QStringLiteral("x|1|y   |1"));
    c->Execute(QStringLiteral("update W set d = 5"));
    c->Execute(QStringLiteral("update W set a = 'abc   ', b = 7"));
    EXPECT_EQ(row(), QStringLiteral("abc|7|y   |5"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update W set a = 'abcd', b = 2")), 8152);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update W set f = 'z', b = 40000")), 220);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update W set b = 3, d = 9, a = 'wxyz'")), 8152);
    EXPECT_EQ(row(), QStringLiteral("abc|7|y   |5")) << "a refused update changes no column";
    c->Execute(QStringLiteral("update W set f = 'zé'"));
    EXPECT_EQ(row(), QStringLiteral("abc|7|zé  |5"));

    c->Execute(QStringLiteral("alter table W add e varchar(2) null"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update W set e = 'long'")), 8152);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update W set a = 'abcd'")), 8152);
    c->Execute(QStringLiteral("update W set e = 'ok  ', a = 'q'"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select e + '|' + a from W")).toString(), QStringLiteral("ok|q"));
}

// UPDATE and DELETE with a FROM list of their own: the target named there, by its name or an
// alias, is the row written; rows the joins do not reach stay; a value that does not fit its
// column is refused as in a plain UPDATE.
TEST(EmbeddedSemantics, UpdateAndDeleteWithAFromListWriteTheRowsItJoins) {
    Server s;
    auto c = s.connect();
    for (const char* sql : {"create table P (k int, v varchar(3) null)", "create table Q (k int, w varchar(5))",
                            "insert into P values (1, 'a')", "insert into P values (2, 'b')", "insert into P values (3, 'c')",
                            "insert into Q values (1, 'x')", "insert into Q values (3, 'zz')"}) {
        ASSERT_EQ(errorOf(*c, QString::fromLatin1(sql)), 0) << sql;
    }
    auto rows = [&] {
        QStringList out;
        data::Recordset rs;
        rs.Open(QStringLiteral("select cast(k as varchar(3)) + v from P order by k"), *c);
        while (!rs.EOF()) {
            out << rs.Fields(0L).Value().toString();
            rs.MoveNext();
        }
        return out.join(u',');
    };
    EXPECT_EQ(errorOf(*c, QStringLiteral("update P set v = Q.w from P join Q on Q.k = P.k where Q.w <> 'x'")), 0);
    EXPECT_EQ(rows(), QStringLiteral("1a,2b,3zz"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update p set v = substring(upper(q.w), 1, 1) + p.v from P p inner join Q q on q.k = p.k")),
              0);
    EXPECT_EQ(rows(), QStringLiteral("1Xa,2b,3Zzz"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update P set v = Q.w + Q.w from P, Q where Q.k = P.k")), 8152);
    EXPECT_EQ(rows(), QStringLiteral("1Xa,2b,3Zzz")) << "the refused update changed nothing";
    long affected = 0;
    c->Execute(QStringLiteral("update P set v = 'n' from P join Q on Q.k = P.k"), &affected);
    EXPECT_EQ(affected, 2);
    EXPECT_EQ(rows(), QStringLiteral("1n,2b,3n"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update P set v = x.w from (select k, w from Q) P2 join Q x on x.k = P2.k "
                                         "where x.k = P.k and x.w = 'x'")),
              0);
    EXPECT_EQ(rows(), QStringLiteral("1x,2b,3n")) << "a subquery's alias is no target";
    EXPECT_EQ(errorOf(*c, QStringLiteral("delete p from P p left join Q on Q.k = p.k where Q.k is null")), 0);
    EXPECT_EQ(rows(), QStringLiteral("1x,3n"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("delete from P from Q where Q.k = P.k and Q.w = 'x'")), 0);
    EXPECT_EQ(rows(), QStringLiteral("3n"));
}

// The checks and fittings are made when a table is first written after a change, inside
// whatever transaction is open; a rollback must not leave the table with the old ones.
TEST(EmbeddedSemantics, ARolledBackWriteLeavesTheTablesRulesWhole) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table R (a varchar(3) null, b smallint null)"));
    c->Execute(QStringLiteral("insert into R (a, b) values ('x', 1)"));
    c->Execute(QStringLiteral("alter table R add e varchar(2) null"));
    // The first write after the change is refused, and its transaction with it.
    EXPECT_EQ(errorOf(*c, QStringLiteral("update R set b = 40000")), 220);
    c->Execute(QStringLiteral("update R set e = 'ok   '"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select e + '|' from R")).toString(), QStringLiteral("ok|"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update R set e = 'too long'")), 8152);

    c->Execute(QStringLiteral("alter table R add g char(3) null"));
    c->BeginTrans();
    c->Execute(QStringLiteral("insert into R (a, g) values ('y', 'z')"));
    c->RollbackTrans();
    c->Execute(QStringLiteral("insert into R (a, g, e) values ('w', 'v', 'u    ')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select g + '.' + e + '|' from R where a = 'w'")).toString(), QStringLiteral("v  .u |"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into R (g) values ('four')")), 8152);
}
