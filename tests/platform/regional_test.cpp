#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/profile.h"
#include "platform/regional.h"

using namespace platform;

namespace {

class Regional : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        setRegionalFile(file());
    }
    void TearDown() override { setRegionalFile(QString()); }

    QString file() const { return dir_.filePath(QStringLiteral("sub/regional.ini")); }

    QTemporaryDir dir_;
};

QString seedOf(const char* locale, int code) { return regionalSeed(QLocale(QString::fromLatin1(locale))).value(code); }

}  // namespace

TEST(RegionalSeed, CLocaleGivesTheDocumentedValues) {
    const QMap<int, QString> c = regionalSeed(QLocale::c());
    EXPECT_EQ(c.value(lc::DecimalSeparator), QStringLiteral("."));
    EXPECT_EQ(c.value(lc::ThousandSeparator), QStringLiteral(","));
    EXPECT_EQ(c.value(lc::Grouping), QStringLiteral("3;0"));
    EXPECT_EQ(c.value(lc::DateSeparator), QStringLiteral("/"));
    EXPECT_EQ(c.value(lc::TimeSeparator), QStringLiteral(":"));
    EXPECT_EQ(c.value(lc::ShortDate), QStringLiteral("MM/dd/yyyy"));
    EXPECT_EQ(c.size(), 6);
}

TEST(RegionalSeed, LocalesBecomeWindowsSettingsInTheCodePage) {
    EXPECT_EQ(seedOf("pt_BR", lc::DecimalSeparator), QStringLiteral(","));
    EXPECT_EQ(seedOf("pt_BR", lc::ThousandSeparator), QStringLiteral("."));
    EXPECT_EQ(seedOf("pt_BR", lc::ShortDate), QStringLiteral("dd/MM/yyyy"));
    EXPECT_EQ(seedOf("pt_BR", lc::DateSeparator), QStringLiteral("/"));
    EXPECT_EQ(seedOf("pt_BR", lc::TimeSeparator), QStringLiteral(":"));
    EXPECT_EQ(seedOf("de_DE", lc::DateSeparator), QStringLiteral("."));
    EXPECT_EQ(seedOf("en_US", lc::ShortDate), QStringLiteral("M/d/yy"));
    EXPECT_EQ(seedOf("sv_SE", lc::DateSeparator), QStringLiteral("-"));
    EXPECT_EQ(seedOf("fi_FI", lc::TimeSeparator), QStringLiteral("."));
    // Grouping, also where the first group differs from the others and where a four-digit
    // number is written without a separator.
    EXPECT_EQ(seedOf("en_US", lc::Grouping), QStringLiteral("3;0"));
    EXPECT_EQ(seedOf("pt_PT", lc::Grouping), QStringLiteral("3;0"));
    EXPECT_EQ(seedOf("hi_IN", lc::Grouping), QStringLiteral("3;2;0"));
    // Narrow no-break spaces do not exist in the code page: the no-break space stands in.
    EXPECT_EQ(seedOf("fr_FR", lc::ThousandSeparator), QString(QChar(0x00A0)));
    // Separators from other scripts fall back; direction marks leave the date format.
    EXPECT_EQ(seedOf("ar_EG", lc::DecimalSeparator), QStringLiteral("."));
    EXPECT_EQ(seedOf("ar_EG", lc::ShortDate), QStringLiteral("d/M/yyyy"));
    EXPECT_EQ(seedOf("ar_EG", lc::DateSeparator), QStringLiteral("/"));
    EXPECT_EQ(seedOf("bg_BG", lc::ShortDate), QStringLiteral("d.MM.yy ."));
    for (const char* name : {"ja_JP", "ko_KR", "zh_CN", "ru_RU", "he_IL", "th_TH", "fa_IR"}) {
        const QMap<int, QString> seed = regionalSeed(QLocale(QString::fromLatin1(name)));
        EXPECT_EQ(seed.size(), 6) << name;
        for (const QString& v : seed) EXPECT_FALSE(v.contains(u'?') || v.isEmpty()) << name << " " << qPrintable(v);
    }
}

TEST_F(Regional, FirstUseSeedsTheFileFromTheSystemLocale) {
    // The tests run under the C locale.
    EXPECT_EQ(getLocaleInfo(lc::DecimalSeparator), QStringLiteral("."));
    EXPECT_EQ(getLocaleInfo(lc::ThousandSeparator), QStringLiteral(","));
    EXPECT_EQ(getLocaleInfo(lc::Grouping), QStringLiteral("3;0"));
    EXPECT_EQ(getLocaleInfo(lc::DateSeparator), QStringLiteral("/"));
    EXPECT_EQ(getLocaleInfo(lc::TimeSeparator), QStringLiteral(":"));
    EXPECT_EQ(getLocaleInfo(lc::ShortDate), QStringLiteral("MM/dd/yyyy"));
    EXPECT_FALSE(getLocaleInfo(0).has_value());
    EXPECT_FALSE(getLocaleInfo(17).has_value());
    EXPECT_FALSE(getLocaleInfo(-1).has_value());
    EXPECT_TRUE(QFile::exists(file()));
    EXPECT_EQ(privateProfileValue(QStringLiteral("International"), QStringLiteral("sShortDate"), file()),
              QStringLiteral("MM/dd/yyyy"));
}

