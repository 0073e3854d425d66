#include <gtest/gtest.h>

#include "util/EDiv.h"

using data::Currency;
using data::Variant;

namespace {

Variant amount(const char* text) { return Variant(*Currency::parse(QString::fromLatin1(text))); }

}  // namespace

TEST(Extenso, WritesTheWorkedExampleWithItsTrailingSubUnitBlank) {
    EDiv e;
    EXPECT_EQ(e.Extenso(amount("1234.56")), "Mil Duzentos e Trinta e Quatro e Cinquenta e Seis ");
    EXPECT_EQ(e.Extenso(Variant(1234.56)), "Mil Duzentos e Trinta e Quatro e Cinquenta e Seis ");
    EXPECT_EQ(e.Extenso(Variant(QStringLiteral("1234.56"))), "Mil Duzentos e Trinta e Quatro e Cinquenta e Seis ");
}

TEST(Extenso, UnitsAndGender) {
    EDiv e;
    EXPECT_EQ(e.Extenso(amount("0")), "Zero");
    EXPECT_EQ(e.Extenso(amount("1")), "Um");
    EXPECT_EQ(e.Extenso(amount("2")), "Dois");
    EXPECT_EQ(e.Extenso(amount("3")), QString::fromUtf16(u"Três"));
    EXPECT_EQ(e.Extenso(amount("9")), "Nove");
    EXPECT_EQ(e.Extenso(amount("1"), {}, QStringLiteral("F")), "Uma");
    EXPECT_EQ(e.Extenso(amount("2"), {}, QStringLiteral("F")), "Duas");
    EXPECT_EQ(e.Extenso(amount("2"), {}, QStringLiteral("m")), "Duas") << "the gender is compared exactly";
    EXPECT_EQ(e.Extenso(amount("22"), {}, QStringLiteral("F")), "Vinte e Duas");
    EXPECT_EQ(e.Extenso(amount("200"), {}, QStringLiteral("F")), "Duzentos") << "hundreds keep their gender";
    EXPECT_EQ(e.Extenso(amount("1000000"), {}, QStringLiteral("F")), QString::fromUtf16(u"Um Milhão De"));
}

TEST(Extenso, TensAndTeens) {
    EDiv e;
    EXPECT_EQ(e.Extenso(amount("10")), "Dez");
    EXPECT_EQ(e.Extenso(amount("11")), "Onze");
    EXPECT_EQ(e.Extenso(amount("14")), "Catorze");
    EXPECT_EQ(e.Extenso(amount("16")), "Dezasseis");
    EXPECT_EQ(e.Extenso(amount("17")), "Dezassete");
    EXPECT_EQ(e.Extenso(amount("19")), "Dezanove");
    EXPECT_EQ(e.Extenso(amount("20")), "Vinte");
    EXPECT_EQ(e.Extenso(amount("21")), "Vinte e Um");
    EXPECT_EQ(e.Extenso(amount("99")), "Noventa e Nove");
}

TEST(Extenso, HundredsAndThousands) {
    EDiv e;
    EXPECT_EQ(e.Extenso(amount("100")), "Cem");
    EXPECT_EQ(e.Extenso(amount("101")), "Cento e Um");
    EXPECT_EQ(e.Extenso(amount("110")), "Cento e Dez");
    EXPECT_EQ(e.Extenso(amount("115")), "Cento e Quinze");
    EXPECT_EQ(e.Extenso(amount("120")), "Cento e Vinte");
    EXPECT_EQ(e.Extenso(amount("500")), "Quinhentos");
    EXPECT_EQ(e.Extenso(amount("999")), "Novecentos e Noventa e Nove");
    EXPECT_EQ(e.Extenso(amount("1000")), "Mil ");
    EXPECT_EQ(e.Extenso(amount("1001")), "Mil Um");
    EXPECT_EQ(e.Extenso(amount("1100")), "Mil e Cem");
    EXPECT_EQ(e.Extenso(amount("2000")), "Dois Mil ");
    EXPECT_EQ(e.Extenso(amount("2100")), "Dois Mil e Cem");
    EXPECT_EQ(e.Extenso(amount("10000")), "Dez Mil ");
    EXPECT_EQ(e.Extenso(amount("100000")), "Cem Mil ");
    EXPECT_EQ(e.Extenso(amount("101000")), "Cento e Um Mil ");
}

