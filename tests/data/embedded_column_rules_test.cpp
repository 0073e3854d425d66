// A column's rules (refused values, blanks dropped beyond the width, char(n) filled) are
// written into the INSERT ... VALUES and UPDATE statements themselves, while any other write
// (INSERT ... SELECT, INSERT without a column list) is checked by the table's triggers. Both
// ways must store and refuse exactly alike, whatever a schema change or a rollback did before.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iomanip>
#include <random>
#include <string>

#include "data/embedded/translate/columnrules.h"
#include "data/embedded/translate/tabledef.h"
#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

const QStringList kColumns = {
    QStringLiteral("c char(4)"),       QStringLiteral("v varchar(5)"),  QStringLiteral("n nchar(3)"),
    QStringLiteral("nv nvarchar(4)"),  QStringLiteral("b varbinary(3)"), QStringLiteral("ti tinyint"),
    QStringLiteral("si smallint"),     QStringLiteral("i int"),         QStringLiteral("bi bigint"),
    QStringLiteral("bt bit"),          QStringLiteral("m money"),       QStringLiteral("sm smallmoney"),
    QStringLiteral("d numeric(5,2)"),  QStringLiteral("f float"),       QStringLiteral("r real"),
    QStringLiteral("dt datetime"),     QStringLiteral("sd smalldatetime"), QStringLiteral("tx text"),
};

const QStringList kValues = {
    QStringLiteral("'ab'"),        QStringLiteral("'abcde'"),      QStringLiteral("'abcdef'"),
    QStringLiteral("'abcd      '"), QStringLiteral("'çã€'"),       QStringLiteral("'çã€ñ'"),
    QStringLiteral("''"),          QStringLiteral("'12'"),         QStringLiteral("' 12 '"),
    QStringLiteral("'12abc'"),     QStringLiteral("'3.0'"),        QStringLiteral("'1e3'"),
    QStringLiteral("12"),          QStringLiteral("12.0"),         QStringLiteral("12.5"),
    QStringLiteral("0.125"),       QStringLiteral("40000"),        QStringLiteral("-32769"),
    QStringLiteral("256"),         QStringLiteral("-1"),           QStringLiteral("2147483648"),
    QStringLiteral("-2147483649"), QStringLiteral("1e20"),         QStringLiteral("922337203685477"),
    QStringLiteral("922337203685478"), QStringLiteral("214748.3647"), QStringLiteral("214748.3648"),
    QStringLiteral("999.99"),      QStringLiteral("1000"),         QStringLiteral("-999.994"),
    QStringLiteral("'2017-03-07'"), QStringLiteral("'2017-03-07 14:05:09.120'"), QStringLiteral("'2017-02-30'"),
    QStringLiteral("'123456'"),    QStringLiteral("123456"),       QStringLiteral("1234.5"),
    QStringLiteral("x'0102'"),     QStringLiteral("x'01020304'"),  QStringLiteral("NULL"),
};

// What a write left: the error number, or the stored value as SQLite quotes it.
std::string outcome(data::Connection& c, const QString& write, const QString& table, const QString& column) {
    const long error = errorOf(c, write);
    if (error != 0) return QStringLiteral("error %1").arg(error).toStdString();
    return scalar(c, QStringLiteral("select quote(%1) from %2").arg(column, table)).toString().toStdString();
}

QString columnName(const QString& definition) { return definition.section(u' ', 0, 0); }

}  // namespace

