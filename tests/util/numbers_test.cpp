#include <gtest/gtest.h>

#include "platform/runtime_error.h"
#include "support/messagebox_recorder.h"
#include "util/EDiv.h"
#include "util/Locale.h"

namespace {

using data::Currency;
using data::Variant;

Currency C(const char* text) { return Currency::parse(QString::fromLatin1(text)).value(); }
QString Q(const char* text) { return QString::fromUtf8(text); }

// Each test sets the regional record it needs and gets the program's record back afterwards.
class Numbers : public ::testing::Test {
protected:
    void SetUp() override { saved_ = Locale(); }
    void TearDown() override { Locale() = saved_; }

    static void regional(const char* dec, const char* mil, const char* group) {
        Locale().gstrDecSep = Q(dec);
        Locale().gstrMilSep = Q(mil);
        Locale().gstrAgrupamento = Q(group);
    }
    static void portuguese() { regional(",", ".", "3"); }

    EDiv& f = eFun();

private:
    LocaleRecord saved_;
};

TEST_F(Numbers, ArredondaValMode1RoundsHalvesEvenWithDecimalsAndUpWithout) {
    EXPECT_EQ(f.ArredondaVal(C("2.5"), 0, 1), C("3"));
    EXPECT_EQ(f.ArredondaVal(C("3.5"), 0, 1), C("4"));
    EXPECT_EQ(f.ArredondaVal(C("-2.5"), 0, 1), C("-2"));
    EXPECT_EQ(f.ArredondaVal(C("-0.5"), 0, 1), C("0"));
    EXPECT_EQ(f.ArredondaVal(C("-2.6"), 0, 1), C("-3"));
    EXPECT_EQ(f.ArredondaVal(C("2.125"), 2, 1), C("2.12"));
    EXPECT_EQ(f.ArredondaVal(C("2.135"), 2, 1), C("2.14"));
    EXPECT_EQ(f.ArredondaVal(C("2.675"), 2, 1), C("2.68"));
    EXPECT_EQ(f.ArredondaVal(C("0.005"), 2, 1), C("0"));
    EXPECT_EQ(f.ArredondaVal(C("0.015"), 2, 1), C("0.02"));
    EXPECT_EQ(f.ArredondaVal(C("7"), 2, 1), C("7"));
    EXPECT_EQ(f.ArredondaVal(C("2.5"), 2, 1), C("2.5"));
    EXPECT_EQ(f.ArredondaVal(C("2.5"), 9, 1), C("2.5"));
    EXPECT_EQ(f.ArredondaVal(C("2.5"), -3, 1), C("3"));
    EXPECT_EQ(f.ArredondaVal(C("2.5"), 0, -7), C("3"));  // other modes below 5 round too
    EXPECT_EQ(f.ArredondaVal(C("2.1234"), 3, 0), C("2.1234"));
    EXPECT_EQ(f.ArredondaVal(C("-2.1234"), 0, 0), C("-2.1234"));
}

TEST_F(Numbers, ArredondaValModes2To4GoToTensHundredsThousands) {
    EXPECT_EQ(f.ArredondaVal(C("1234.4"), 0, 2), C("1230"));
    EXPECT_EQ(f.ArredondaVal(C("1235"), 0, 2), C("1240"));
    EXPECT_EQ(f.ArredondaVal(C("1249"), 0, 3), C("1200"));
    EXPECT_EQ(f.ArredondaVal(C("1250"), 0, 3), C("1300"));
    EXPECT_EQ(f.ArredondaVal(C("1500"), 0, 4), C("2000"));
    EXPECT_EQ(f.ArredondaVal(C("1499.99"), 2, 4), C("1000"));
    EXPECT_EQ(f.ArredondaVal(C("12.5"), 0, 2), C("10"));  // 12.5 rounds to 13 first
    EXPECT_EQ(f.ArredondaVal(C("5"), 0, 3), C("0"));
    // Negative amounts take the last characters of their text, sign and all.
    EXPECT_EQ(f.ArredondaVal(C("-1234"), 0, 2), C("-1238"));
    EXPECT_EQ(f.ArredondaVal(C("-5"), 0, 3), C("0"));
}

TEST_F(Numbers, ArredondaValModes5To12CutOrRaiseThroughTheirText) {
    EXPECT_EQ(f.ArredondaVal(C("12.345"), 2, 5), C("12.34"));
    EXPECT_EQ(f.ArredondaVal(C("12.05"), 2, 5), C("12.5"));  // the kept 05 is read as the number 5
    EXPECT_EQ(f.ArredondaVal(C("12.345"), 2, 9), C("12.35"));
    EXPECT_EQ(f.ArredondaVal(C("12.34"), 2, 9), C("12.34"));
    EXPECT_EQ(f.ArredondaVal(C("12.99"), 1, 9), C("13"));
    EXPECT_EQ(f.ArredondaVal(C("12.3"), 0, 9), C("13"));
    EXPECT_EQ(f.ArredondaVal(C("12"), 0, 9), C("12"));
    EXPECT_EQ(f.ArredondaVal(C("20"), 0, 10), C("30"));
    EXPECT_EQ(f.ArredondaVal(C("1234.5"), 0, 10), C("1240"));
    EXPECT_EQ(f.ArredondaVal(C("1234.567"), 2, 11), C("1300.57"));
    EXPECT_EQ(f.ArredondaVal(C("1234.56"), 1, 6), C("1230.5"));
    EXPECT_EQ(f.ArredondaVal(C("1234.56"), 1, 8), C("1000.5"));
    // Without decimals modes 5 to 7 raise (no step) and mode 8 cuts.
    EXPECT_EQ(f.ArredondaVal(C("1234.56"), 0, 5), C("1235"));
    EXPECT_EQ(f.ArredondaVal(C("1234.56"), 0, 7), C("1235"));
    EXPECT_EQ(f.ArredondaVal(C("1234.56"), 0, 8), C("1000"));
    EXPECT_EQ(f.ArredondaVal(C("1234.56"), 1, 13), C("1234.5"));
    EXPECT_EQ(f.ArredondaVal(C("-2.75"), 1, 5), C("-3.2"));  // the floor's text with the kept digits
}

TEST_F(Numbers, ArredondaValAtTheEndsOfTheRangeAnswersWithoutError) {
    const Currency max = Currency::max();
    const Currency min = Currency::min();
    EXPECT_EQ(f.ArredondaVal(max, 4, 1), max);
    EXPECT_EQ(f.ArredondaVal(max, 2, 1), C("922337203685477.58"));
    EXPECT_EQ(f.ArredondaVal(min, 2, 1), C("-922337203685477.58"));
    EXPECT_EQ(f.ArredondaVal(min, 4, 1), min);
    EXPECT_EQ(f.ArredondaVal(min, 0, 0), min);
    // Results beyond the range are never assigned.
    EXPECT_EQ(f.ArredondaVal(max, 0, 1), Currency());
    EXPECT_EQ(f.ArredondaVal(max, 3, 1), Currency());
    EXPECT_EQ(f.ArredondaVal(min, 0, 1), Currency());
    EXPECT_EQ(f.ArredondaVal(max, 4, 2), max);  // the step to tens does not fit: the rounded value stays
    EXPECT_EQ(f.ArredondaVal(max, 0, 9), Currency());
    EXPECT_EQ(f.ArredondaVal(min, 2, 5), Currency());
    EXPECT_EQ(f.ArredondaVal(max, 1, 5), C("922337203685477.5"));
    EXPECT_EQ(f.ArredondaVal(C("922337203685477"), 0, 12), C("922337203685477"));
}

TEST_F(Numbers, FDNumFormatsWithGivenSeparators) {
    regional(".", ",", "3");
    const auto fd = [&](const char* v, std::int16_t dec, const char* mil = ".") {
        QString smil = Q(mil);
        QString sdec = Q(",");
        return f.FDNum(C(v), dec, 0, 0, smil, sdec);
    };
    EXPECT_EQ(fd("1234.5", 2), Q("1.234,50"));
    EXPECT_EQ(fd("0", 2), Q("0,00"));
    EXPECT_EQ(fd("0", 0), Q("0"));
    EXPECT_EQ(fd("2.5", 0), Q("3"));
    EXPECT_EQ(fd("-2.5", 0), Q("-3"));
    EXPECT_EQ(fd("2.999", 2), Q("3,00"));
    EXPECT_EQ(fd("-1234567.891", 1), Q("-1.234.567,9"));
    EXPECT_EQ(fd("1234.5", 2, "SSM"), Q("1234,50"));
    EXPECT_EQ(fd("1000000", 0), Q("1.000.000"));
    EXPECT_EQ(fd("123", 0), Q("123"));
    EXPECT_EQ(fd("123456.7", 0), Q("123.457"));
    EXPECT_EQ(fd("1.2345", 9), Q("1,2345"));
    EXPECT_EQ(fd("1.2345", -2), Q("1"));
    EXPECT_EQ(fd("7", 2), Q("7,00"));
    EXPECT_EQ(fd("0.005", 2), Q("0,00"));
    EXPECT_EQ(fd("2.675", 2), Q("2,68"));
    EXPECT_EQ(fd("-0.5", 0), Q("-1"));
    EXPECT_EQ(fd("-0.001", 2), Q("-0,00"));
    // A separator of more than one character is never left in front.
    EXPECT_EQ(fd("123456", 0, ". "), Q("123. 456"));

    Locale().gstrAgrupamento = Q("2");
    EXPECT_EQ(fd("1234567", 0), Q("1.23.45.67"));
    Locale().gstrAgrupamento = Q("0");
    EXPECT_EQ(fd("1234567", 0), Q("1234567"));
    Locale().gstrAgrupamento = Q("x");
    EXPECT_EQ(fd("1234567", 0), Q("1234567"));
    Locale().gstrAgrupamento = QString();
    EXPECT_EQ(fd("1234567", 0), Q("1234567"));
}

TEST_F(Numbers, FDNumTakesAndWritesBackRegionalSeparators) {
    portuguese();
    QString smil;
    QString sdec;
    EXPECT_EQ(f.FDNum(C("1234.5"), 2, 0, 0, smil, sdec), Q("1.234,50"));
    EXPECT_EQ(smil, Q("."));
    EXPECT_EQ(sdec, Q(","));
    EXPECT_EQ(f.FDNum(C("-1234567.891"), 1), Q("-1.234.567,9"));

    QString ssm = Q("SSM");
    EXPECT_EQ(f.FDNum(C("1234.5"), 2, 0, 0, ssm), Q("1234,50"));
    EXPECT_EQ(ssm, QString());

    // Nothing known: point and comma.
    regional("", "", "3");
    QString m2;
    QString d2;
    EXPECT_EQ(f.FDNum(C("1234.5"), 2, 0, 0, m2, d2), Q("1,234.50"));
    EXPECT_EQ(m2, Q(","));
    EXPECT_EQ(d2, Q("."));
}

TEST_F(Numbers, FDNumAtTheEndsOfTheRange) {
    portuguese();
    EXPECT_EQ(f.FDNum(Currency::max(), 4), Q("922.337.203.685.477,5807"));
    EXPECT_EQ(f.FDNum(Currency::max(), 2), Q("922.337.203.685.477,58"));
    EXPECT_EQ(f.FDNum(Currency::max(), 0), Q("922.337.203.685.478"));
    EXPECT_EQ(f.FDNum(Currency::min(), 4), Q("-922.337.203.685.477,5808"));
    EXPECT_EQ(f.FDNum(Currency::min(), 2), Q("-922.337.203.685.477,58"));
    EXPECT_EQ(f.FDNum(Currency::min(), 0), Q("-922.337.203.685.478"));
}

TEST_F(Numbers, StrToCurrReadsTextWithSeparatorsExactly) {
    QString mil = Q(".");
    QString dec = Q(",");
    EXPECT_EQ(f.StrToCurr(Q("1.234,56"), mil, dec), C("1234.56"));
    EXPECT_EQ(f.StrToCurr(Q(""), mil, dec), Currency());
    EXPECT_EQ(f.StrToCurr(Q("abc"), mil, dec), Currency());
    EXPECT_EQ(f.StrToCurr(Q("12abc"), mil, dec), C("12"));
    EXPECT_EQ(f.StrToCurr(Q(" - 1 2 , 5"), mil, dec), C("-12.5"));
    EXPECT_EQ(f.StrToCurr(Q("1,2,3"), mil, dec), C("1.2"));
    EXPECT_EQ(f.StrToCurr(Q("0,00005"), mil, dec), Currency());
    EXPECT_EQ(f.StrToCurr(Q("0,00015"), mil, dec), C("0.0002"));
    EXPECT_EQ(f.StrToCurr(Q("0,000050000000000000000000001"), mil, dec), C("0.0001"));
    EXPECT_EQ(f.StrToCurr(Q("922.337.203.685.477,5807"), mil, dec), Currency::max());
    EXPECT_EQ(f.StrToCurr(Q("-922337203685477,5808"), mil, dec), Currency::min());
    EXPECT_EQ(f.StrToCurr(QString(40000, u'0') + Q("5"), mil, dec), C("5"));
    EXPECT_THROW(f.StrToCurr(Q("922337203685478"), mil, dec), platform::RuntimeError);
    EXPECT_THROW(f.StrToCurr(QString(40000, u'9'), mil, dec), platform::RuntimeError);

    portuguese();
    QString m2;
    QString d2;
    EXPECT_EQ(f.StrToCurr(Q("1.234,56"), m2, d2), C("1234.56"));
    EXPECT_EQ(m2, Q("."));
    EXPECT_EQ(d2, Q(","));
    EXPECT_EQ(f.StrToCurr(Q("2,5")), C("2.5"));
}

// The amounts above are read from texts; long decimal tails must neither fail nor lose the tie.
TEST(CurrencyText, LongDecimalTailsReadExactly) {
    EXPECT_EQ(Currency::parse(Q("0.000050000000000000000000001")), C("0.0001"));
    EXPECT_EQ(Currency::parse(Q("0.00005000000000000000000000")), Currency());
    EXPECT_EQ(Currency::parse(Q("-0.000150000000000000000000000")), C("-0.0002"));
    EXPECT_EQ(Currency::parse(Q("922337203685477.58070000000000000000000000")), Currency::max());
    EXPECT_EQ(Currency::parse(Q("1234567890.12345") + QString(40000, u'9')), C("1234567890.1235"));
    EXPECT_FALSE(Currency::parse(Q("1000000000000001")));
    EXPECT_FALSE(Currency::parse(Q("922337203685477.58075")));
}

TEST_F(Numbers, CurToSQLWritesAPointWhateverTheRegion) {
    for (const char* sep : {".", ",", ""}) {
        regional(sep, ".", "3");
        EXPECT_EQ(f.CurToSQL(C("-12.5")), Q("-12.5"));
        EXPECT_EQ(f.CurToSQL(C("1200.5")), Q("1200.5"));
        EXPECT_EQ(f.CurToSQL(C("-0.25")), Q("-0.25"));
        EXPECT_EQ(f.CurToSQL(C("3")), Q("3"));
        EXPECT_EQ(f.CurToSQL(Currency::min()), Q("-922337203685477.5808"));
    }
}

TEST_F(Numbers, NumToVBNumTurnsRegionalTextIntoPointNotation) {
    portuguese();
    EXPECT_EQ(f.NumToVBNum(Q("1234,56"), 2), Q(" 1234.56"));
    EXPECT_EQ(f.NumToVBNum(Q("1234"), 2), Q(" 1234.00"));
    EXPECT_EQ(f.NumToVBNum(Q("-12,5"), 2), Q("-12.5"));
    EXPECT_EQ(f.NumToVBNum(Q("-0,5"), 2), Q("-0.5"));
    EXPECT_EQ(f.NumToVBNum(Q(""), 2), Q(" 0.00"));
    EXPECT_EQ(f.NumToVBNum(Q("abc"), 1), Q(" 0.0"));
    EXPECT_EQ(f.NumToVBNum(Q("7"), -1), Q(" 7."));
    EXPECT_EQ(f.NumToVBNum(QString(40000, u'1'), 0).size(), 40002);

    regional(".", ",", "3");
    EXPECT_EQ(f.NumToVBNum(Q("12.5"), 2), Q(" 12.5"));
    EXPECT_EQ(f.NumToVBNum(Q("-12.5"), 2), Q("-12.5"));
}

TEST_F(Numbers, ArredondaRoundsHalvesAwayFromZero) {
    testsupport::MessageBoxRecorder boxes;
    std::int16_t comp = 0;
    EXPECT_EQ(f.Arredonda(C("2.345"), 2, comp), C("2.35"));
    EXPECT_EQ(comp, 12);
    std::int16_t five = 5;
    EXPECT_EQ(f.Arredonda(C("-2.345"), 2, five), C("-2.35"));
    EXPECT_EQ(five, 5);
    EXPECT_EQ(f.Arredonda(C("2.5"), 0), C("3"));
    EXPECT_EQ(f.Arredonda(C("-2.5"), 0), C("-3"));
    EXPECT_EQ(f.Arredonda(C("123456789012345.6"), 0, five), C("123456789012346"));
    EXPECT_EQ(f.Arredonda(C("1.2345"), 4), C("1.2345"));
    EXPECT_EQ(f.Arredonda(Currency::min(), 2), C("-922337203685477.58"));
    EXPECT_TRUE(boxes.shown.empty());

    EXPECT_EQ(f.Arredonda(C("2.5"), 5), Currency());
    EXPECT_EQ(f.Arredonda(C("2.5"), -1), Currency());
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, Q("O Número de casas Decimais tem que ser  entre (0 e 4)"));
    EXPECT_EQ(boxes.shown[0].style, 0);

