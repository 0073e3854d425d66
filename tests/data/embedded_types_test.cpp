// SQL Server column types as fields: ADO's type numbers, sizes and the values they hand out;
// transactions and the statement time-out.
#include <gtest/gtest.h>

#include "data/embedded/translate/sqltype.h"
#include "embedded_test_helpers.h"

using namespace embeddedtest;
namespace ado = data::ado;

TEST(EmbeddedTypes, FieldsCarryAdoTypesSizesAndValues) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral(
        "create table [Tipos] ([i] int, [s] smallint, [t] tinyint, [b] bigint, [bit] bit, [m] money, [n] numeric(10,2), "
        "[f] float, [r] real, [d] datetime, [vc] varchar(20), [c] char(4), [tx] text, [nv] nvarchar(30), [nt] ntext, "
        "[im] image, [vb] varbinary(8), [u] varchar)"));
    c->Execute(QStringLiteral("insert into Tipos values (2147483647, -5, 255, 9007199254740993, 1, 922337203685.4775, "
                              "12.345, 0.5, 1.5, '2024-02-29 23:59:59.997', 'Ação', 'ab', 'long', N'wide', N'wider', "
                              "x'00ff', x'01', 'z')"));
    auto rs = c->Execute(QStringLiteral("select * from Tipos"));
    struct Expect {
        const char* name;
        int type;
        long size;
    };
    const Expect expected[] = {{"i", ado::adInteger, 4},
                               {"s", ado::adSmallInt, 2},
                               {"t", ado::adUnsignedTinyInt, 1},
                               {"b", ado::adBigInt, 8},
                               {"bit", ado::adBoolean, 2},
                               {"m", ado::adCurrency, 8},
                               {"n", ado::adNumeric, 19},
                               {"f", ado::adDouble, 8},
                               {"r", ado::adSingle, 4},
                               {"d", ado::adDBTimeStamp, 16},
                               {"vc", ado::adVarChar, 20},
                               {"c", ado::adChar, 4},
                               {"tx", ado::adLongVarChar, 2147483647},
                               {"nv", ado::adVarWChar, 30},
                               {"nt", ado::adLongVarWChar, 1073741823},
                               {"im", ado::adLongVarBinary, 2147483647},
                               {"vb", ado::adVarBinary, 8},
                               {"u", ado::adVarChar, 1}};
    ASSERT_EQ(rs.Fields().Count(), static_cast<long>(std::size(expected)));
    for (const auto& e : expected) {
        const auto f = rs.Fields(QString::fromLatin1(e.name));
        EXPECT_EQ(f.Type(), e.type) << e.name;
        EXPECT_EQ(f.DefinedSize(), e.size) << e.name;
    }
    EXPECT_EQ(rs.Fields(QStringLiteral("i")).Value().toInt32(), 2147483647);
    EXPECT_EQ(rs.Fields(QStringLiteral("b")).Value().toInt64(), 9007199254740993LL) << "64-bit integers exactly";
    EXPECT_EQ(rs.Fields(QStringLiteral("bit")).Value().type(), data::Variant::Type::Boolean);
    EXPECT_EQ(rs.Fields(QStringLiteral("m")).Value().toCurrency(), *data::Currency::parse(QStringLiteral("922337203685.4775")));
    EXPECT_EQ(rs.Fields(QStringLiteral("n")).Value().toCurrency(), *data::Currency::parse(QStringLiteral("12.35")))
        << "numeric(10,2) keeps two decimals";
    EXPECT_EQ(rs.Fields(QStringLiteral("d")).Value().toDateTime(),
              QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 997), Qt::UTC));
    EXPECT_EQ(rs.Fields(QStringLiteral("vc")).Value().toString(), QStringLiteral("Ação"));
    EXPECT_EQ(rs.Fields(QStringLiteral("vc")).ActualSize(), 4);
    EXPECT_EQ(rs.Fields(QStringLiteral("nv")).ActualSize(), 8) << "wide characters count two bytes";
    EXPECT_EQ(rs.Fields(QStringLiteral("im")).Value().toBytes(), QByteArray("\x00\xff", 2));
    // A varchar without a length is one character wide, as SQL Server makes it.
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Tipos (u) values ('zz')")), 8152);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Tipos (t) values (256)")), 220);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Tipos (i) values (2147483648)")), 8115);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Tipos (n) values (123456789)")), 8115);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into Tipos (vb) values (x'010203040506070809')")), 8152);

    // Expressions take their type from their values.
    auto e = c->Execute(QStringLiteral("select count(*) as n, isnull(vc,'') as v, 1.5 as f from Tipos"));
    EXPECT_EQ(e.Fields(QStringLiteral("n")).Type(), ado::adInteger);
    EXPECT_EQ(e.Fields(QStringLiteral("v")).Type(), ado::adVarChar);
    EXPECT_EQ(e.Fields(QStringLiteral("f")).Type(), ado::adDouble);
}