TEST_F(Regional, AChangeIsSeenByLaterReadsAndByANewProcess) {
    EXPECT_TRUE(setLocaleInfo(lc::DecimalSeparator, QStringLiteral(",")));
    EXPECT_TRUE(setLocaleInfo(lc::ThousandSeparator, QStringLiteral(" ")));
    EXPECT_TRUE(setLocaleInfo(lc::ShortDate, QStringLiteral("dd-MM-yyyy")));
    EXPECT_TRUE(setLocaleInfo(lc::DateSeparator, QString()));
    EXPECT_TRUE(setLocaleInfo(lc::TimeSeparator, QStringLiteral("\"")));
    EXPECT_EQ(getLocaleInfo(lc::DecimalSeparator), QStringLiteral(","));
    // Pointing the store at the same file again reads it as a new process would.
    setRegionalFile(file());
    EXPECT_EQ(getLocaleInfo(lc::DecimalSeparator), QStringLiteral(","));
    EXPECT_EQ(getLocaleInfo(lc::ThousandSeparator), QStringLiteral(" "));  // raw, not trimmed
    EXPECT_EQ(getLocaleInfo(lc::ShortDate), QStringLiteral("dd-MM-yyyy"));
    EXPECT_EQ(getLocaleInfo(lc::DateSeparator), QString());
    EXPECT_EQ(getLocaleInfo(lc::TimeSeparator), QStringLiteral("\""));
    EXPECT_EQ(getLocaleInfo(lc::Grouping), QStringLiteral("3;0"));
}

TEST_F(Regional, BadChangesAreRefusedAndChangeNothing) {
    EXPECT_FALSE(setLocaleInfo(99, QStringLiteral(".")));
    EXPECT_FALSE(setLocaleInfo(lc::DecimalSeparator, QStringLiteral("....")));
    EXPECT_FALSE(setLocaleInfo(lc::ShortDate, QString(80, u'd')));
    EXPECT_FALSE(setLocaleInfo(lc::ShortDate, QString(40000, u'd')));
    EXPECT_TRUE(setLocaleInfo(lc::ShortDate, QString(79, u'd')));
    EXPECT_FALSE(setLocaleInfo(lc::DateSeparator, QStringLiteral("a\r\nb")));
    EXPECT_TRUE(setLocaleInfo(lc::DateSeparator, QStringLiteral("a\nb")));
    EXPECT_EQ(getLocaleInfo(lc::DateSeparator), QStringLiteral("a b"));
    setRegionalFile(file());
    EXPECT_EQ(getLocaleInfo(lc::DateSeparator), QStringLiteral("a b"));
    EXPECT_TRUE(setLocaleInfo(lc::DateSeparator, QStringLiteral("Ł")));
    EXPECT_EQ(getLocaleInfo(lc::DateSeparator), QStringLiteral("L"));
    EXPECT_TRUE(setLocaleInfo(lc::DateSeparator, QStringLiteral("中")));
    EXPECT_EQ(getLocaleInfo(lc::DateSeparator), QStringLiteral("?"));
    EXPECT_EQ(getLocaleInfo(lc::DecimalSeparator), QStringLiteral("."));

    // A store whose file cannot be written still answers, and refuses changes.
    QFile blocker(dir_.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    setRegionalFile(dir_.filePath(QStringLiteral("blocker/regional.ini")));
    EXPECT_EQ(getLocaleInfo(lc::DecimalSeparator), QStringLiteral("."));
    EXPECT_FALSE(setLocaleInfo(lc::DecimalSeparator, QStringLiteral(",")));
    EXPECT_EQ(getLocaleInfo(lc::DecimalSeparator), QStringLiteral("."));
}

TEST_F(Regional, AnEditedFileKeepsItsValuesAndGetsMissingOnesSeeded) {
    QDir().mkpath(dir_.filePath(QStringLiteral("sub")));
    QFile f(file());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[international]\r\nsdecimal = ,\r\nsShortDate=dd/MM/yyyy\r\n");
    f.close();
    setRegionalFile(file());
    EXPECT_EQ(getLocaleInfo(lc::DecimalSeparator), QStringLiteral(","));
    EXPECT_EQ(getLocaleInfo(lc::ShortDate), QStringLiteral("dd/MM/yyyy"));
    EXPECT_EQ(getLocaleInfo(lc::ThousandSeparator), QStringLiteral(","));
    EXPECT_EQ(privateProfileValue(QStringLiteral("International"), QStringLiteral("sTime"), file()), QStringLiteral(":"));
}

TEST(RegionalFile, LivesUnderTheUsersConfigurationFolder) {
    setRegionalFile(QString());
    EXPECT_EQ(regionalFile(), QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                  QStringLiteral("/velmora/regional.ini"));
    EXPECT_TRUE(regionalFile().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
}
