#include <gtest/gtest.h>

#include "data/variant.h"
#include "platform/runtime_error.h"

using data::Currency;
using data::Variant;

TEST(Variant, EmptyAndNullAreDistinct) {
    Variant e;
    Variant n = Variant::null();
    EXPECT_TRUE(e.isEmpty());
    EXPECT_FALSE(e.isNull());
    EXPECT_TRUE(n.isNull());
    EXPECT_EQ(e.toString(), "");
    EXPECT_EQ(e.toInt32(), 0);
    try {
        n.toString();
        FAIL();
    } catch (const platform::RuntimeError& err) {
        EXPECT_EQ(err.number(), 94);
    }
    EXPECT_EQ(e.type(), Variant::Type::Empty);
    EXPECT_EQ(n.type(), Variant::Type::Null);
}

TEST(Variant, NumericConversionsRoundHalfToEvenAndCheckTheRange) {
    EXPECT_EQ(Variant(2.5).toInt16(), 2);
    EXPECT_EQ(Variant(3.5).toInt16(), 4);
    EXPECT_EQ(Variant(-2.5).toInt32(), -2);
    EXPECT_EQ(Variant("32767").toInt16(), 32767);
    EXPECT_THROW(Variant("32768").toInt16(), platform::RuntimeError);
    EXPECT_THROW(Variant(std::int32_t{40000}).toInt16(), platform::RuntimeError);
    EXPECT_THROW(Variant("abc").toInt16(), platform::RuntimeError);
    EXPECT_THROW(Variant("").toDouble(), platform::RuntimeError);
    EXPECT_EQ(Variant(" 12 ").toInt32(), 12);
    EXPECT_EQ(Variant("1e3").toInt32(), 1000);
    EXPECT_EQ(Variant(true).toInt16(), -1);
    EXPECT_EQ(Variant("0.1").toCurrency(), *Currency::parse("0.1")) << "texts convert exactly";
    EXPECT_EQ(Variant(std::int64_t{5}).toCurrency(), Currency::fromUnits(5));
}

TEST(Variant, TextUsesTheRegionalDecimalSeparator) {
    data::setRegionalDecimalSeparator(",");
    EXPECT_EQ(Variant(*Currency::parse("12.5")).toString(), "12,5");
    EXPECT_EQ(Variant(0.5).toString(), "0,5");
    EXPECT_DOUBLE_EQ(Variant("1,25").toDouble(), 1.25);
    EXPECT_EQ(Variant("1,25").toCurrency(), *Currency::parse("1.25"));
    data::setRegionalDecimalSeparator(".");
    EXPECT_EQ(Variant(0.5).toString(), "0.5");
}

TEST(Variant, LenientLeadingNumber) {
    EXPECT_DOUBLE_EQ(data::leadingNumber(" 1 2.5abc"), 12.5);
    EXPECT_DOUBLE_EQ(data::leadingNumber("-7x"), -7);
    EXPECT_DOUBLE_EQ(data::leadingNumber("abc"), 0);
    EXPECT_DOUBLE_EQ(data::leadingNumber("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(data::leadingNumber(""), 0);
    EXPECT_DOUBLE_EQ(data::leadingNumber(QString(40000, u'9')), 0) << "an unrepresentable number reads as 0";
}

TEST(Variant, ComparisonOrdersNumbersByValueAndTextsByCode) {
    EXPECT_LT(Variant::compare(Variant(2), Variant(10)), 0);
    EXPECT_GT(Variant::compare(Variant("b"), Variant("a")), 0);
    EXPECT_LT(Variant::compare(Variant("B"), Variant("a")), 0);
    EXPECT_EQ(Variant::compare(Variant("10"), Variant(10)), 0);
    EXPECT_LT(Variant::compare(Variant(99), Variant("x")), 0);
    EXPECT_EQ(Variant::compare(Variant(*Currency::parse("0.1")), Variant(*Currency::parse("0.10"))), 0);
    EXPECT_LT(Variant::compare(Variant::null(), Variant(0)), 0);
}

TEST(Variant, DatesFromStoredTexts) {
    const QDateTime d = Variant("2024-02-29 13:45:10.250").toDateTime();
    EXPECT_EQ(d.date(), QDate(2024, 2, 29));
    EXPECT_EQ(d.time(), QTime(13, 45, 10, 250));
    EXPECT_EQ(Variant("2024-03-05").toDateTime().date(), QDate(2024, 3, 5));
    EXPECT_THROW(Variant("2023-02-29").toDateTime(), platform::RuntimeError);
    EXPECT_THROW(Variant("garbage").toDateTime(), platform::RuntimeError);
}

// Dates print as the stored texts read: the day alone at midnight, seconds without their
// fraction, and the early years with their leading zeros.
TEST(Variant, DatesPrintAsTheirStoredForm) {
    EXPECT_EQ(Variant(QDateTime(QDate(2024, 2, 29), QTime(0, 0))).toString(), "2024-02-29");
    EXPECT_EQ(Variant(QDateTime(QDate(2024, 2, 29), QTime(13, 45, 10, 250))).toString(), "2024-02-29 13:45:10");
    EXPECT_EQ(Variant(QDateTime(QDate(2024, 12, 1), QTime(0, 0, 0, 1))).toString(), "2024-12-01 00:00:00");
    EXPECT_EQ(Variant(QDateTime(QDate(999, 1, 9), QTime(9, 5, 3))).toString(), "0999-01-09 09:05:03");
    EXPECT_EQ(Variant(QDateTime(QDate(12345, 1, 1), QTime(0, 0))).toString(),
              QDate(12345, 1, 1).toString(QStringLiteral("yyyy-MM-dd")));    EXPECT_EQ(data::isoDateText(QDate(999, 1, 9)), "0999-01-09");
    EXPECT_EQ(data::isoDateText(QDate(2024, 12, 31)), "2024-12-31");
    EXPECT_EQ(data::isoDateText(QDate()), QString());
}

// A text written into a value in place never reaches a copy of the text it held, nor a literal.
TEST(Variant, Latin1WrittenInPlaceLeavesSharedTextsAlone) {
    data::Variant v(QString(QStringLiteral("hello world")));
    const data::Variant copy = v;
    v.assignLatin1("abc", 3);
    EXPECT_EQ(v.toString(), QStringLiteral("abc"));
    EXPECT_EQ(copy.toString(), QStringLiteral("hello world"));
    v.assignLatin1("xy\xe9", 3);  // its own now, and large enough
    EXPECT_EQ(v.toString(), QString::fromUtf8("xy\xc3\xa9"));
    v.assignLatin1("a longer text than before", 25);
    EXPECT_EQ(v.toString(), QStringLiteral("a longer text than before"));
    v.assignLatin1("", 0);
    EXPECT_TRUE(v.isString());
    EXPECT_TRUE(v.toString().isEmpty());
    EXPECT_FALSE(v.toString().isNull());
    const QString literal = QStringLiteral("lit");
    data::Variant l(literal);
    l.assignLatin1("ab", 2);
    EXPECT_EQ(literal, QStringLiteral("lit"));
    EXPECT_EQ(l.toString(), QStringLiteral("ab"));
    data::Variant n(std::int32_t{5});
    n.assignLatin1("5", 1);
    EXPECT_TRUE(n.isString());
}
