// Result rows packed straight from SQLite's values hold the very bytes that decoding each value
// into a Variant and packing that would, and a column of unknown type is described by its
// values the same either way. Every value is packed both ways and the two compared byte for byte.

#include <gtest/gtest.h>

#include <QDateTime>
#include <cmath>
#include <limits>
#include <string>
#include <variant>

#include "data/adoconstants.h"
#include "data/embedded/connection/core.h"
#include "data/embedded/translate/sqltype.h"
#include "data/rowset.h"
#include "embedded_test_helpers.h"

using namespace embeddedtest;
using data::Variant;
using data::embedded::SqlType;

namespace {

struct Blob {
    std::string bytes;
};
// A value as SQLite stores it: Null, INTEGER, REAL, TEXT (its UTF-8 bytes) or BLOB.
using Stored = std::variant<std::nullptr_t, std::int64_t, double, std::string, Blob>;

std::string describe(const Stored& v) {
    if (std::holds_alternative<std::nullptr_t>(v)) return "NULL";
    if (const auto* i = std::get_if<std::int64_t>(&v)) return "integer " + std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) return "real " + QString::number(*d, 'g', 17).toStdString();
    if (const auto* t = std::get_if<std::string>(&v)) return "text '" + *t + "'";
    return "blob of " + std::to_string(std::get<Blob>(v).bytes.size()) + " bytes";
}

// The values in a table of an in-memory database, one a row, read back by "select v, NULL":
// the Null after each value marks where the value's packed bytes end.
class Column {
public:
    explicit Column(const std::vector<Stored>& values) : values_(values) {
        sqlite3_open(":memory:", &db_);
        sqlite3_exec(db_, "create table V (v)", nullptr, nullptr, nullptr);
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(db_, "insert into V (v) values (?)", -1, &ins, nullptr);
        for (const Stored& v : values) {
            if (const auto* i = std::get_if<std::int64_t>(&v)) {
                sqlite3_bind_int64(ins, 1, *i);
            } else if (const auto* d = std::get_if<double>(&v)) {
                sqlite3_bind_double(ins, 1, *d);
            } else if (const auto* t = std::get_if<std::string>(&v)) {
                sqlite3_bind_text(ins, 1, t->data(), static_cast<int>(t->size()), SQLITE_TRANSIENT);
            } else if (const auto* b = std::get_if<Blob>(&v)) {
                sqlite3_bind_blob(ins, 1, b->bytes.data(), static_cast<int>(b->bytes.size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_null(ins, 1);
            }
            EXPECT_EQ(sqlite3_step(ins), SQLITE_DONE);
            sqlite3_reset(ins);
        }
        sqlite3_finalize(ins);
    }
    ~Column() { sqlite3_close(db_); }
    Column(const Column&) = delete;
    Column& operator=(const Column&) = delete;

    data::provider::Result packed(const SqlType& type, bool decodedOnly) const {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, "select v, NULL from V order by rowid", -1, &st, nullptr);
        auto r = data::embedded::detail::packRows(st, {type, SqlType()}, decodedOnly);
        sqlite3_finalize(st);
        return r;
    }

    // The packed bytes of each row's value.
    static std::vector<std::string> bytes(const data::provider::RowSet& rows) {
        std::vector<std::string> out;
        std::vector<const char*> at;
        for (size_t i = 0; i < rows.size(); ++i) {
            rows.locate(i, at);
            out.emplace_back(at[0], static_cast<size_t>(at[1] - at[0]));
        }
        return out;
    }

    // Both ways agree on every value and on how the column is described.
    void expectSame(const SqlType& type) const {
        const auto direct = packed(type, false);
        const auto decoded = packed(type, true);
        const auto a = bytes(direct.rows);
        const auto b = bytes(decoded.rows);
        ASSERT_EQ(a.size(), values_.size());
        ASSERT_EQ(b.size(), values_.size());
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i], b[i]) << type.declared.toStdString() << ", " << describe(values_[i]) << ": read back as "
                                  << direct.rows[i][0].toString().toStdString() << " against "
                                  << decoded.rows[i][0].toString().toStdString();
        }
        const auto& c = direct.columns[0];
        const auto& d = decoded.columns[0];
        EXPECT_EQ(c.type, d.type) << type.declared.toStdString();
        EXPECT_EQ(c.definedSize, d.definedSize) << type.declared.toStdString();
        EXPECT_EQ(c.precision, d.precision) << type.declared.toStdString();
        EXPECT_EQ(c.numericScale, d.numericScale) << type.declared.toStdString();
    }