TEST(EmbeddedColumnRules, WrittenRulesStoreAndRefuseAsTheTriggersDo) {
    Server s;
    auto c = s.connect();
    const QString columns = kColumns.join(QStringLiteral(" null, ")) + QStringLiteral(" null");
    c->Execute(QStringLiteral("create table ByTrigger (") + columns + u')');
    c->Execute(QStringLiteral("create table ByValues (") + columns + u')');
    c->Execute(QStringLiteral("create table ByUpdate (") + columns + u')');
    int compared = 0;
    for (const QString& definition : kColumns) {
        const QString col = columnName(definition);
        for (const QString& value : kValues) {
            c->Execute(QStringLiteral("delete from ByTrigger"));
            c->Execute(QStringLiteral("delete from ByValues"));
            c->Execute(QStringLiteral("delete from ByUpdate"));
            c->Execute(QStringLiteral("insert into ByUpdate (si) values (1)"));
            const std::string triggered = outcome(
                *c, QStringLiteral("insert into ByTrigger (%1) select %2").arg(col, value), QStringLiteral("ByTrigger"), col);
            const std::string inserted = outcome(
                *c, QStringLiteral("insert into ByValues (%1) values (%2)").arg(col, value), QStringLiteral("ByValues"), col);
            const std::string updated =
                outcome(*c, QStringLiteral("update ByUpdate set %1 = %2").arg(col, value), QStringLiteral("ByUpdate"), col);
            EXPECT_EQ(inserted, triggered) << definition.toStdString() << " <- " << value.toStdString();
            if (col != u"si" || value != u"NULL") {
                EXPECT_EQ(updated, triggered) << "update " << definition.toStdString() << " <- " << value.toStdString();
            }
            ++compared;
        }
    }
    EXPECT_EQ(compared, static_cast<int>(kColumns.size() * kValues.size()));
}

TEST(EmbeddedColumnRules, ErrorTextsNameTheValueAsStored) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table T (si smallint null, i int null, m money null, d numeric(4,1) null)"));
    QString text;
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into T (si) values ('40000')"), &text), 220);
    EXPECT_EQ(text, QStringLiteral("Arithmetic overflow error for data type smallint, value = 40000."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into T (si) values (40000.0)"), &text), 220);
    EXPECT_EQ(text, QStringLiteral("Arithmetic overflow error for data type smallint, value = 40000."))
        << "a whole real is stored, and named, as an integer";
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into T (i) values ('x1')"), &text), 245);
    EXPECT_EQ(text, QStringLiteral("Conversion failed when converting the varchar value 'x1' to data type int."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update T set d = 1000")), 0) << "no row, nothing to refuse";
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into T (d) values (1000)"), &text), 8115);
    EXPECT_EQ(text, QStringLiteral("Arithmetic overflow error converting expression to data type numeric."));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from T")).toInt32(), 0);
}

// A table given triggers by a write of another form keeps them current: after its definition
// changes they refuse by the new one, never by the old.
TEST(EmbeddedColumnRules, TriggersMadeForOtherFormsFollowSchemaChangesAndRollbacks) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table R (a varchar(3) null, b smallint null)"));
    c->Execute(QStringLiteral("insert into R (a, b) select 'x', 1"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into R (a) select 'abcd'")), 8152);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into R (a) values ('abcd')")), 8152);

    c->Execute(QStringLiteral("alter table R alter column a varchar(10) null"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into R (a) values ('abcdefgh')")), 0);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update R set a = 'abcdefghij  ' where b = 1")), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("select a + '|' from R where b = 1")).toString(), QStringLiteral("abcdefghij|"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into R (a) select 'abcdefghijk'")), 8152);

    // Triggers first made inside a transaction that rolls back are made again.
    c->Execute(QStringLiteral("alter table R add g char(3) null"));
    c->BeginTrans();
    c->Execute(QStringLiteral("insert into R (a, g) select 'y', 'z'"));
    c->RollbackTrans();
    c->Execute(QStringLiteral("insert into R (a, g) select 'w', 'v'"));
    c->Execute(QStringLiteral("insert into R (a, g) values ('u', 't')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select g + '.' from R where a = 'w'")).toString(), QStringLiteral("v  ."));
    EXPECT_EQ(scalar(*c, QStringLiteral("select g + '.' from R where a = 'u'")).toString(), QStringLiteral("t  ."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into R (g) select 'four'")), 8152);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update R set g = 'four'")), 8152);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from R")).toInt32(), 4);
}

