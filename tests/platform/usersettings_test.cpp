#include <gtest/gtest.h>

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/usersettings.h"

using namespace platform;

namespace {

class UserSettings : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        setUserSettingsFile(dir_.filePath(QStringLiteral("user.conf")));
    }
    void TearDown() override { setUserSettingsFile(QString()); }

    QTemporaryDir dir_;
};

const QString kApp = QStringLiteral("Velmora");

}  // namespace

TEST_F(UserSettings, ValuesAreKeptByApplicationSectionAndKeyWithoutCase) {
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("sa"), QStringLiteral("SearchChange")), QString());
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("sa"), QStringLiteral("SearchChange"), QStringLiteral("0")), QStringLiteral("0"));
    SaveSetting(kApp, QStringLiteral("sa"), QStringLiteral("SearchChange"), QStringLiteral("1"));
    SaveSetting(kApp, QStringLiteral("other"), QStringLiteral("SearchChange"), QStringLiteral("2"));
    SaveSetting(QStringLiteral("Another"), QStringLiteral("sa"), QStringLiteral("SearchChange"), QStringLiteral("3"));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("sa"), QStringLiteral("SearchChange"), QStringLiteral("0")), QStringLiteral("1"));
    EXPECT_EQ(GetSetting(QStringLiteral("VELMORA"), QStringLiteral("SA"), QStringLiteral("searchchange")), QStringLiteral("1"));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("other"), QStringLiteral("SearchChange")), QStringLiteral("2"));
    EXPECT_EQ(GetSetting(QStringLiteral("Another"), QStringLiteral("sa"), QStringLiteral("SearchChange")), QStringLiteral("3"));
    SaveSetting(kApp, QStringLiteral("SA"), QStringLiteral("SEARCHCHANGE"), QStringLiteral("4"));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("sa"), QStringLiteral("SearchChange")), QStringLiteral("4"));
    // Stored values are texts, whatever they look like.
    SaveSetting(kApp, QStringLiteral("v"), QStringLiteral("list"), QStringLiteral("a, b"));
    SaveSetting(kApp, QStringLiteral("v"), QStringLiteral("at"), QStringLiteral("@Variant(x)"));
    SaveSetting(kApp, QStringLiteral("v"), QStringLiteral("long"), QString(40000, u'é'));
    SaveSetting(kApp, QStringLiteral("v"), QStringLiteral("empty"), QString());
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("v"), QStringLiteral("list")), QStringLiteral("a, b"));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("v"), QStringLiteral("at")), QStringLiteral("@Variant(x)"));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("v"), QStringLiteral("long")), QString(40000, u'é'));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("v"), QStringLiteral("empty"), QStringLiteral("d")), QString());
    EXPECT_TRUE(QFile::exists(dir_.filePath(QStringLiteral("user.conf"))));
}

TEST_F(UserSettings, NamesCannotReachIntoOtherNames) {
    SaveSetting(QStringLiteral("a/b"), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("1"));
    SaveSetting(QStringLiteral("a"), QStringLiteral("b/c"), QStringLiteral("d"), QStringLiteral("2"));
    SaveSetting(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c/d"), QStringLiteral("3"));
    SaveSetting(QStringLiteral("a\\b"), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("4"));
    SaveSetting(QStringLiteral("a%2Fb"), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("5"));
    EXPECT_EQ(GetSetting(QStringLiteral("a/b"), QStringLiteral("c"), QStringLiteral("d")), QStringLiteral("1"));
    EXPECT_EQ(GetSetting(QStringLiteral("a"), QStringLiteral("b/c"), QStringLiteral("d")), QStringLiteral("2"));
    EXPECT_EQ(GetSetting(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c/d")), QStringLiteral("3"));
    EXPECT_EQ(GetSetting(QStringLiteral("a\\b"), QStringLiteral("c"), QStringLiteral("d")), QStringLiteral("4"));
    EXPECT_EQ(GetSetting(QStringLiteral("a%2Fb"), QStringLiteral("c"), QStringLiteral("d")), QStringLiteral("5"));
    // Empty names store nothing and read the default.
    SaveSetting(QString(), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("x"));
    SaveSetting(QStringLiteral("a"), QString(), QStringLiteral("d"), QStringLiteral("x"));
    SaveSetting(QStringLiteral("a"), QStringLiteral("c"), QString(), QStringLiteral("x"));
    EXPECT_EQ(GetSetting(QString(), QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("dflt")), QStringLiteral("dflt"));
    EXPECT_EQ(GetSetting(QStringLiteral("a"), QString(), QStringLiteral("d"), QStringLiteral("dflt")), QStringLiteral("dflt"));
}

TEST_F(UserSettings, DeleteRemovesAKeyASectionOrAnApplication) {
    SaveSetting(kApp, QStringLiteral("Pos"), QStringLiteral("X"), QStringLiteral("10"));
    SaveSetting(kApp, QStringLiteral("Pos"), QStringLiteral("Y"), QStringLiteral("20"));
    SaveSetting(kApp, QStringLiteral("MachineName"), QStringLiteral("Name"), QStringLiteral("pc"));
    SaveSetting(QStringLiteral("Other"), QStringLiteral("Pos"), QStringLiteral("X"), QStringLiteral("1"));
    DeleteSetting(kApp, QStringLiteral("pos"), QStringLiteral("x"));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("Pos"), QStringLiteral("X"), QStringLiteral("-")), QStringLiteral("-"));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("Pos"), QStringLiteral("Y")), QStringLiteral("20"));
    // A key without its section does not widen into the whole application.
    DeleteSetting(kApp, QString(), QStringLiteral("Y"));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("Pos"), QStringLiteral("Y")), QStringLiteral("20"));
    DeleteSetting(kApp, QStringLiteral("POS"));
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("Pos"), QStringLiteral("Y")), QString());
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("MachineName"), QStringLiteral("Name")), QStringLiteral("pc"));
    DeleteSetting(QStringLiteral("nothing"), QStringLiteral("here"), QStringLiteral("at all"));
    DeleteSetting(QString());
    EXPECT_EQ(GetSetting(QStringLiteral("Other"), QStringLiteral("Pos"), QStringLiteral("X")), QStringLiteral("1"));
    DeleteSetting(kApp);
    EXPECT_EQ(GetSetting(kApp, QStringLiteral("MachineName"), QStringLiteral("Name")), QString());
    EXPECT_EQ(GetSetting(QStringLiteral("Other"), QStringLiteral("Pos"), QStringLiteral("X")), QStringLiteral("1"));
}

TEST(UserSettingsFile, LivesUnderTheUsersConfigurationFolder) {
    setUserSettingsFile(QString());
    EXPECT_EQ(userSettingsFile(), QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                      QStringLiteral("/velmora/usersettings.conf"));
}
