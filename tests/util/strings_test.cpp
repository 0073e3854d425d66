#include <gtest/gtest.h>

#include "platform/runtime_error.h"
#include "platform/win1252.h"
#include "support/messagebox_recorder.h"
#include "util/EDiv.h"

using data::Variant;

namespace {

QStringList texts(const std::vector<Variant>& v) {
    QStringList out;
    for (const auto& x : v) out << x.toString();
    return out;
}

}  // namespace

TEST(Zerar, PadsTrimmedTextAndWidensTheCallersWidth) {
    EDiv e;
    EXPECT_EQ(e.Zerar("7", 3), "007");
    EXPECT_EQ(e.Zerar(" 7 ", 3, QStringLiteral("x")), "xx7");
    EXPECT_EQ(e.Zerar("", 3), "000");
    EXPECT_EQ(e.Zerar("\t7", 3), "0\t7") << "only blanks are trimmed";

    std::int16_t width = 4;
    QString fill;
    EXPECT_EQ(e.Zerar("123456", width, fill), "123456");
    EXPECT_EQ(width, 6);
    EXPECT_EQ(fill, "0") << "the default fill character is written back";

    width = 0;
    EXPECT_EQ(e.Zerar("abc", width), "abc");
    EXPECT_EQ(width, 3);

    width = -5;
    EXPECT_EQ(e.Zerar("ab", width), "ab") << "a negative width never gives a negative pad";
    EXPECT_EQ(width, 2);

    fill = QStringLiteral("xy");
    width = 4;
    EXPECT_EQ(e.Zerar("1", width, fill), "xxx1") << "only the first fill character counts";
}

TEST(Zerar, TextsBeyondTheSixteenBitWidthRaiseOverflowInsteadOfWrapping) {
    EDiv e;
    const QString longText(40000, u'9');
    std::int16_t width = 10;
    try {
        e.Zerar(longText, width);
        FAIL() << "expected overflow";
    } catch (const platform::RuntimeError& err) {
        EXPECT_EQ(err.number(), platform::errnum::Overflow);
    }
    EXPECT_EQ(e.Zerar(QString(32767, u'1'), 5).size(), 32767);
}

TEST(Strings, RemovalCountingAndLineBreaks) {
    EDiv e;
    EXPECT_EQ(e.Tirar_Espacos_str(" 1000 - 100 Lisboa ", " "), "1000-100Lisboa");
    EXPECT_EQ(e.Tirar_Espacos_str("   ", " "), "");
    EXPECT_EQ(e.Tirar_Espacos_str("a b", "ab"), "a b") << "a multi-character pattern removes nothing";
    EXPECT_EQ(e.Tirar_Espacos_str("a b", ""), "a b");

    EXPECT_EQ(e.ContaCHR("Banana", "A"), 3);
    EXPECT_EQ(e.ContaCHR("Banana", "an"), 0);
    EXPECT_EQ(e.ContaCHR("", "a"), 0);
    EXPECT_EQ(e.ContaCHR(QString(40000, u'x'), "y"), 0) << "long texts are walked whole";
    EXPECT_THROW(e.ContaCHR(QString(40000, u'x'), "X"), platform::RuntimeError);

    EXPECT_EQ(e.StripVBCRLFString(" a\r\nb ", " "), "a  b");
    EXPECT_EQ(e.StripVBCRLFString(" a\r\nb ", ""), "a\r\nb");
    EXPECT_EQ(e.StripVBCRLFString("\r\n", "_"), "__");
}

TEST(Strings, BooleanBridgesAndNullDefault) {
    EDiv e;
    testsupport::MessageBoxRecorder boxes;
    EXPECT_TRUE(e.IntToBool(1));
    EXPECT_FALSE(e.IntToBool(0));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(e.IntToBool(2));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Esta Função só deve ser utilizada com valores de 1 e 0"));
    EXPECT_EQ(boxes.shown[0].style, 0);
    EXPECT_EQ(e.BoolToInt(false), 0);
    EXPECT_EQ(e.BoolToInt(true), 1);

    EXPECT_EQ(e.IsNulo(Variant::null(), Variant(5)).toInt32(), 5);
    EXPECT_TRUE(e.IsNulo(Variant(), Variant(5)).isEmpty()) << "Empty is not Null";
    EXPECT_EQ(e.IsNulo(Variant("x"), Variant(5)).toString(), "x");
}

