#include "crypto/clsEncripta.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <climits>

using crypto::clsEncripta;

TEST(Encripta, RoundTripsWithEmptyAndGivenKeys) {
    clsEncripta cipher;
    QString longText;
    for (int i = 0; i < 10000; ++i) longText.append(QChar(u'a' + i % 26));
    const QString texts[] = {
        QString(), QStringLiteral("x"), QStringLiteral("1234567"), QStringLiteral("12345678"),
        QStringLiteral("123456789"), QStringLiteral("ção€"), QStringLiteral("Pass  word “aspas” ÁÉÍÓÚ ü"),
        longText, longText.repeated(4),
    };
    for (const QString& key : {QString(), QStringLiteral("segredo"), QStringLiteral("chave com ç")}) {
        for (const QString& text : texts) {
            const QString hex = cipher.Encripta(0, key, text);
            EXPECT_EQ(hex.size(), 2 * (8 + (4 + text.size() + 7) / 8 * 8));
            EXPECT_EQ(cipher.Desencripta(0, key, hex), text) << text.left(20).toStdString();
        }
    }
}

TEST(Encripta, HexIsUpperCaseAndReadInEitherCase) {
    clsEncripta cipher;
    const QString hex = cipher.Encripta(0, QString(), QStringLiteral("senha"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{48}$")).match(hex).hasMatch()) << hex.toStdString();
    EXPECT_EQ(cipher.Desencripta(0, QString(), hex.toLower()), QStringLiteral("senha"));
    EXPECT_NE(cipher.Encripta(0, QString(), QStringLiteral("senha")), hex);
    EXPECT_EQ(cipher.Encripta(0, QString(), QString()).size(), 32);
}

TEST(Encripta, DamagedCipherTextGivesEmptyText) {
    clsEncripta cipher;
    const QString hex = cipher.Encripta(0, QString(), QStringLiteral("123456789"));
    ASSERT_EQ(hex.size(), 48);
    const QString damaged[] = {
        QString(), QStringLiteral("A"), QStringLiteral("ZZ"), hex.left(47), hex + QStringLiteral("0"),
        hex.left(32),                                    // last block cut: the stored length exceeds it
        hex.left(46) + QStringLiteral("G0"), QStringLiteral(" ") + hex.left(47), hex + QStringLiteral("\n "),
        QString(40000, QChar(u'F')), QString(40001, QChar(u'0')),
    };
    for (const QString& text : damaged) EXPECT_TRUE(cipher.Desencripta(0, QString(), text).isEmpty()) << text.left(50).toStdString();
    EXPECT_NE(cipher.Desencripta(0, QStringLiteral("outra"), hex), QStringLiteral("123456789"));
}

TEST(Encripta, OnlySelectorZeroIsCarried) {
    clsEncripta cipher;
    const QString hex = cipher.Encripta(0, QString(), QStringLiteral("senha"));
    for (const int selector : {INT_MIN, -1, 1, 2, 3, 4, 5, 6, 7, 8, 9, INT_MAX}) {
        EXPECT_TRUE(cipher.Encripta(selector, QString(), QStringLiteral("senha")).isEmpty()) << selector;
        EXPECT_TRUE(cipher.Desencripta(selector, QString(), hex).isEmpty()) << selector;
    }
}
