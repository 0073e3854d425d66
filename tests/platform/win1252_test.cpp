#include <gtest/gtest.h>

#include <QString>

#include "platform/win1252.h"

using platform::ansiChar;
using platform::ansiCode;
using platform::fromAnsi;
using platform::toAnsi;

TEST(Win1252, EveryByteSurvivesARoundTrip) {
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
    const QString text = fromAnsi(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toAnsi(text), all);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(ansiCode(ansiChar(b)), b) << b;
}

TEST(Win1252, HighCodesAreTheWindowsCharactersNotLatin1) {
    EXPECT_EQ(ansiChar(0x80), QChar(0x20AC));  // euro
    EXPECT_EQ(ansiChar(0x92), QChar(0x2019));  // right single quote
    EXPECT_EQ(ansiChar(0x9F), QChar(0x0178));  // Y with diaeresis
    EXPECT_EQ(ansiChar(0x81), QChar(0x0081));  // unassigned: the C1 control of the same value
    EXPECT_EQ(ansiChar(0xE7), QChar(0x00E7));  // c cedilla, as in Latin-1
    EXPECT_EQ(ansiChar(0x100 + 0x41), QChar(u'A'));  // codes beyond a byte wrap
    EXPECT_EQ(ansiChar(-1), QChar(0x00FF));
    EXPECT_EQ(toAnsi(QStringLiteral("Conceição €")), QByteArray("Concei\xE7\xE3o \x80"));
    EXPECT_EQ(fromAnsi(QByteArray("Concei\xE7\xE3o \x80")), QStringLiteral("Conceição €"));
}

TEST(Win1252, CharactersWithNoFitBecomeOneQuestionMark) {
    EXPECT_EQ(ansiCode(QChar(0x0416)), '?');  // Cyrillic Zhe
    EXPECT_EQ(ansiCode(QChar(0x05D0)), '?');  // Hebrew Alef
    EXPECT_EQ(ansiCode(QChar(0x202F)), '?');  // narrow no-break space
    EXPECT_EQ(ansiCode(QChar(0x0080)), '?');  // a C1 control the code page gave a character
    EXPECT_EQ(ansiCode(QChar(u'?')), '?');
    EXPECT_EQ(toAnsi(QStringLiteral("\u4e2d\u6587 \u0416\u0443\u043a")), QByteArray("?? ???"));
    // A character beyond the 16-bit range is one character: one "?", not two.
    EXPECT_EQ(toAnsi(QStringLiteral("a\U0001F600b\U0001F1F5\U0001F1F9")), QByteArray("a?b??"));
    // A lone surrogate is a character of its own.
    EXPECT_EQ(toAnsi(QString(QChar(0xD800)) + u'x' + QChar(0xDC00)), QByteArray("?x?"));
    EXPECT_EQ(toAnsi(QString()), QByteArray());
    EXPECT_EQ(fromAnsi(QByteArray("a\0b", 3)).size(), 3);
}

TEST(Win1252, LatinExtendedLettersTakeTheirBestFit) {
    // U+0100-U+024F as the published table writes them, sixteen a row; "?" where it has none.
    const char16_t* const rows[] = {
        u"AaAaAaCcCcCcCcDd",  // 0100
        u"ÐdEeEeEeEeEeGgGg",  // 0110
        u"GgGgHhHhIiIiIiIi",  // 0120
        u"Ii??JjKk?LlLlLl?",  // 0130
        u"?LlNnNnNn???OoOo",  // 0140
        u"OoŒœRrRrRrSsSsSs",  // 0150
        u"ŠšTtTtTtUuUuUuUu",  // 0160
        u"UuUuWwYyŸZzZzŽž?",  // 0170
        u"b????????Ð??????",  // 0180
        u"?ƒƒ????I??l????O",  // 0190
        u"Oo?????????t??TU",  // 01A0
        u"u?????z?????????",  // 01B0
        u"|?\?!?????????AaI",  // 01C0
        u"iOoUuUuUuUuUu?Aa",  // 01D0
        u"????GgGgKkOoOo??",  // 01E0
        u"j???????????????",  // 01F0
        u"????????????????",  // 0200
        u"????????????????",  // 0210
        u"????????????????",  // 0220
        u"????????????????",  // 0230
        u"????????????????",  // 0240
    };
    for (char16_t u = 0x100; u < 0x250; ++u) {
        const QChar fit = rows[(u - 0x100) / 16][u % 16];
        EXPECT_EQ(ansiChar(ansiCode(QChar(u))), fit) << std::hex << int(u);
        EXPECT_EQ(platform::inCodePage(QChar(u)), fit == QChar(u)) << std::hex << int(u);
    }
    // Codes told apart only by such a letter stay apart.
    EXPECT_EQ(toAnsi(QStringLiteral("Ż01 Ś01 PŁ3 PŚ3 Łódź")), QByteArray("Z01 S01 PL3 PS3 L\xF3" "dz"));
    // The code page's own letters among them keep their codes.
    EXPECT_EQ(toAnsi(QStringLiteral("ŠšŒœŽžŸƒ")), QByteArray("\x8A\x9A\x8C\x9C\x8E\x9E\x9F\x83"));
}