TEST(Extenso, Millions) {
    EDiv e;
    EXPECT_EQ(e.Extenso(amount("1000000")), QString::fromUtf16(u"Um Milhão De"));
    EXPECT_EQ(e.Extenso(amount("2500000")), QString::fromUtf16(u"Dois Milhões Quinhentos Mil "));
    EXPECT_EQ(e.Extenso(amount("15000000")), QString::fromUtf16(u"Quinze Milhões De"));
    EXPECT_EQ(e.Extenso(amount("1001001")), QString::fromUtf16(u"Um Milhão Mil Um"))
        << "a thousands group of 001 reads as Mil only at the thousands position";
    EXPECT_EQ(e.Extenso(amount("1000100")), QString::fromUtf16(u"Um Milhão e Cem"));
    EXPECT_EQ(e.Extenso(amount("21000000")), QString::fromUtf16(u"Vinte e Um Milhões De"));
    EXPECT_EQ(e.Extenso(amount("999999999")),
              QString::fromUtf16(u"Novecentos e Noventa e Nove Milhões Novecentos e Noventa e Nove Mil Novecentos e "
                                 u"Noventa e Nove"));
}

TEST(Extenso, Cents) {
    EDiv e;
    EXPECT_EQ(e.Extenso(amount("0.50")), "Cinquenta ") << "no integer words and no joining word before the cents";
    EXPECT_EQ(e.Extenso(amount("0.01")), "Um ");
    EXPECT_EQ(e.Extenso(amount("0.10")), "Dez ");
    EXPECT_EQ(e.Extenso(amount("0.15")), "Quinze ");
    EXPECT_EQ(e.Extenso(amount("1.50")), "Um e Cinquenta ");
    EXPECT_EQ(e.Extenso(amount("2.01")), "Dois e Um ");
    EXPECT_EQ(e.Extenso(amount("100.25")), "Cem e Vinte e Cinco ");
    EXPECT_EQ(e.Extenso(amount("1000000.99")), QString::fromUtf16(u"Um Milhão De e Noventa e Nove "));
    EXPECT_EQ(e.Extenso(amount("1.005")), "Um") << "cents are rounded by the picture (half to even)";
    EXPECT_EQ(e.Extenso(amount("0.999")), "Um");
}

TEST(Extenso, GivenUnitNamesNeverAppear) {
    EDiv e;
    const QString withNames = e.Extenso(amount("1234.56"), QStringLiteral("EUR"), QStringLiteral("M"),
                                        QStringLiteral(" Euro "), QStringLiteral("Euros"), QStringLiteral("Cêntimo"),
                                        QStringLiteral("Cêntimos"));
    EXPECT_EQ(withNames, "Mil Duzentos e Trinta e Quatro e Cinquenta e Seis ");
    EXPECT_EQ(e.Extenso(amount("1"), {}, QStringLiteral("M"), QStringLiteral("Euro"), QStringLiteral("Euros")), "Um");
    EXPECT_EQ(e.Extenso(amount("0"), {}, QStringLiteral("M"), QStringLiteral("Euro"), QStringLiteral("Euros")),
              "Zero");
}

TEST(Extenso, UnreadableOrUndefinedAmountsGiveAnAnswer) {
    EDiv e;
    EXPECT_EQ(e.Extenso(Variant(QStringLiteral("abc"))), "");
    EXPECT_EQ(e.Extenso(Variant::null()), "");
    EXPECT_EQ(e.Extenso(Variant(QString(40000, u'9'))), "");
    EXPECT_EQ(e.Extenso(Variant()), "Zero") << "an empty value reads as 0";
    // No defined wording, but no crash and no hang: a negative amount and one past nine digits.
    EXPECT_FALSE(e.Extenso(amount("-5")).isEmpty());
    EXPECT_FALSE(e.Extenso(amount("1234567890.12")).isEmpty());
    EXPECT_NO_THROW(e.Extenso(Variant(Currency::max())));
    EXPECT_NO_THROW(e.Extenso(Variant(Currency::min())));
}