private:
    sqlite3* db_ = nullptr;
    std::vector<Stored> values_;
};

// Each value alone (each a column of its own, so that its own kind describes the column) and
// all of them in one column.
void expectSameEach(const std::vector<Stored>& values, const SqlType& type) {
    for (const Stored& v : values) Column({v}).expectSame(type);
    Column(values).expectSame(type);
}

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

const std::vector<Stored>& numbers() {
    static const std::vector<Stored> v{
        std::int64_t{0}, std::int64_t{1}, std::int64_t{-1}, std::int64_t{42}, kInt32Max, kInt32Max + 1, kInt32Min,
        kInt32Min - 1, std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min(),
        std::int64_t{922337203685477}, std::int64_t{922337203685478}, std::int64_t{-922337203685478},
        0.5, -0.0, 0.0, 1e300, -1e300, 1e-300, 2.5, -2.5, 1.005, 2.345, -2.345, 0.125, -0.125, 0.00005, -0.00005,
        0.00015, 1.23456789, 123456789.98765, 922337203685477.5, 1e15, -1e15,
        std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::denorm_min()};
    return v;
}

}  // namespace

TEST(EmbeddedDirectPack, UnknownTypedValuesPackAsDecoded) {
    const SqlType unknown;
    ASSERT_EQ(unknown.kind, SqlType::Kind::Unknown);
    expectSameEach(numbers(), unknown);
    expectSameEach({nullptr, std::string(), std::string("a"), std::string("abc   "), std::string("   abc"),
                    std::string("0"), std::string(40, 'x'), std::string("tab\there"), std::string("nul\0in", 6),
                    std::string("Jos\xc3\xa9"), std::string("\xe2\x82\xac 5"), std::string("\xe4\xb8\xad\xe6\x96\x87"),
                    Blob{}, Blob{std::string("\x00\xff", 2)}, Blob{"plain"}},
                   unknown);
}

// What the values of an expression column make of its type: the widest kind seen, and for
// texts the longest in characters (a non-ASCII text, decoded, counts its characters, not
// its bytes).
TEST(EmbeddedDirectPack, UnknownTypedColumnsAreDescribedAsDecoded) {
    const SqlType unknown;
    const std::vector<std::vector<Stored>> columns{
        {},
        {nullptr, nullptr},
        {std::int64_t{1}, std::int64_t{-7}, nullptr},
        {std::int64_t{1}, kInt32Max + 1},
        {kInt32Min - 1, std::int64_t{3}},
        {std::int64_t{1}, 0.5},
        {kInt32Max + 1, 2.0, std::int64_t{1}},
        {std::int64_t{123456}, std::string("ab")},
        {std::string("")},
        {std::string("abc  "), std::string("a")},
        {std::string("\xc3\xa9\xc3\xa9\xc3\xa9"), std::string("ab")},
        {std::string("ab"), std::string("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9")},
        {Blob{"four"}, std::int64_t{1}, 1.5},
        {Blob{"four"}, std::string("x")},
        {0.25, nullptr, std::string("")},
    };
    for (const auto& values : columns) Column(values).expectSame(unknown);

    const auto r = Column({std::int64_t{1}, kInt32Max + 1}).packed(unknown, false);
    EXPECT_EQ(r.columns[0].type, data::ado::adBigInt);
    EXPECT_EQ(r.rows[0][0].storage().index(), Variant(std::int32_t{1}).storage().index());
    EXPECT_EQ(r.rows[1][0].toInt64(), kInt32Max + 1);
    const auto t = Column({std::string("abc  "), std::int64_t{7}}).packed(unknown, false);
    EXPECT_EQ(t.columns[0].type, data::ado::adVarChar);
    EXPECT_EQ(t.columns[0].definedSize, 5);
    EXPECT_EQ(t.rows[0][0].toString(), "abc  ");
}