TEST(EmbeddedTypes, TransactionsAndTheStatementTimeOut) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table T (a int)"));
    EXPECT_EQ(c->BeginTrans(), 1);
    c->Execute(QStringLiteral("insert into T values (1)"));
    c->RollbackTrans();
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from T")).toInt32(), 0);
    c->BeginTrans();
    EXPECT_THROW(c->BeginTrans(), data::DbError);
    c->Execute(QStringLiteral("insert into T values (2)"));
    c->CommitTrans();
    EXPECT_THROW(c->CommitTrans(), data::DbError);
    EXPECT_THROW(c->RollbackTrans(), data::DbError);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from T")).toInt32(), 1);

    // A statement that runs past the command time-out is stopped.
    c->setCommandTimeout(1);
    QString text;
    EXPECT_EQ(errorOf(*c,
                      QStringLiteral("with recursive n(x) as (select 1 union all select x + 1 from n) "
                                     "select count(*) from n where x < 0"),
                      &text),
              -2147217871);
    EXPECT_EQ(text, QStringLiteral("Query timeout expired"));
    EXPECT_EQ(c->Errors().Item(0).SQLState(), QStringLiteral("HYT00"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from T")).toInt32(), 1) << "the connection goes on";
}

// The date-time texts the engine writes are read without the general pattern; every text must
// read as the pattern reads it, the near misses included.
TEST(EmbeddedTypes, DateTimeTextsReadAsThePatternReadsThem) {
    QStringList texts = {
        QStringLiteral("2017-03-07"),          QStringLiteral("2017-03-07 14:05:09"),  QStringLiteral("2017-03-07 14:05:09.120"),
        QStringLiteral("2017-03-07T14:05:09"), QStringLiteral("2017-02-30"),           QStringLiteral("2016-02-29 23:59:59.999"),
        QStringLiteral("0000-01-01"),          QStringLiteral("9999-12-31 23:59:59.997"), QStringLiteral("2017-03-07 24:00:00"),
        QStringLiteral("2017-03-07 14:60:00"), QStringLiteral("2017-03-07 14:05:61.000"), QStringLiteral("2017-13-07"),
        QStringLiteral("2017/03/07"),          QStringLiteral("2017-03-07x14:05:09"),  QStringLiteral("2017-03-07 14:05:09,120"),
        QStringLiteral(" 2017-03-07"),         QStringLiteral("2017-3-7"),             QStringLiteral("2017-03-07 4:05:09"),
        QStringLiteral("2017-03-07 14:05"),    QStringLiteral("2017-03-07 14:05:09.1"), QStringLiteral("２０１７-03-07"),
        QStringLiteral("2017-0a-07"),          QStringLiteral("-017-03-07"),           QStringLiteral(""),
    };
    // Every position of the written forms holding a character it must not.
    const QString full = QStringLiteral("2017-03-07 14:05:09.120");
    for (const QString& base : {full.left(10), full.left(19), full}) {
        for (int i = 0; i < base.size(); ++i) {
            for (const QChar c : {QChar(u'x'), QChar(u' '), QChar(u'-'), QChar(u'9'), QChar(u'0'), QChar(u'T')}) {
                QString t = base;
                t[i] = c;
                texts << t;
            }
        }
    }
    for (const QString& t : texts) {
        EXPECT_EQ(data::embedded::parseDateTime(t), data::embedded::parseDateTimeByPattern(t)) << t.toStdString();
    }
}

namespace {

// A column's description by sp_columns and by a recordset's field, for comparing two forms of
// one type.
QStringList described(data::Connection& c, const QString& table) {
    auto col = c.Execute(QStringLiteral("sp_columns @table_name = '%1'").arg(table));
    QStringList out;
    for (const char* f : {"TYPE_NAME", "PRECISION", "LENGTH", "SCALE", "NULLABLE"}) {
        const data::Variant v = col.Fields(QString::fromLatin1(f)).Value();
        out << (v.isNull() ? QStringLiteral("NULL") : v.toString());
    }
    const auto field = c.Execute(QStringLiteral("select c from ") + table).Fields(0L);
    out << QString::number(field.Type()) << QString::number(field.DefinedSize()) << QString::number(field.Precision())
        << QString::number(field.NumericScale());
    return out;
}

}  // namespace

// SQL Server reads a type bracketed, with blanks before and inside its parentheses, and with
// identity in each of its forms; the column is then the same as the plain form's.
TEST(EmbeddedTypes, TypeNamesInEveryFormSqlServerReads) {
    Server s;
    auto c = s.connect();
    const std::pair<const char*, const char*> forms[] = {
        {"varchar(3)", "[varchar] (3)"},   {"varchar(3)", "varchar (3)"},        {"char(4)", "[char](4)"},
        {"nvarchar(30)", "[nvarchar] ( 30 )"}, {"varchar(max)", "[varchar] (max)"}, {"numeric(5,2)", "[numeric] (5,2)"},
        {"numeric(5,2)", "numeric ( 5 , 2 )"}, {"decimal(10,3)", "[decimal](10, 3)"}, {"smallint", "[smallint]"},
        {"money", "[money]"},               {"datetime", "[datetime]"},           {"image", "[image]"},
    };
    int k = 0;
    for (const auto& [plain, written] : forms) {
        const QString p = QStringLiteral("p%1").arg(k);
        const QString w = QStringLiteral("w%1").arg(k++);
        c->Execute(QStringLiteral("create table %1 (c %2 NULL)").arg(p, QLatin1String(plain)));
        c->Execute(QStringLiteral("create table %1 ([c] %2 NULL)").arg(w, QLatin1String(written)));
        EXPECT_EQ(described(*c, w), described(*c, p)) << written;
    }

    // The refusals of the bracketed types are those of the plain ones.
    c->Execute(QStringLiteral("create table bt ([c] [varchar] (3) NULL, [s] [smallint] NULL, [n] [numeric] (5,2) NULL)"));
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into bt (c) values ('abcd')")), 8152);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into bt values (NULL, 99999, NULL)")), 220);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into bt (n) values (1234.5)")), 8115);

    // Identity: on the integer types and on numeric without decimals, first value the seed.
    const std::pair<const char*, long> identities[] = {
        {"[numeric] (18,0) IDENTITY (1, 1) NOT NULL", 1}, {"numeric(18,0) identity(1,1) not null", 1},
        {"[int] IDENTITY", 1},          {"bigint IDENTITY(5,1)", 5},        {"smallint identity (7, 1)", 7},
        {"[tinyint] IDENTITY", 1},      {"[decimal] (10) IDENTITY", 1},     {"[varchar] (3) IDENTITY (1,1)", 2749},
        {"numeric(10,2) IDENTITY", 2749}, {"[money] IDENTITY(1,1)", 2749},
    };
    for (const auto& [type, expected] : identities) {
        const QString t = QStringLiteral("i%1").arg(k++);
        const long error = errorOf(*c, QStringLiteral("create table %1 ([id] %2, v int NULL)").arg(t, QLatin1String(type)));
        if (expected == 2749) {
            EXPECT_EQ(error, 2749) << type;
            continue;
        }
        ASSERT_EQ(error, 0) << type;
        c->Execute(QStringLiteral("insert into %1 (v) values (1); insert into %1 (v) values (2)").arg(t));
        EXPECT_EQ(scalar(*c, QStringLiteral("select min(id) from ") + t).toInt64(), expected) << type;
        EXPECT_EQ(scalar(*c, QStringLiteral("select max(id) from ") + t).toInt64(), expected + 1) << type;
    }
}

