// Settings files no editor of the system would write: no sections, the same section or key
// twice, every kind of line end, binary garbage and NUL bytes, a line of 100,000 characters,
// several megabytes. The reader gives a defined answer for each, and a write changes only the
// value it writes (or adds its key) and keeps every other byte.

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "platform/profile.h"

using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

namespace {

class ProfileGarbage : public ::testing::Test {
protected:
    QString path() const { return dir_.filePath(QStringLiteral("Velmora.ini")); }
    void put(const QByteArray& bytes) const {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray bytes() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QString read(const char* section, const char* key) const {
        return GetPrivateProfileString(QString::fromLatin1(section), QString::fromLatin1(key), QString(), 255, path());
    }
    bool write(const char* section, const char* key, const QString& value) const {
        return WritePrivateProfileString(QString::fromLatin1(section), QString::fromLatin1(key), value, path());
    }

    QTemporaryDir dir_;
};

TEST_F(ProfileGarbage, EveryKindOfLineEndReadsTheSameKeys) {
    const QByteArray linhas[] = {"[Extractor]", "P1=3", "P9=08:30", "[Email]", "To=a@x.pt"};
    for (const QByteArray& fim : {QByteArray("\r\n"), QByteArray("\n"), QByteArray("\r"), QByteArray("\r\r\n")}) {
        SCOPED_TRACE(fim.toHex().constData());
        QByteArray file;
        for (const QByteArray& l : linhas) file += l + fim;
        put(file);
        EXPECT_EQ(read("Extractor", "P1"), QStringLiteral("3"));
        EXPECT_EQ(read("Extractor", "P9"), QStringLiteral("08:30"));
        EXPECT_EQ(read("Email", "To"), QStringLiteral("a@x.pt"));

        // A changed value and a new key: every other byte stays, line ends included.
        ASSERT_TRUE(write("Extractor", "P9", QStringLiteral("10:00")));
        QByteArray expected = file;
        expected.replace("P9=08:30", "P9=10:00");
        EXPECT_EQ(bytes(), expected);
        ASSERT_TRUE(write("Extractor", "P12", QStringLiteral("Em Curso")));
        EXPECT_EQ(read("Extractor", "P12"), QStringLiteral("Em Curso"));
        EXPECT_EQ(read("Email", "To"), QStringLiteral("a@x.pt"));
        QByteArray semChave = bytes();
        EXPECT_EQ(semChave.count("P12=Em Curso\r\n"), 1);
        semChave.replace("P12=Em Curso\r\n", "");
        EXPECT_EQ(semChave, expected);
    }
    // Mixed line ends in one file.
    put("[Extractor]\rP1=1\nP7=6\r\nP9=07:00");
    EXPECT_EQ(read("Extractor", "P1"), QStringLiteral("1"));
    EXPECT_EQ(read("Extractor", "P7"), QStringLiteral("6"));
    EXPECT_EQ(read("Extractor", "P9"), QStringLiteral("07:00"));
}

TEST_F(ProfileGarbage, NoSectionsDuplicatesAndBrokenHeaders) {
    // Keys before any section belong to none; a header without "]" is no header.
    put("P1=3\r\nP9=08:00\r\n[Extractor\r\nP7=2\r\n");
    EXPECT_EQ(read("Extractor", "P1"), QString());
    EXPECT_EQ(read("Extractor", "P7"), QString());
    const QByteArray antes = bytes();
    ASSERT_TRUE(write("Extractor", "P1", QStringLiteral("5")));
    EXPECT_EQ(bytes(), antes + "[Extractor]\r\nP1=5\r\n");
    EXPECT_EQ(read("Extractor", "P1"), QStringLiteral("5"));

    // The same section and key twice: the first of each is read and written, the rest is left
    // as it was.
    const QByteArray dup =
        "[Extractor]\r\nP1=1\r\nP1=2\r\n[Email]\r\nTo=x\r\n[EXTRACTOR]\r\nP1=9\r\nP8=segundo\r\n[Email]\r\nTo=y\r\n";
    put(dup);
    EXPECT_EQ(read("Extractor", "P1"), QStringLiteral("1"));
    EXPECT_EQ(read("Extractor", "P8"), QString());
    EXPECT_EQ(read("Email", "To"), QStringLiteral("x"));
    ASSERT_TRUE(write("extractor", "p1", QStringLiteral("7")));
    ASSERT_TRUE(write("Extractor", "P8", QStringLiteral("primeiro")));
    QByteArray expected = dup;
    expected.replace("P1=1\r\nP1=2\r\n", "P1=7\r\nP1=2\r\nP8=primeiro\r\n");
    EXPECT_EQ(bytes(), expected);
    EXPECT_EQ(read("Extractor", "P8"), QStringLiteral("primeiro"));

    // A file saved as UTF-8 with its byte-order mark: the mark belongs to the first line, so the
    // first header is not one; a write adds the section again instead of damaging the file.
    const QByteArray bom = "\xEF\xBB\xBF[Extractor]\r\nP1=4\r\n";
    put(bom);
    EXPECT_EQ(read("Extractor", "P1"), QString());
    ASSERT_TRUE(write("Extractor", "P1", QStringLiteral("4")));
    EXPECT_EQ(bytes(), bom + "[Extractor]\r\nP1=4\r\n");
    EXPECT_EQ(read("Extractor", "P1"), QStringLiteral("4"));
}

TEST_F(ProfileGarbage, BinaryGarbageHugeLinesAndBigFilesNeverLoseBytes) {
    // Nothing but NUL bytes: every key is missing; a write keeps them and adds its section.
    const QByteArray nuls(1 << 20, '\0');
    put(nuls);
    EXPECT_EQ(read("Extractor", "P1"), QString());
    ASSERT_TRUE(write("Extractor", "P1", QStringLiteral("2")));
    EXPECT_EQ(bytes(), nuls + "\r\n[Extractor]\r\nP1=2\r\n");
    EXPECT_EQ(read("Extractor", "P1"), QStringLiteral("2"));

    // Several MB of random bytes around real sections; lines of 100,000 characters as a
    // header, a key name and a value.
    QRandomGenerator rng(77);
    QByteArray lixo(3 << 20, '\0');
    for (char& c : lixo) c = static_cast<char>(rng.bounded(256));
    lixo.replace('[', 'x');  // no header by chance inside the garbage
    const QByteArray longa(100000, 'k');
    const QByteArray file = lixo + "\r\n[" + longa + "]\r\n" + longa + "=v\r\n[Extractor]\r\nP3=" + longa +
                            "\r\nP8=Sistema\r\n" + lixo;
    put(file);
    EXPECT_EQ(read("Extractor", "P3"), QString(254, u'k'));
    EXPECT_EQ(read("Extractor", "P8"), QStringLiteral("Sistema"));
    EXPECT_EQ(GetPrivateProfileString(QString::fromLatin1(longa), QString::fromLatin1(longa), QStringLiteral("d"), 255,
                                      path()),
              QStringLiteral("v"));
    ASSERT_TRUE(write("Extractor", "P8", QStringLiteral("Outro")));
    QByteArray expected = file;
    expected.replace("P8=Sistema", "P8=Outro");
    EXPECT_EQ(bytes(), expected);

    // A value of 100,000 characters is written whole and read back cut to the buffer.
    ASSERT_TRUE(write("Extractor", "P8", QString(100000, u'z')));
    EXPECT_EQ(read("Extractor", "P8"), QString(254, u'z'));
    EXPECT_TRUE(bytes().startsWith(lixo));
    EXPECT_TRUE(bytes().endsWith("P8=" + QByteArray(100000, 'z') + "\r\n" + lixo));
}

}  // namespace