TEST(Strings, AccentFoldingAndTheSelfInverseScramble) {
    EDiv e;
    EXPECT_EQ(e.ReplacePortChar(QStringLiteral("Conceição")), "Conceicao");
    EXPECT_EQ(e.ReplacePortChar(QStringLiteral("€")), "E");
    EXPECT_EQ(e.ReplacePortChar(QStringLiteral("1ºª ÃÕ ñ")), QStringLiteral("1oa AO ñ"));
    EXPECT_EQ(e.ReplacePortChar(""), "");

    EXPECT_EQ(e.Encrypt("A"), QString(QChar(235)));
    QString all;
    for (int c = 1; c < 256; ++c) all += platform::ansiChar(c);
    EXPECT_EQ(e.Decrypt(e.Encrypt(all)), all);
    EXPECT_EQ(e.Encrypt(all).size(), all.size());
    EXPECT_EQ(e.Encrypt(""), "");
    EXPECT_EQ(e.Decrypt(e.Encrypt(QStringLiteral("日"))), "?") << "outside the code page reads as ?";
}

TEST(Strings, BinaryDigitHelpers) {
    EDiv e;
    std::int16_t n = 65;
    EXPECT_EQ(e.DecToBin(n), "01000001");
    EXPECT_EQ(n, 0) << "the caller's variable is halved down to 0";
    EXPECT_EQ(e.InverteBin("01000001"), "11101011");
    EXPECT_EQ(e.BinToDec("11101011"), 235);
    EXPECT_EQ(e.DecToBin(0), "00000000");
    EXPECT_EQ(e.DecToBin(-3), "00000000");
    EXPECT_EQ(e.DecToBin(300), "100101100");
    EXPECT_EQ(e.BinToDec("1x1"), 5);
    EXPECT_EQ(e.BinToDec("0111111111111111"), 32767);
    EXPECT_THROW(e.BinToDec("1000000000000000"), platform::RuntimeError);
    EXPECT_EQ(e.InverteBin("01"), "10") << "short texts give what is there";
}

TEST(Splitting, StripStringKeepsEmptyTrimmedParts) {
    EDiv e;
    std::vector<Variant> a;
    EXPECT_TRUE(e.StripString("a;b;", ";", a));
    EXPECT_EQ(texts(a), (QStringList{"a", "b", ""}));
    EXPECT_TRUE(e.StripString(" abc ", ";", a));
    EXPECT_EQ(texts(a), (QStringList{"abc"}));
    EXPECT_TRUE(e.StripString(" x ::y::", "::", a));
    EXPECT_EQ(texts(a), (QStringList{"x", "y", ""}));
    EXPECT_TRUE(e.StripString("a;b", "", a)) << "an empty separator must not hang";
    EXPECT_EQ(texts(a), (QStringList{"a;b"}));
    EXPECT_TRUE(e.StripString("", ";", a));
    EXPECT_EQ(texts(a), (QStringList{""}));
}

TEST(Splitting, FastStripStringDropsEmptyPartsAndKeepsBlanks) {
    EDiv e;
    std::vector<Variant> a;
    EXPECT_TRUE(e.FastStripString(";a;;b;", ";", a));
    EXPECT_EQ(texts(a), (QStringList{"a", "b"}));
    EXPECT_FALSE(e.FastStripString("   ", ";", a));
    EXPECT_EQ(texts(a), (QStringList{""}));
    EXPECT_TRUE(e.FastStripString(" a ,, b", ",,", a));
    EXPECT_EQ(texts(a), (QStringList{" a ", " b"}));
    EXPECT_TRUE(e.FastStripString("ab", "", a));
    EXPECT_EQ(texts(a), (QStringList{"ab"}));
    QString big;
    for (int i = 0; i < 20000; ++i) big += QStringLiteral("x;");
    EXPECT_TRUE(e.FastStripString(big, ";", a));
    EXPECT_EQ(a.size(), 20000u);
}

