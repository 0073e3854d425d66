// Faults the fuzzing of the settings-file reader and writer found, kept from coming back.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/profile.h"

using platform::privateProfileValue;
using platform::WritePrivateProfileString;

// Found with a section named "Ne\xFF" (an invalid UTF-8 byte, read as U+FFFD): the name was
// stored as "Ne?", so the key never read back and each later write added the section again.
TEST(ProfileRegression, NamesOutsideTheCodePageAreRefusedNotStoredAsAnotherName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Velmora.ini"));
    const QByteArray original("[a]\r\nk=second\r\n");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(original);
    }
    const QString replacement = QStringLiteral("Ne") + QChar(0xFFFD);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(WritePrivateProfileString(replacement, QStringLiteral("Key"), QStringLiteral("v"), path));
        EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("a"), QStringLiteral("Chave") + QChar(0x0416),
                                               QStringLiteral("v"), path));
        EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("a"), QStringLiteral("k") + QChar(0xD83D) + QChar(0xDE00),
                                               QStringLiteral("v"), path));
        // A best fit is not the name either: "Łódź" would be written "Lódz".
        EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("Łódź"), QStringLiteral("k"), QStringLiteral("v"), path));
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), original);

    // Names the code page holds, a literal "?" and the euro sign included, still work.
    EXPECT_TRUE(WritePrivateProfileString(QStringLiteral("Conceição?"), QStringLiteral("P€"), QStringLiteral("1"), path));
    EXPECT_EQ(privateProfileValue(QStringLiteral("CONCEIÇÃO?"), QStringLiteral("p€"), path), QStringLiteral("1"));
    // Values outside the code page are still written, as their fit or "?": only names must match.
    EXPECT_TRUE(WritePrivateProfileString(QStringLiteral("a"), QStringLiteral("k"), QStringLiteral("Łódź 中"), path));
    EXPECT_EQ(privateProfileValue(QStringLiteral("a"), QStringLiteral("k"), path), QStringLiteral("Lódz ?"));
}