    EXPECT_THROW(f.Arredonda(Currency::max(), 0), platform::RuntimeError);
}

TEST_F(Numbers, ArredondaDezGoesToTens) {
    const auto dez = [&](const char* v, std::int16_t upDown) { return f.ArredondaDez(C(v), upDown).toCurrency(); };
    EXPECT_EQ(f.ArredondaDez(C("123"), 0).type(), Variant::Type::Currency);
    EXPECT_EQ(dez("123", 0), C("120"));
    EXPECT_EQ(dez("129.6", 0), C("130"));
    EXPECT_EQ(dez("-127", 0), C("-120"));
    EXPECT_EQ(dez("5", 0), C("0"));
    EXPECT_EQ(dez("-5", 0), C("0"));
    EXPECT_EQ(dez("123", 1), C("130"));
    EXPECT_EQ(dez("120", 1), C("130"));
    EXPECT_EQ(dez("195", 1), C("1100"));
    EXPECT_EQ(dez("5", 1), C("10"));
    EXPECT_EQ(dez("-123", 1), C("-130"));
}

TEST_F(Numbers, ArredondaValDecimalRoundsCutsOrRaises) {
    const auto v = [&](const char* x, std::int16_t dec, std::int32_t mode) {
        return f.ArredondaValDecimal(C(x), dec, mode);
    };
    EXPECT_EQ(v("1.239", 2, 4).toCurrency(), C("1.239"));
    EXPECT_EQ(v("1.234", 2, 1).type(), Variant::Type::Currency);
    EXPECT_EQ(v("1.235", 2, 1).toCurrency(), C("1.24"));
    EXPECT_EQ(v("1.225", 2, 1).toCurrency(), C("1.22"));
    EXPECT_EQ(v("2.5", 0, 1).toCurrency(), C("3"));
    EXPECT_EQ(v("-2.5", 0, 1).toCurrency(), C("-2"));
    EXPECT_EQ(v("1.239", 2, 2).type(), Variant::Type::Double);
    EXPECT_DOUBLE_EQ(v("1.239", 2, 2).toDouble(), 1.23);
    EXPECT_DOUBLE_EQ(v("1.239", 2, 7).toDouble(), 1.23);
    EXPECT_DOUBLE_EQ(v("1.231", 2, 3).toDouble(), 1.24);
    EXPECT_DOUBLE_EQ(v("1.2", 2, 2).toDouble(), 1.2);
    EXPECT_DOUBLE_EQ(v("-2.75", 1, 2).toDouble(), -2.8);
    EXPECT_DOUBLE_EQ(v("-2.75", 1, 3).toDouble(), -2.7);
    EXPECT_EQ(v("1.23", 2, 3).type(), Variant::Type::Currency);  // already at 2 decimals
    EXPECT_DOUBLE_EQ(f.ArredondaValDecimal(Currency::min(), 0, 2).toDouble(), -922337203685478.0);
    EXPECT_THROW(f.ArredondaValDecimal(Currency::max(), 0, 1), platform::RuntimeError);
}