TEST(Splitting, GetArgSplitsAtBlanksFromIndexOne) {
    EDiv e;
    std::vector<QString> argv;
    std::int16_t argc = 0;
    e.GetArg("run now fast", argv, argc);
    EXPECT_EQ(argc, 3);
    ASSERT_EQ(argv.size(), 4u);
    EXPECT_EQ(argv[0], "");
    EXPECT_EQ(argv[1], "run");
    EXPECT_EQ(argv[2], "now");
    EXPECT_EQ(argv[3], "fast");

    e.GetArg("a  b", argv, argc);
    EXPECT_EQ(argc, 3);
    EXPECT_EQ(argv[1], "a");
    EXPECT_EQ(argv[2], " b") << "the blank right after a blank is no separator";

    e.GetArg("single", argv, argc);
    EXPECT_EQ(argc, 1);
    ASSERT_EQ(argv.size(), 2u);
    EXPECT_EQ(argv[1], "");
}

TEST(Splitting, SortArrayBothDirections) {
    EDiv e;
    std::vector<Variant> a{Variant(3), Variant(1), Variant(2)};
    e.SortArray(a, 1);
    EXPECT_EQ(texts(a), (QStringList{"3", "2", "1"}));
    e.SortArray(a, 0);
    EXPECT_EQ(texts(a), (QStringList{"1", "2", "3"}));
    std::vector<Variant> s{Variant("b"), Variant("B"), Variant("a")};
    e.SortArray(s, 7);
    EXPECT_EQ(texts(s), (QStringList{"B", "a", "b"})) << "texts compare by exact character codes";
    std::vector<Variant> none;
    e.SortArray(none, 0);
    EXPECT_TRUE(none.empty());
}

TEST(CodeLists, CaptionLookupAndArray) {
    EDiv e;
    const QString papers = "9:A4 210x297mm;40:Letter 8.5x12;1:Letter 8.5x11;3:Tabloid 11x17;11:A5 148x210;256:Definido;";
    EXPECT_EQ(e.eselChave("40", papers), "Letter 8.5x12");
    EXPECT_EQ(e.eselChave("256", papers), "Definido");
    EXPECT_EQ(e.eselChave("7", papers), "");
    EXPECT_EQ(e.eselChave("a", "A:Alpha;b:Beta:x;"), "Alpha");
    EXPECT_EQ(e.eselChave("B", "A:Alpha;b:Beta:x;"), "Beta:x") << "a caption may hold ':'";
    EXPECT_EQ(e.eselChave("x", ""), "");
    EXPECT_EQ(e.eselChave("a", "a:1"), "") << "text after the last ';' is not part of the list";
    EXPECT_EQ(e.eselChave("b", "a:1;b:2"), "");

    std::vector<std::array<Variant, 2>> rows;
    e.eselToArray(papers, rows);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0][0].toString(), "9");
    EXPECT_EQ(rows[0][1].toString(), "A4 210x297mm");
    EXPECT_EQ(rows[5][1].toString(), "Definido");

    rows.assign(1, {Variant("keep"), Variant("me")});
    e.eselToArray("", rows);
    EXPECT_EQ(rows[0][0].toString(), "keep") << "an empty list leaves the array alone";
}

TEST(CodeLists, MalformedListsReachTheCallerAsErrors) {
    EDiv e;
    std::vector<std::array<Variant, 2>> rows;
    EXPECT_THROW(e.eselChave("a", "a:1;broken;"), platform::RuntimeError);
    EXPECT_THROW(e.eselToArray("no separator", rows), platform::RuntimeError);
    EXPECT_THROW(e.eselToArray("x;", rows), platform::RuntimeError);
}