TEST(Win1252, OtherBlocksOfTheTable) {
    EXPECT_EQ(toAnsi(QStringLiteral("Ａｂｃ１２？～")), QByteArray("Abc12?~"));
    EXPECT_EQ(toAnsi(QStringLiteral("\u2010\u2011\u2212 ‘x’ \u2002\u3000")), QByteArray("--- \x91x\x92   "));
    EXPECT_EQ(toAnsi(QStringLiteral("∞≤ℂ™⁰₉╔║")), QByteArray("8=C\x99\xB0" "9+\xA6"));
    EXPECT_EQ(toAnsi(QStringLiteral("Ωαβμπ\u0393")), QByteArray("Oa\xDF\xB5pG"));
}

TEST(Win1252, DecomposedTextIsComposedFirst) {
    EXPECT_EQ(toAnsi(QStringLiteral("Jose\u0301")), QByteArray("Jos\xE9"));
    EXPECT_EQ(toAnsi(QStringLiteral("\u0141o\u0301dz\u0301 S\u0301")), QByteArray("L\xF3" "dz S"));
    // A letter the table lacks stays one "?" once composed, not a letter and a mark.
    EXPECT_EQ(toAnsi(QStringLiteral("A\u030a\u0301|S\u0326")), QByteArray("?|?"));
    // Marks compose in their canonical order, whatever order they come in: c, cedilla and
    // acute are the one letter U+1E09, which the table lacks, not "\u0107" and a cedilla.
    EXPECT_EQ(toAnsi(QStringLiteral("c\u0301\u0327")), QByteArray("?"));
    // A mark nothing composes with keeps its own fit; one that composition splits takes two codes.
    EXPECT_EQ(toAnsi(QStringLiteral("q\u0301 \u20ac\u0308 \u0344")), QByteArray("q\xB4 \x80\xA8 \xA8\xB4"));
    // Characters composition only replaces (the ohm and angstrom signs).
    EXPECT_EQ(toAnsi(QStringLiteral("\u2126\u212b")), QByteArray("O\xC5"));
    // The mark at the very end of a long text still composes with its letter.
    const QString longText = QString(40000, u'e') + QChar(0x0301);
    const QByteArray bytes = toAnsi(longText);
    ASSERT_EQ(bytes.size(), 40000);
    EXPECT_EQ(bytes.count('e'), 39999);
    EXPECT_EQ(bytes.back(), '\xE9');
}

TEST(Win1252, OneCharacterConvertsAloneAsInAText) {
    int held = 0;
    for (char32_t u = 0; u < 0x10000; ++u) {
        const QChar c(static_cast<char16_t>(u));
        held += platform::inCodePage(c) ? 1 : 0;
        if (c.isSurrogate()) continue;
        const QString one(c);
        if (one.normalized(QString::NormalizationForm_C).size() != 1) continue;
        ASSERT_EQ(toAnsi(one), QByteArray(1, static_cast<char>(ansiCode(c)))) << std::hex << int(u);
    }
    EXPECT_EQ(held, 256);
}

TEST(Win1252, LongTextsConvertWhole) {
    const QString text(40000, QChar(0x20AC));
    const QByteArray bytes = toAnsi(text);
    ASSERT_EQ(bytes.size(), 40000);
    EXPECT_EQ(bytes.count('\x80'), 40000);
    EXPECT_EQ(fromAnsi(bytes), text);
}