// The forms that carry their rules, and those that fall back on the triggers, read alike to
// the program: the statements with odd spacing, several rows, functions and subqueries.
TEST(EmbeddedColumnRules, EveryFormOfWriteIsChecked) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table F (k int null, a varchar(3) null, f char(4) null, e varchar(5) default 'x' null)"));
    c->Execute(QStringLiteral("insert into F(k,a)values(1,'ab'),(2,upper('cd'  ))"));
    c->Execute(QStringLiteral("insert into F ( k , f ) values ( 3 , ( select a from F where k = 2 ) )"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select f + '|' from F where k = 3")).toString(), QStringLiteral("CD  |"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into F (k, a) values (4, 'ok'), (5, 'long')")), 8152);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from F where k >= 4")).toInt32(), 0)
        << "a refused row undoes the rows of its statement";
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into F values (6, 'abcd', null, null)")), 8152);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into F (k) values (7)")), 0) << "a default the rules pass";
    EXPECT_EQ(scalar(*c, QStringLiteral("select e from F where k = 7")).toString(), QStringLiteral("x"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update F set a = case when k = 1 then 'abcd' else a end")), 8152);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update F set f = a, a = 'x' where k in (select k from F where k < 3)")), 0);
    EXPECT_EQ(scalar(*c, QStringLiteral("select f + '.' + a + '|' from F where k = 2")).toString(), QStringLiteral("CD  .x|"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("update F set a = F.a + 'yz' from F as G where G.k = F.k")), 0);
    EXPECT_EQ(errorOf(*c, QStringLiteral("update F set a = a + 'zzzz'")), 8152);
    c->Execute(QStringLiteral("create table D (k int null, f char(3) default 'a' null)"));
    c->Execute(QStringLiteral("insert into D (k) values (1)"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select f + '|' from D")).toString(), QStringLiteral("a  |"))
        << "a left-out column's default is filled too";
}

TEST(EmbeddedColumnRules, RecordsetWritesAreCheckedAndFitted) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table W (k int null, a varchar(3) null, f char(4) null, si smallint null)"));
    data::Recordset rs;
    rs.Open(QStringLiteral("select * from W"), *c, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
    rs.AddNew();
    rs.Fields(QStringLiteral("k")).setValue(1);
    rs.Fields(QStringLiteral("a")).setValue(QStringLiteral("ab   "));
    rs.Fields(QStringLiteral("f")).setValue(QStringLiteral("é"));
    rs.Update();
    EXPECT_EQ(rs.Fields(QStringLiteral("f")).Value().toString(), QStringLiteral("é   ")) << "read back as stored";
    EXPECT_EQ(rs.Fields(QStringLiteral("a")).Value().toString(), QStringLiteral("ab "));
    rs.Fields(QStringLiteral("si")).setValue(40000);
    EXPECT_EQ(errorNumber([&] { rs.Update(); }), 220);
    rs.CancelUpdate();
    rs.AddNew();
    rs.Fields(QStringLiteral("a")).setValue(QStringLiteral("abcd"));
    EXPECT_EQ(errorNumber([&] { rs.Update(); }), 8152);
    rs.CancelUpdate();
    rs.Close();
    c->Execute(QStringLiteral("alter table W add g char(2) null"));
    rs.Open(QStringLiteral("select * from W"), *c, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
    rs.Fields(QStringLiteral("g")).setValue(QStringLiteral("x"));
    rs.Update();
    rs.Close();
    EXPECT_EQ(scalar(*c, QStringLiteral("select g + '.' + f + '.' + a + '|' from W")).toString(), QStringLiteral("x .é   .ab |"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from W")).toInt32(), 1);
}

// The row writer binds a value bare, without the rules' call, only where the call would pass it
// on unchanged: for every column kind and the binder's kinds, each value said to pass is
// compared with what the rules make of it, bound as the writer binds it.
TEST(EmbeddedColumnRules, ValuesWrittenBareAreThoseTheRulesPassUnchanged) {
    using data::Currency;
    using data::Variant;
    using namespace data::embedded;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    installColumnRules(db);
    const auto table = TableDefinition::parse(QStringLiteral("create table T (") +
                                              kColumns.join(QStringLiteral(" null, ")) + QStringLiteral(" null)"));
    ASSERT_EQ(table.columns.size(), static_cast<size_t>(kColumns.size()));
    const std::vector<Variant> values = {
        Variant(QStringLiteral("ab")), Variant(QStringLiteral("abc")), Variant(QStringLiteral("abcd")),
        Variant(QStringLiteral("abcde")), Variant(QStringLiteral("abcdef")), Variant(QStringLiteral("abcd  ")),
        Variant(QString(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"))), Variant(QStringLiteral("çã€")),
        Variant(QStringLiteral("\U0001F600ab")), Variant(QStringLiteral("\U0001F600abcd")), Variant(QString("")),
        Variant(QStringLiteral("12")), Variant(QByteArray("abcde")), Variant(std::int16_t{-1}), Variant(std::int32_t{255}),
        Variant(std::int32_t{256}), Variant(std::int32_t{32767}), Variant(std::int32_t{32768}),
        Variant(std::int32_t{-32769}), Variant(std::int64_t{2147483647}), Variant(std::int64_t{2147483648LL}),
        Variant(std::int64_t{-2147483649LL}), Variant(true), Variant(12.5), Variant(1e20),
        Variant(Currency::fromRaw(2147483647)), Variant(Currency::fromRaw(2147483648LL)),
        Variant(Currency::fromRaw(-2147483648LL)), Variant(Currency::min()), Variant(Currency::max()),
        Variant(Currency::fromRaw(123450)), Variant(QDateTime(QDate(2017, 3, 7), QTime(14, 5, 9))), Variant::null(),
    };
    const std::vector<SqlType> binders = {SqlType::parse(QStringLiteral("varchar(10)")), SqlType::parse(QStringLiteral("int")),
                                          SqlType::parse(QStringLiteral("bit")), SqlType::parse(QStringLiteral("money")),
                                          SqlType::parse(QStringLiteral("float"))};
    int bare = 0;
    int called = 0;
    for (const ColumnDef& column : table.columns) {
        std::vector<SqlType> kinds = binders;
        kinds.push_back(column.type);
        const QByteArray sql =
            (QStringLiteral("select quote(?1), quote(") + withColumnRules(QStringLiteral("?1"), column) + u')').toUtf8();
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr), SQLITE_OK) << sql.constData();
        for (const SqlType& binder : kinds) {
            const DirectFit fit(column, binder);
            for (const Variant& v : values) {
                if (!fit.unchanged(v)) {
                    ++called;
                    continue;
                }
                sqlite3_reset(st);
                try {
                    binder.bind(st, 1, v);
                } catch (const data::DbError&) {
                    continue;  // the binder refuses it whichever text is used
                }
                ++bare;
                ASSERT_EQ(sqlite3_step(st), SQLITE_ROW)
                    << sql.constData() << " <- " << v.toString().toStdString() << ": " << sqlite3_errmsg(db);
                EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                             reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
                    << sql.constData() << " bound as " << binder.declared.toStdString();
            }
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    EXPECT_GT(bare, 200);
    EXPECT_GT(called, 200);
}

namespace {

// An amount rounded as SQL Server rounds its written form: the value's 15 significant digits,
// cut at the scale, half away from zero.
double roundedByDigits(double value, int scale) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buffer;
    for (; *p != 'e'; ++p) {
        if (*p != '.') digits += *p;
    }
    const int keep = std::atoi(p + 1) + 1 + scale;
    if (keep >= static_cast<int>(digits.size())) return value;
    if (keep < 0) return 0.0;
    long long kept = keep == 0 ? 0 : std::stoll(digits.substr(0, static_cast<size_t>(keep)));
    if (digits[static_cast<size_t>(keep)] >= '5') ++kept;
    const double r = std::strtod((std::to_string(kept) + "e-" + std::to_string(scale)).c_str(), nullptr);
    return value < 0 ? -r : r;
}

}  // namespace

// Sums and products of amounts carry binary noise; whatever their size, the rounding must give
// the amount the digits give, halves included.
TEST(EmbeddedColumnRules, AmountsRoundAsTheirDigitsSayAtEverySize) {
    std::mt19937_64 random(20261207);
    for (int scale = 0; scale <= 6; ++scale) {
        for (double magnitude = 1.0; magnitude < 1e15; magnitude *= 7.3) {
            for (int k = 0; k < 200; ++k) {
                const double amount = std::floor(std::uniform_real_distribution<double>(0, magnitude)(random)) /
                                      std::pow(10.0, scale);
                const double noise = 1.0 + std::uniform_real_distribution<double>(-4e-16, 4e-16)(random);
                for (const double v : {amount * noise, -amount * noise, amount + 0.5 / std::pow(10.0, scale),
                                       amount * 3.0 / 7.0, amount + 0.1 + 0.2}) {
                    ASSERT_EQ(data::embedded::roundToScale(v, scale), roundedByDigits(v, scale))
                        << "value " << std::setprecision(17) << v << ", scale " << scale;
                }
            }
        }
    }
}
