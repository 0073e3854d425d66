#include <gtest/gtest.h>

#include "data/currency.h"
#include "platform/runtime_error.h"

using data::Currency;

namespace {
Currency C(const char* text) { return *Currency::parse(QString::fromLatin1(text)); }
}  // namespace

TEST(Currency, ParsesDecimalTextExactlyAndRoundsTheFifthDecimalHalfToEven) {
    EXPECT_EQ(C("2.675").raw(), 26750);
    EXPECT_EQ(C("0.005").raw(), 50);
    EXPECT_EQ(C("-0.5").raw(), -5000);
    EXPECT_EQ(C("922337203685477.5807"), Currency::max());
    EXPECT_EQ(C("-922337203685477.5808"), Currency::min());
    EXPECT_EQ(C(" 12 ").raw(), 120000);
    EXPECT_EQ(C("1.00005").raw(), 10000) << "half goes to the even neighbour";
    EXPECT_EQ(C("1.00015").raw(), 10002);
    EXPECT_EQ(C("-1.00015").raw(), -10002);
    EXPECT_EQ(C(".5").raw(), 5000);
    EXPECT_FALSE(Currency::parse("922337203685477.5808"));
    EXPECT_FALSE(Currency::parse(""));
    EXPECT_FALSE(Currency::parse("abc"));
    EXPECT_FALSE(Currency::parse("1.2.3"));
    EXPECT_FALSE(Currency::parse("1,5"));
    EXPECT_FALSE(Currency::parse(QString(40000, u'9')));
}

TEST(Currency, FromDoubleRoundsHalfToEvenAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(Currency::fromDouble(0.1).raw(), 1000);
    EXPECT_EQ(Currency::fromDouble(2.675).raw(), 26750);
    EXPECT_EQ(Currency::fromDouble(0.00005).raw(), 0);
    EXPECT_EQ(Currency::fromDouble(-0.5).raw(), -5000);
    EXPECT_EQ(Currency::fromDouble(922337203685477.0).raw(), 9223372036854770000);
    EXPECT_THROW(Currency::fromDouble(1e300), platform::RuntimeError);
    EXPECT_THROW(Currency::fromDouble(std::nan("")), platform::RuntimeError);
}

TEST(Currency, ArithmeticIsExactAndOverflowIsAnError) {
    EXPECT_EQ(C("0.1") + C("0.2"), C("0.3"));
    EXPECT_EQ(C("2.5") * C("2.5"), C("6.25"));
    EXPECT_EQ(C("0.0001") * C("0.5"), C("0")) << "0.00005 rounds to even";
    EXPECT_EQ(C("0.0003") * C("0.5"), C("0.0002"));
    EXPECT_THROW(Currency::max() + C("0.0001"), platform::RuntimeError);
    EXPECT_THROW(-Currency::min(), platform::RuntimeError);
    EXPECT_THROW(Currency::max() * C("2"), platform::RuntimeError);
}

TEST(Currency, FloorFractionRoundingAndPlainText) {
    EXPECT_EQ(C("-2.5").floor(), C("-3"));
    EXPECT_EQ(C("-2.5").fraction(), C("0.5"));
    EXPECT_EQ(C("2.5").floor(), C("2"));
    EXPECT_EQ(C("2.125").roundHalfEven(2), C("2.12"));
    EXPECT_EQ(C("2.135").roundHalfEven(2), C("2.14"));
    EXPECT_EQ(C("-2.5").roundHalfEven(0), C("-2"));
    EXPECT_THROW(Currency::min().floor(), platform::RuntimeError);

    EXPECT_EQ(C("0.5").toPlainText(","), "0,5");
    EXPECT_EQ(C("3").toPlainText(), "3");
    EXPECT_EQ(C("-0.25").toPlainText(), "-0.25");
    EXPECT_EQ(Currency::min().toPlainText(), "-922337203685477.5808");
    EXPECT_EQ(Currency::max().toPlainText(), "922337203685477.5807");
    EXPECT_EQ(C("1200.5000").toPlainText(), "1200.5");
}