TEST(EmbeddedDirectPack, DateTimeTextsPackAsDecoded) {
    const std::vector<Stored> texts{
        std::string("2024-03-05 10:30:00"), std::string("2024-03-05 10:30:00.123"), std::string("2024-03-05"),
        std::string("1753-01-01 00:00:00.000"), std::string("9999-12-31 23:59:59.997"),
        std::string("9999-12-31 23:59:59.999"), std::string("0001-01-01"), std::string("0000-01-01"),
        std::string("1900-01-01 00:00:00.000"), std::string("2024-02-29"), std::string("2000-02-29 12:00:00"),
        std::string("1900-02-29"), std::string("2023-02-29"), std::string("2024-13-01"), std::string("2024-00-10"),
        std::string("2024-01-00"), std::string("2024-01-32"), std::string("2024-04-31 00:00:00"),
        std::string("2024-03-05 24:00:00"), std::string("2024-03-05 23:60:00"), std::string("2024-03-05 23:59:60"),
        std::string("2024-03-05 23:59:59.999"), std::string("2024-03-05T10:30:00"),
        std::string("2024-03-05T10:30:00.123"), std::string("2024-03-05t10:30:00"),
        std::string("2024-03-05T10:30:00Z"), std::string("2024-03-05T10:30:00.123Z"),
        std::string("2024-03-05 10:30:00+01:00"), std::string("2024-03-05 10:30:00.123+0100"),
        std::string("2024-03-05 10:30"), std::string("2024-03-05 10:30:00.5"), std::string("2024-03-05 10:30:00.1234"),
        std::string("2024-03-05 10:30:00,123"), std::string("2024-03-05x10:30:00"), std::string("2024-03-05 10-30-00"),
        std::string("2024/03/05"), std::string("2024-3-5"), std::string("2024-03-5 "), std::string(" 2024-03-05"),
        std::string("2024-03-05 "), std::string("2024-03-05   "), std::string(" 2024-03-05 10:30:00"),
        std::string("2024-03-05 10:30:00 "), std::string("+024-03-05"), std::string("-024-03-05"),
        std::string("20a4-03-05"), std::string("2024-03-05 1a:30:00"), std::string("2024-03-05 10:30:00.1a3"),
        std::string("2024-03\0-05", 10), std::string("2024-03-05\0", 11), std::string("garbage"), std::string(""),
        std::string("          "), std::string("2024-03-05 10:30:00.12\xc3\xa9"),
        std::string("\xd9\xa2\xd9\xa0\xd9\xa2\xd9\xa4-03-05"), std::string("\xef\xbc\x92\xef\xbc\x90\x32\x34-03-05"),
        nullptr, std::int64_t{20240305}, 45000.5, Blob{"2024-03-05"}};
    for (const char* declared : {"datetime", "smalldatetime", "date"}) {
        expectSameEach(texts, SqlType::parse(QString::fromLatin1(declared)));
    }

    // The forms the engine writes read as UTC wall-clock values; a day that does not exist
    // stays the text it is.
    const SqlType datetime = SqlType::parse(QStringLiteral("datetime"));
    const auto r = Column({std::string("2024-03-05 10:30:00.123"), std::string("2024-02-29"),
                           std::string("2023-02-29"), std::string("9999-12-31 23:59:59.997")})
                       .packed(datetime, false);
    EXPECT_EQ(r.rows[0][0].toDateTime(), QDateTime(QDate(2024, 3, 5), QTime(10, 30, 0, 123), Qt::UTC));
    EXPECT_EQ(r.rows[0][0].toDateTime().timeSpec(), Qt::UTC);
    EXPECT_EQ(r.rows[1][0].toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::UTC));
    EXPECT_TRUE(r.rows[2][0].isString());
    EXPECT_EQ(r.rows[2][0].toString(), "2023-02-29");
    EXPECT_EQ(r.rows[3][0].toDateTime(), QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 997), Qt::UTC));
}

