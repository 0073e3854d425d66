#include <gtest/gtest.h>

#include <sys/statvfs.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include "platform/gui/qtsystemhooks.h"
#include "platform/sysinfo.h"

using namespace platform;

namespace {

std::uint64_t statvfsFree(const QString& path) {
    struct statvfs st {};
    if (statvfs(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.f_bfree) * st.f_frsize;
}

}  // namespace

TEST(SystemInfo, ComputerNameIsTheHostName) {
    char buffer[256] = {};
    ASSERT_EQ(gethostname(buffer, sizeof buffer), 0);
    const auto name = computerName();
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(*name, QString::fromLocal8Bit(buffer));
    EXPECT_FALSE(name->isEmpty());
}

TEST(SystemInfo, FreeBytesAreAllFreeBlocksOfTheVolume) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Other programs may write meanwhile: the answer must lie between two readings around it,
    // and equal them whenever they agree.
    bool compared = false;
    for (int attempt = 0; attempt < 20 && !compared; ++attempt) {
        const std::uint64_t before = statvfsFree(dir.path());
        const auto got = totalFreeBytes(dir.path());
        const std::uint64_t after = statvfsFree(dir.path());
        ASSERT_TRUE(got.has_value());
        EXPECT_GE(*got, std::min(before, after));
        EXPECT_LE(*got, std::max(before, after));
        if (before == after) {
            EXPECT_EQ(*got, before);
            compared = true;
        }
    }
    EXPECT_TRUE(totalFreeBytes(dir.path() + QStringLiteral("/..")).has_value());
    EXPECT_FALSE(totalFreeBytes(dir.path() + QStringLiteral("/missing/folder")).has_value());
    EXPECT_FALSE(totalFreeBytes(QString()).has_value());
    EXPECT_FALSE(totalFreeBytes(QStringLiteral("C:\\")).has_value());
    EXPECT_FALSE(totalFreeBytes(QString(40000, u'a')).has_value());
    EXPECT_FALSE(totalFreeBytes(dir.path() + QChar(0) + QStringLiteral("x")).has_value());
}

TEST(SystemInfo, GuidsAreRegistryFormAndNew) {
    const QRegularExpression form(QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString g = newGuid();
        EXPECT_EQ(g.size(), 38);
        EXPECT_TRUE(form.match(g).hasMatch()) << g.toStdString();
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 200);
}

TEST(SystemInfo, FolderPickerAndBeepAnswerThroughTheirHooks) {
    setFolderBrowserHook({});
    setBeepHook({});
    EXPECT_EQ(browseForFolder(0, QStringLiteral("Escolha")), "") << "no picker: nothing chosen";
    EXPECT_NO_THROW(beep(440, 100));

    std::int32_t seenOwner = -1;
    QString seenPrompt;
    setFolderBrowserHook([&](std::int32_t owner, const QString& prompt) {
        seenOwner = owner;
        seenPrompt = prompt;
        return QStringLiteral("/srv/dados");
    });
    EXPECT_EQ(browseForFolder(77, QStringLiteral("Escolha a pasta")), "/srv/dados");
    EXPECT_EQ(seenOwner, 77);
    EXPECT_EQ(seenPrompt, "Escolha a pasta");

    std::pair<int, int> beeped{0, 0};
    setBeepHook([&](std::int32_t f, std::int32_t d) { beeped = {f, d}; });
    beep(880, 250);
    EXPECT_EQ(beeped, std::make_pair(880, 250));

    setFolderBrowserHook({});
    setBeepHook({});
    EXPECT_EQ(browseForFolder(77, QStringLiteral("x")), "");
}

TEST(SystemInfo, QtPickerChoosesNothingWhereNoDialogCanBeSeen) {
    // The test program runs on the offscreen platform: a dialog there would wait forever.
    installQtSystemHooks();
    EXPECT_EQ(browseForFolder(0, QStringLiteral("Escolha")), "");
    EXPECT_EQ(qtBrowseForFolder(123456, QStringLiteral("Escolha")), "");
    EXPECT_NO_THROW(beep(440, 100));
    EXPECT_NO_THROW(qtBeep(-1, -1));
    removeQtSystemHooks();
}