TEST_F(Numbers, OldFDNumFormatsInAnEighteenCharacterField) {
    portuguese();
    QString smil = Q("x");
    QString sdec = Q("y");
    EXPECT_EQ(f.OldFDNum(Variant(C("1234.567")), 2, 1, 0, smil, sdec), Q("1.234,57"));
    EXPECT_EQ(smil, Q("."));
    EXPECT_EQ(sdec, Q(","));
    EXPECT_EQ(f.OldFDNum(Variant(C("1234.567")), 2, 2), Q("1.234,57"));
    EXPECT_EQ(f.OldFDNum(Variant(C("1234.567")), 2, 0), QString());
    EXPECT_EQ(f.OldFDNum(Variant(C("1234.5")), -3, 1), Q("1.235"));
    EXPECT_EQ(f.OldFDNum(Variant(C("-1234.5")), 0, 1), Q("-1.235"));
    EXPECT_EQ(f.OldFDNum(Variant(C("-0.001")), 2, 1), Q("0,00"));
    EXPECT_EQ(f.OldFDNum(Variant(2.675), 2, 1), Q("2,68"));
    EXPECT_EQ(f.OldFDNum(Variant(1e20), 0, 1), Q("100.000.000.000.00"));
    EXPECT_EQ(f.OldFDNum(Variant(std::int32_t(123456)), 1, 1), Q("123.456,0"));
    EXPECT_EQ(f.OldFDNum(Variant(Q("1234,5")), 2, 1), Q("1.234,50"));
    EXPECT_EQ(f.OldFDNum(Variant(Q("abc")), 2, 1), QString());
    EXPECT_EQ(f.OldFDNum(Variant::null(), 2, 1), QString());
    EXPECT_EQ(f.OldFDNum(Variant(), 2, 1), Q("0,00"));
    EXPECT_EQ(f.OldFDNum(Variant(C("123456789012345.678")), 4, 1), Q("123.456.789.012.34"));
    EXPECT_EQ(f.OldFDNum(Variant(C("1.5")), 32767, 1), Q("1,5000000000000000"));

    Locale().gstrMilSep = Q("EMPTY");
    QString none;
    EXPECT_EQ(f.OldFDNum(Variant(C("1234.5")), 1, 1, 0, none), Q("1234,5"));
    EXPECT_EQ(none, QString());
}

}  // namespace