TEST(EmbeddedDirectPack, NumericWithDecimalsPacksAsDecoded) {
    std::vector<Stored> values = numbers();
    values.insert(values.end(), {nullptr, std::string("1.5"), std::string("abc"), Blob{"1"}});
    for (const char* declared : {"numeric(18,1)", "numeric(18,2)", "decimal(10,3)", "numeric(19,4)", "numeric(18,0)",
                                 "numeric(20,6)", "money", "smallmoney", "int", "smallint", "bigint", "float",
                                 "varchar(10)"}) {
        expectSameEach(values, SqlType::parse(QString::fromLatin1(declared)));
    }

    // Halves away from zero, at the column's own decimals.
    const auto r = Column({0.125, -0.125, 2.5, std::int64_t{7}}).packed(SqlType::parse("numeric(9,2)"), false);
    EXPECT_EQ(r.rows[0][0].toCurrency().raw(), 1300);
    EXPECT_EQ(r.rows[1][0].toCurrency().raw(), -1300);
    EXPECT_EQ(r.rows[2][0].toCurrency().raw(), 25000);
    EXPECT_EQ(r.rows[3][0].toCurrency().raw(), 70000);
}

// Through a connection: expression columns and datetime columns read as they always did.
TEST(EmbeddedDirectPack, QueriesReadExpressionsAndDatesAsBefore) {
    Server s;
    auto c = s.connect();
    c->Execute("create table D (K int null, A bigint null, B int null, X varchar(10) null, W datetime null, "
               "N numeric(12,2) null)");
    c->Execute("insert into D (K, A, B, X, W, N) values (1, 5, 2, 'ab', '2024-03-05 10:30:00.123', 1.25)");
    c->Execute("insert into D (K, A, B, X, W, N) values (2, 3000000000, 1, NULL, '2024-02-29', 2.5)");
    c->Execute("insert into D (K, A, B, X, W, N) values (3, NULL, 4, 'longer', NULL, -0.125)");
    // A text the column's checks would refuse, written behind the engine's back.
    rawExec(s.file("Velmora"), "insert into D (K, W) values (4, '2023-02-29')");
    data::Recordset rs;
    rs.Open("select isnull(X, '0') as T, A - B as M, W, N, K * 1.5 as F from D order by K", *c);
    EXPECT_EQ(rs.Fields(0L).Type(), data::ado::adVarChar);
    EXPECT_EQ(rs.Fields(0L).DefinedSize(), 6);
    EXPECT_EQ(rs.Fields(1L).Type(), data::ado::adBigInt);
    EXPECT_EQ(rs.Fields(4L).Type(), data::ado::adDouble);
    EXPECT_EQ(rs.Fields(0L).Value().toString(), "ab");
    EXPECT_EQ(rs.Fields(1L).Value().toInt64(), 3);
    EXPECT_EQ(rs.Fields(2L).Value().toDateTime(), QDateTime(QDate(2024, 3, 5), QTime(10, 30, 0, 123), Qt::UTC));
    EXPECT_EQ(rs.Fields(3L).Value().toCurrency().raw(), 12500);
    EXPECT_DOUBLE_EQ(rs.Fields(4L).Value().toDouble(), 1.5);
    rs.MoveNext();
    EXPECT_EQ(rs.Fields(0L).Value().toString(), "0");
    EXPECT_EQ(rs.Fields(1L).Value().toInt64(), 2999999999LL);
    EXPECT_EQ(rs.Fields(2L).Value().toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::UTC));
    rs.MoveNext();
    EXPECT_TRUE(rs.Fields(1L).Value().isNull());
    EXPECT_TRUE(rs.Fields(2L).Value().isNull());
    EXPECT_EQ(rs.Fields(3L).Value().toCurrency().raw(), -1300);
    rs.MoveNext();
    EXPECT_TRUE(rs.Fields(2L).Value().isString());
    EXPECT_EQ(rs.Fields(2L).Value().toString(), "2023-02-29");
    rs.Close();
}
