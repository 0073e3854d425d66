// Values read where the result keeps them (Field::View, RowSet::peek), rows built value by value
// without Variants, and the collation's shortcuts: each gives what the plain way gives.

#include <gtest/gtest.h>

#include <QDateTime>
#include <algorithm>
#include <string>
#include <vector>

#include "data/embedded/translate/semantics.h"
#include "data/rowset.h"
#include "embedded_test_helpers.h"
#include "platform/runtime_error.h"

using namespace embeddedtest;
using data::Currency;
using data::Variant;
using data::provider::PackedValue;
using data::provider::Row;
using data::provider::RowSet;

namespace {

PackedValue peekAt(const RowSet& rows, size_t row, size_t col) {
    std::vector<const char*> places;
    rows.locate(row, places);
    return RowSet::peek(places.at(col));
}

int cmp(const std::string& a, const std::string& b) {
    return data::embedded::compareText(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
}

}  // namespace

TEST(PackedValues, DirectlyAddedValuesReadBackAsTheirVariants) {
    RowSet rows;
    // Rows of every width, from empty to one larger than a whole block, so that rows start in
    // the middle of blocks, fill them exactly and move to the next one half-built.
    const std::vector<int> widths{0, 1, 300, 511, 512, 513, 5000, 1 << 20, (1 << 20) + 7, 3};
    for (int w : widths) {
        const std::string text(static_cast<size_t>(w), 'x');
        rows.beginRow();
        rows.addAscii(text.data(), w);
        rows.addNull();
        rows.addCurrency(Currency::fromRaw(-123456).raw());
        rows.addInt32(-7);
        rows.addInt64(std::int64_t{1} << 40);
        rows.add(Variant(QStringLiteral("Ação €")));
        rows.add(Variant(QDateTime(QDate(2017, 3, 7), QTime(1, 2, 3), Qt::UTC)));
        rows.endRow();
    }
    ASSERT_EQ(rows.size(), widths.size());
    for (size_t i = 0; i < widths.size(); ++i) {
        SCOPED_TRACE(i);
        const Row r = rows.row(i);
        ASSERT_EQ(r.size(), 7u);
        EXPECT_EQ(r[0].toString(), QString(widths[i], u'x'));
        EXPECT_TRUE(r[1].isNull());
        EXPECT_EQ(r[2].type(), Variant::Type::Currency);
        EXPECT_EQ(r[2].toCurrency().raw(), -123456);
        EXPECT_EQ(r[3].type(), Variant::Type::Long);
        EXPECT_EQ(r[3].toInt32(), -7);
        EXPECT_EQ(r[4].toInt64(), std::int64_t{1} << 40);
        EXPECT_EQ(r[5].toString(), QStringLiteral("Ação €"));
        EXPECT_EQ(r[6].toDateTime(), QDateTime(QDate(2017, 3, 7), QTime(1, 2, 3), Qt::UTC));

        const PackedValue t = peekAt(rows, i, 0);
        EXPECT_EQ(t.kind, PackedValue::Latin1);
        EXPECT_EQ(std::string(t.text, t.size), std::string(static_cast<size_t>(widths[i]), 'x'));
        EXPECT_EQ(peekAt(rows, i, 1).kind, PackedValue::Null);
        EXPECT_EQ(peekAt(rows, i, 2).kind, PackedValue::Amount);
        EXPECT_EQ(peekAt(rows, i, 2).amount, -123456);
        EXPECT_EQ(peekAt(rows, i, 3).kind, PackedValue::Other);
        EXPECT_EQ(peekAt(rows, i, 5).kind, PackedValue::Other) << "beyond Latin-1";
        EXPECT_EQ(peekAt(rows, i, 6).kind, PackedValue::Other);
    }

    // Replacing, removing and copying rows keep the others whole.
    rows.set(1, Row{Variant(QStringLiteral("novo")), Variant(QString())});
    EXPECT_EQ(rows.row(1)[0].toString(), QStringLiteral("novo"));
    EXPECT_EQ(peekAt(rows, 1, 1).kind, PackedValue::Latin1) << "a null text is a text without characters";
    EXPECT_EQ(peekAt(rows, 1, 1).size, 0u);
    rows.pop_back();
    EXPECT_EQ(rows.size(), widths.size() - 1);
    const RowSet copy = rows;
    EXPECT_EQ(copy.row(8)[0].toString().size(), (1 << 20) + 7);
    EXPECT_EQ(copy.row(8)[2].toCurrency().raw(), -123456);
    // A row abandoned half-built leaves nothing behind.
    rows.beginRow();
    rows.addAscii("half", 4);
    rows.beginRow();
    rows.addNull();
    rows.endRow();
    EXPECT_EQ(rows.row(rows.size() - 1).size(), 1u);
    EXPECT_TRUE(rows.row(rows.size() - 1)[0].isNull());
}

TEST(PackedValues, FieldViewFollowsTheRecordsetAsValueDoes) {
    Server s;
    auto c = s.connect();
    c->Execute("create table T (Id int null, Nome varchar(20) null, Preco money null, Data datetime null)");
    c->Execute("insert into T (Id, Nome, Preco, Data) values (1, 'Ana', 12.5, '2017-01-05')");
    c->Execute("insert into T (Id, Nome, Preco, Data) values (2, 'Jo\u00e3o', NULL, NULL)");
    c->Execute("insert into T (Id, Nome, Preco, Data) values (3, NULL, -3, NULL)");

    data::Recordset rs;
    rs.Open("select Id, Nome, Preco, Data from T order by Id", *c, data::ado::adOpenDynamic,
            data::ado::adLockOptimistic);
    data::Field nome = rs.Fields(QStringLiteral("Nome"));
    const data::Field preco = rs.Fields(QStringLiteral("Preco"));
    // Row 1: plain text and an amount are seen where they are kept.
    PackedValue v = nome.View();
    ASSERT_EQ(v.kind, PackedValue::Latin1);
    EXPECT_EQ(std::string(v.text, v.size), "Ana");
    v = preco.View();
    ASSERT_EQ(v.kind, PackedValue::Amount);
    EXPECT_EQ(Currency::fromRaw(v.amount), preco.Value().toCurrency());
    EXPECT_EQ(rs.Fields(QStringLiteral("Id")).View().kind, PackedValue::Other);
    EXPECT_EQ(rs.Fields(QStringLiteral("Data")).View().kind, PackedValue::Other);

    // While the row is edited, the edit is what counts: View leaves it to Value.
    nome.setValue(QStringLiteral("Outra"));
    EXPECT_EQ(nome.View().kind, PackedValue::Other);
    EXPECT_EQ(nome.Value().toString(), QStringLiteral("Outra"));
    rs.Update();
    v = nome.View();
    ASSERT_EQ(v.kind, PackedValue::Latin1) << "the stored row after the update";
    EXPECT_EQ(std::string(v.text, v.size), "Outra");

    // Row 2: a Null amount; a text beyond ASCII is still Latin-1 and has its bytes.
    rs.MoveNext();
    EXPECT_EQ(preco.View().kind, PackedValue::Null);
    v = nome.View();
    ASSERT_EQ(v.kind, PackedValue::Latin1);
    EXPECT_EQ(QString::fromLatin1(v.text, v.size), QString::fromUtf8("Jo\u00e3o"));
    // Row 3.
    rs.MoveNext();
    EXPECT_EQ(nome.View().kind, PackedValue::Null);
    EXPECT_EQ(Currency::fromRaw(preco.View().amount), Currency::fromUnits(-3));
    // No current row, a closed recordset: the errors of Value.
    rs.MoveNext();
    EXPECT_EQ(errorNumber([&] { nome.View(); }), 3021);
    EXPECT_EQ(errorNumber([&] { nome.View(); }), errorNumber([&] { nome.Value(); }));
    rs.Close();
    EXPECT_EQ(errorNumber([&] { nome.View(); }), errorNumber([&] { nome.Value(); }));
}

TEST(PackedValues, CollationShortcutsKeepOneTotalOrder) {
    // Equal texts, dates written in several ways, case, trailing blanks, accents, NULs and
    // texts that only begin like dates: any two compare in the same way whatever path they take.
    const std::vector<std::string> texts{
        "", " ", "a", "A", "a ", "ab", "aB ", "b", "2017-01-05", "2017-01-05 ", "2017-01-05 00:00",
        "2017-01-05 00:00:00.000", "2017-01-05T00:00:00", "2017-01-05 00", "2017-01-05x", "2017-01-06",
        "2017-1-05", "2016-12-31", "2017-01-05 10:00", "9999-99-99", "0000-00-00", std::string("a\0b", 3),
        std::string("a\0c", 3), std::string("\0", 1), "\xc3\xa1", "\xc3\x81", "a\xc3\xa1", "A\xc3\x81", "\xe2\x82\xac",
        "Z", "z  ", "_", "~", "V", "EO", "D"};
    for (const auto& a : texts) {
        EXPECT_EQ(cmp(a, a), 0);
        for (const auto& b : texts) {
            const int ab = cmp(a, b);
            EXPECT_EQ(ab, -cmp(b, a)) << a << " | " << b;
            EXPECT_TRUE(ab >= -1 && ab <= 1);
            for (const auto& c : texts) {
                const int bc = cmp(b, c);
                if (ab == 0) {
                    EXPECT_EQ(cmp(a, c), bc) << a << " = " << b << " vs " << c;
                } else if (ab == bc) {
                    EXPECT_EQ(cmp(a, c), ab) << a << " | " << b << " | " << c;
                }
            }
        }
    }
    // The answers the shortcuts must give.
    EXPECT_EQ(cmp("2017-01-05", "2017-01-05 00:00:00.000"), 0);
    EXPECT_EQ(cmp("2017-01-05", "2017-01-06"), -1);
    EXPECT_EQ(cmp("2017-01-06", "2017-01-05 23:59"), 1);
    EXPECT_EQ(cmp("abc  ", "ABC"), 0);
    EXPECT_EQ(cmp(std::string("a\0b", 3), std::string("a\0b", 3)), 0);
    EXPECT_EQ(cmp(std::string("a\0b", 3), "a"), 1);
    EXPECT_EQ(cmp("\xc3\xa1", "\xc3\x81"), 0) << "case folding beyond ASCII";
    std::vector<std::string> sorted = texts;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return cmp(a, b) < 0; });
    for (size_t i = 1; i < sorted.size(); ++i) EXPECT_LE(cmp(sorted[i - 1], sorted[i]), 0);
}
