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

TEST(Win1252, CharactersOutsideTheCodePageBecomeOneQuestionMark) {
    EXPECT_EQ(ansiCode(QChar(0x0141)), '?');  // L with stroke
    EXPECT_EQ(ansiCode(QChar(0x202F)), '?');  // narrow no-break space
    EXPECT_EQ(ansiCode(QChar(u'?')), '?');
    // A character beyond the 16-bit range is one character: one "?", not two.
    EXPECT_EQ(toAnsi(QStringLiteral("a\U0001F600b")), QByteArray("a?b"));
    // A lone surrogate is a character of its own.
    EXPECT_EQ(toAnsi(QString(QChar(0xD800)) + u'x'), QByteArray("?x"));
    EXPECT_EQ(toAnsi(QString()), QByteArray());
    EXPECT_EQ(fromAnsi(QByteArray("a\0b", 3)).size(), 3);
}

TEST(Win1252, LongTextsConvertWhole) {
    const QString text(40000, QChar(0x20AC));
    const QByteArray bytes = toAnsi(text);
    ASSERT_EQ(bytes.size(), 40000);
    EXPECT_EQ(bytes.count('\x80'), 40000);
    EXPECT_EQ(fromAnsi(bytes), text);
}