// numeric(p,s) keeps its value rounded to its scale, the half away from zero, and refuses what
// needs more digits than its precision, however the value is written.
TEST(EmbeddedTypes, NumericRoundsToItsScaleAndRefusesBeyondItsPrecision) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table nr (n52 numeric(5,2) NULL, n50 [numeric] (5,0) NULL, d83 decimal (8, 3) NULL, "
                              "n206 numeric(20,6) NULL)"));
    struct Case {
        const char* column;
        double value;
        const char* stored;  // nullptr: refused with 8115
    };
    const Case cases[] = {
        {"n52", 1.005, "1.01"},   {"n52", -1.005, "-1.01"},  {"n52", 999.994, "999.99"}, {"n52", 999.995, nullptr},
        {"n52", 1234.5, nullptr}, {"n50", 2.5, "3"},         {"n50", -2.5, "-3"},        {"n50", 99999.4, "99999"},
        {"n50", 99999.5, nullptr}, {"d83", 2.0005, "2.001"}, {"n206", 1.0000005, "1.000001"},
    };
    // The ways a value reaches a column: INSERT with its columns, INSERT ... SELECT, UPDATE, a
    // parameter and a recordset's new row.
    const std::function<void(const Case&, const QString&)> ways[] = {
        [&](const Case& k, const QString& v) { c->Execute(QStringLiteral("insert into nr (%1) values (%2)").arg(k.column, v)); },
        [&](const Case& k, const QString& v) { c->Execute(QStringLiteral("insert into nr (%1) select %2").arg(k.column, v)); },
        [&](const Case& k, const QString& v) { c->Execute(QStringLiteral("update nr set %1 = %2").arg(k.column, v)); },
        [&](const Case& k, const QString&) {
            data::Command add;
            add.setActiveConnection(c.get());
            add.setCommandText(QStringLiteral("insert into nr (%1) values (?)").arg(k.column));
            add.Parameters().Append(add.CreateParameter(QString(), ado::adDouble, ado::adParamInput, 0, k.value));
            add.Execute();
        },
        [&](const Case& k, const QString&) {
            data::Recordset rs;
            rs.Open(QStringLiteral("select * from nr"), *c, ado::adOpenDynamic, ado::adLockOptimistic);
            rs.AddNew();
            rs.Fields(QString::fromLatin1(k.column)).setValue(k.value);
            rs.Update();
        },
    };
    for (const Case& k : cases) {
        const QString v = QString::number(k.value, 'g', 15);
        for (size_t w = 0; w < std::size(ways); ++w) {
            SCOPED_TRACE(QStringLiteral("%1 = %2, way %3").arg(k.column, v).arg(w).toStdString());
            c->Execute(QStringLiteral("delete from nr; insert into nr (n52) values (0)"));
            const long error = errorNumber([&] { ways[w](k, v); });
            if (!k.stored) {
                EXPECT_EQ(error, 8115);
                EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from nr")).toInt32(), 1) << "nothing changed";
                EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from nr where n52 = 0 and n50 is null")).toInt32(), 1);
                continue;
            }
            EXPECT_EQ(error, 0);
            EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from nr where %1 = %2").arg(k.column, QLatin1String(k.stored)))
                          .toInt32(),
                      1);
        }
    }
}

