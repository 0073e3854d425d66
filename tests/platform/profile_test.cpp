#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "platform/profile.h"

using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

namespace {

class Profile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString path(const QString& name = QStringLiteral("Velmora.ini")) const { return dir_.filePath(name); }

    void put(const QByteArray& bytes, const QString& name = QStringLiteral("Velmora.ini")) const {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray bytesOf(const QString& name = QStringLiteral("Velmora.ini")) const {
        QFile f(path(name));
        if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
        return f.readAll();
    }

    QString read(const QString& section, const QString& key, int size = 255) const {
        return GetPrivateProfileString(section, key, QString(), size, path());
    }

    QTemporaryDir dir_;
};

}  // namespace

TEST_F(Profile, LookupsIgnoreCaseBlanksAndQuotes) {
    put("Orphan=before any section\r\n"
        "[Extractor]\r\n"
        "Ligado=1\r\n"
        "  p1  =   3   \r\n"
        "; P3=commented out\r\n"
        "P3\r\n"
        "P8=\"Sistema X\"\r\n"
        "P9='09:00'\r\n"
        "P11=\"unbalanced\r\n"
        "P12=\"\r\n"
        "P13=a=b\r\n"
        "Ligado=2\r\n"
        "[ tramontix ] ; trailing text\r\n"
        "SERVER=srv\r\n"
        "[Extractor]\r\n"
        "P5=only in the second section\r\n");
    EXPECT_EQ(read(QStringLiteral("EXTRACTOR"), QStringLiteral("ligado")), QStringLiteral("1"));  // first key wins
    EXPECT_EQ(read(QStringLiteral(" Extractor "), QStringLiteral("P1")), QStringLiteral("3"));
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("P3")), QString());  // comment; a line without "="
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("P8")), QStringLiteral("Sistema X"));
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("P9")), QStringLiteral("09:00"));
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("P11")), QStringLiteral("\"unbalanced"));
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("P12")), QStringLiteral("\""));
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("P13")), QStringLiteral("a=b"));
    EXPECT_EQ(read(QStringLiteral("Tramontix"), QStringLiteral("server")), QStringLiteral("srv"));
    // Only the first section of a name is looked in; keys outside any section belong to none.
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("P5")), QString());
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("Orphan")), QString());
    EXPECT_EQ(read(QString(), QStringLiteral("Orphan")), QString());
    // The Windows-1252 letters compare without case too.
    put("[A\xC7\xC3O]\nCHAVE=valor \xE9\n");
    EXPECT_EQ(read(QStringLiteral("ação"), QStringLiteral("chave")), QStringLiteral("valor é"));
}

TEST_F(Profile, TheBufferHoldsOneCharacterLessThanItsSize) {
    const QByteArray v254(254, 'a'), v255(255, 'b'), v300(300, 'c');
    put("[S]\r\nk254=" + v254 + "\r\nk255=" + v255 + "\r\nk300=\"" + v300 + "\"\r\n");
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("k254")), QString(254, u'a'));
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("k255")), QString(254, u'b'));
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("k300")), QString(254, u'c'));
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("k300"), 4), QStringLiteral("ccc"));
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("k300"), 1), QString());
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("k300"), 0), QString());
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("k300"), -5), QString());
    // The default is cut the same way, after losing its trailing blanks.
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("S"), QStringLiteral("none"), QStringLiteral(" dflt  "), 255, path()),
              QStringLiteral(" dflt"));
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("S"), QStringLiteral("none"), QString(40000, u'x'), 255, path()),
              QString(254, u'x'));
}

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault) {
    const QString d = QStringLiteral("dflt");
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("S"), QStringLiteral("k"), d, 255, path()), d);
    put("[S]\r\nk=v\r\n");
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("T"), QStringLiteral("k"), d, 255, path()), d);
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("S"), QStringLiteral("x"), d, 255, path()), d);
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("S"), QString(), d, 255, path()), d);
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("S"), QStringLiteral("k"), d, 255, dir_.path()), d);  // a folder
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("S"), QStringLiteral("k"), d, 255, QString()), d);
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("S"), QStringLiteral("k"), d, 255, path()), QStringLiteral("v"));
    put(QByteArray());
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("S"), QStringLiteral("k"), d, 255, path()), d);
}

TEST_F(Profile, AWriteChangesOnlyItsValueAndKeepsEveryOtherByte) {
    const QByteArray before =
        "; Velmora settings\r\n"
        "[extractor]\r\n"
        "  LIGADO = 0   \r\n"
        "P1=1\n"
        "\r\n"
        "[Email]\r\n"
        "Server=smtp\r\n"
        "\r\n"
        "\r\n"
        "; mail ends here\r\n"
        "[Tail]\r\n"
        "x=1";
    put(before);
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("Extractor"), QStringLiteral("Ligado"), QStringLiteral("1"), path()));
    QByteArray expected = before;
    expected.replace("  LIGADO = 0   \r\n", "  LIGADO =1\r\n");
    EXPECT_EQ(bytesOf(), expected);

    // A new key goes after the section's last line that is not blank (a comment counts).
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("email"), QStringLiteral("Login"), QStringLiteral("eu"), path()));
    expected.replace("; mail ends here\r\n", "; mail ends here\r\nLogin=eu\r\n");
    EXPECT_EQ(bytesOf(), expected);

    // A new key in the last section, whose last line has no line end.
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("TAIL"), QStringLiteral("y"), QStringLiteral("2"), path()));
    expected += "\r\ny=2\r\n";
    EXPECT_EQ(bytesOf(), expected);

    // A new section goes at the end.
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral(" Tramontix "), QStringLiteral(" Server "), QStringLiteral("db"), path()));
    expected += "[Tramontix]\r\nServer=db\r\n";
    EXPECT_EQ(bytesOf(), expected);

    EXPECT_EQ(read(QStringLiteral("extractor"), QStringLiteral("ligado")), QStringLiteral("1"));
    EXPECT_EQ(read(QStringLiteral("Email"), QStringLiteral("LOGIN")), QStringLiteral("eu"));
    EXPECT_EQ(read(QStringLiteral("Tail"), QStringLiteral("x")), QStringLiteral("1"));
    // No temporary file is left beside the settings file.
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Velmora.ini")});
}

