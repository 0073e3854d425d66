#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

#include "platform/appdir.h"

TEST(AppDir, TheSettingsFileLivesBesideTheExecutable) {
    const QString folder = platform::appFolder();
    EXPECT_EQ(folder, QCoreApplication::applicationDirPath());
    EXPECT_FALSE(folder.endsWith(u'/'));
    EXPECT_FALSE(folder.contains(u'\\'));
    EXPECT_TRUE(QFileInfo::exists(folder + u'/' + QFileInfo(QCoreApplication::applicationFilePath()).fileName()));
    EXPECT_EQ(platform::iniPath(QStringLiteral("Velmora.ini")), folder + QStringLiteral("/Velmora.ini"));
    EXPECT_EQ(platform::iniPath(QString()), folder + u'/');
}