// Whole numbers come back typed as their column declares them, whether they are read straight
// from the stored integer or decoded: a program's Variant arithmetic and text depend on it.
TEST(EmbeddedTypes, WholeNumbersKeepTheirColumnsTypes) {
    using T = data::Variant::Type;
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table W (k numeric(18,0) identity(1,1) not null, s smallint null, t tinyint null, "
                              "i int null, b bigint null, n numeric(9,0) null)"));
    c->Execute(QStringLiteral("insert into W (s, t, i, b, n) values (-5, 200, 70000, 5, 123456789)"));
    c->Execute(QStringLiteral("insert into W (s, t, i, b, n) values (null, null, null, null, null)"));
    data::Recordset rs;
    rs.Open(QStringLiteral("select k, s, t, i, b, n, s + 1 as e from W order by k"), *c, data::ado::adOpenStatic,
            data::ado::adLockOptimistic);
    const std::pair<const char*, T> first[] = {{"k", T::LongLong}, {"s", T::Integer}, {"t", T::Integer}, {"i", T::Long},
                                               {"b", T::LongLong}, {"n", T::LongLong}};
    for (const auto& [name, type] : first) EXPECT_EQ(rs.Fields(QString::fromLatin1(name)).Value().type(), type) << name;
    EXPECT_EQ(rs.Fields(QStringLiteral("i")).Value().toInt32(), 70000);
    EXPECT_EQ(rs.Fields(QStringLiteral("t")).Value().toInt32(), 200);
    rs.MoveNext();
    for (const char* name : {"s", "t", "i", "b", "n"}) EXPECT_TRUE(rs.Fields(QString::fromLatin1(name)).Value().isNull()) << name;
}