TEST_F(Profile, ANewFileIsWindows1252WithCrLf) {
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("Extractor"), QStringLiteral("P8"), QStringLiteral("Conceição €"), path()));
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("Extractor"), QStringLiteral("P12"), QStringLiteral("Concluído"), path()));
    EXPECT_EQ(bytesOf(), QByteArray("[Extractor]\r\nP8=Concei\xE7\xE3o \x80\r\nP12=Conclu\xED" "do\r\n"));
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("P8")), QStringLiteral("Conceição €"));
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("Extractor"), QStringLiteral("P8"), QString(), path()));
    EXPECT_EQ(bytesOf(), QByteArray("[Extractor]\r\nP8=\r\nP12=Conclu\xED" "do\r\n"));
    // Characters outside the code page are stored as their best fit, or "?" when nothing fits.
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("Extractor"), QStringLiteral("P8"), QStringLiteral("Łódź 中"), path()));
    EXPECT_EQ(read(QStringLiteral("Extractor"), QStringLiteral("P8")), QStringLiteral("Lódz ?"));
}

TEST_F(Profile, ValuesAndNamesCannotBreakTheFileApart) {
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("Email"), QStringLiteral("To"),
                                          QStringLiteral("a@x\r\n[Tramontix]\r\nServer=evil\0z"), path()));
    EXPECT_EQ(read(QStringLiteral("Email"), QStringLiteral("To")), QStringLiteral("a@x  [Tramontix]  Server=evil z"));
    EXPECT_EQ(read(QStringLiteral("Tramontix"), QStringLiteral("Server")), QString());
    const QByteArray before = bytesOf();
    EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("Email"), QStringLiteral("a=b"), QStringLiteral("v"), path()));
    EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("Email"), QStringLiteral("[k]"), QStringLiteral("v"), path()));
    EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("Email"), QStringLiteral(";k"), QStringLiteral("v"), path()));
    EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("Email"), QStringLiteral("  "), QStringLiteral("v"), path()));
    EXPECT_FALSE(WritePrivateProfileString(QString(), QStringLiteral("k"), QStringLiteral("v"), path()));
    EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("a\nb"), QStringLiteral("k"), QStringLiteral("v"), path()));
    EXPECT_EQ(bytesOf(), before);
}

TEST_F(Profile, GarbageHugeLinesAndBigFilesGiveDefinedAnswers) {
    QByteArray garbage(300000, '\0');
    QRandomGenerator rng(1234);
    for (char& c : garbage) c = static_cast<char>(rng.bounded(256));
    const QByteArray hugeLine(100000, 'x');
    QByteArray file = garbage + "\r\n[S]\r\nbig=" + hugeLine + "\r\nnul=ab" + QByteArray("\0cd", 3) + "\r\n" +
                      QByteArray("na\0me=v\r\n", 9) + hugeLine + "\r\n";
    for (int i = 0; i < 60000; ++i) file += "key" + QByteArray::number(i) + "=value " + QByteArray::number(i) + "\r\n";
    file += "last=found\r\n";
    ASSERT_GT(file.size(), 1 << 20);
    put(file);
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("big")), QString(254, u'x'));
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("nul")), QStringLiteral("ab"));  // text ends at a NUL
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("na")), QString());
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("key59999")), QStringLiteral("value 59999"));
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("last")), QStringLiteral("found"));
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("missing")), QString());
    // A write into such a file changes its one line and nothing else.
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("s"), QStringLiteral("LAST"), QStringLiteral("changed"), path()));
    QByteArray expected = file;
    expected.replace("last=found\r\n", "last=changed\r\n");
    EXPECT_EQ(bytesOf(), expected);
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("big"), QStringLiteral("small"), path()));
    EXPECT_EQ(read(QStringLiteral("S"), QStringLiteral("big")), QStringLiteral("small"));
    EXPECT_TRUE(bytesOf().startsWith(garbage));
}

TEST_F(Profile, AFileThatCannotBeWrittenIsReportedAndLeftAlone) {
    put("[S]\r\nk=v\r\n", QStringLiteral("plainfile"));
    // A folder that is a regular file stops any write, also for root.
    const QString impossible = path(QStringLiteral("plainfile")) + QStringLiteral("/Velmora.ini");
    EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"), impossible));
    EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"), dir_.path()));
    EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"),
                                           path(QStringLiteral("no/such/folder/x.ini"))));
    EXPECT_EQ(bytesOf(QStringLiteral("plainfile")), QByteArray("[S]\r\nk=v\r\n"));
}
