#include <gtest/gtest.h>

#include "platform/display.h"
#include "platform/test_x_server.h"

using namespace platform;
using testsupport::ScopedEnv;

TEST(DisplayModes, NoScreenMeansNoModesAndNoChange) {
    DisplayMode m;
    m.fields = dm::PelsWidth | dm::PelsHeight;
    m.pelsWidth = 800;
    m.pelsHeight = 600;
    {
        ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("xcb"));
        ScopedEnv display("DISPLAY", std::nullopt);
        EXPECT_TRUE(currentDisplayName().isEmpty());
        EXPECT_TRUE(displayModes().empty());
        EXPECT_EQ(changeDisplaySettings(m), dispchange::Failed);
    }
    {
        ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("xcb"));
        ScopedEnv display("DISPLAY", QByteArray(":4093"));  // no server there
        EXPECT_EQ(currentDisplayName(), ":4093");
        EXPECT_TRUE(displayModes().empty());
        EXPECT_EQ(changeDisplaySettings(m), dispchange::Failed);
    }
    {
        ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("offscreen"));
        ScopedEnv display("DISPLAY", QByteArray(":0"));
        EXPECT_TRUE(currentDisplayName().isEmpty()) << "the offscreen platform has no screen to change";
    }
    {
        ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("minimal"));
        ScopedEnv display("DISPLAY", QByteArray(":0"));
        EXPECT_TRUE(currentDisplayName().isEmpty());
    }
}

TEST(DisplayModes, ListsAndSwitchesTheSizesOfAnXScreen) {
    testsupport::TestXServer server;
    if (!server.ready()) GTEST_SKIP() << server.reason().toStdString();
    testsupport::XTestConnection probe(server.name());
    ASSERT_TRUE(probe.ok());
    ASSERT_TRUE(probe.addMode(800, 600));

    ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("xcb"));
    ScopedEnv display("DISPLAY", server.name());

    const std::vector<DisplayMode> modes = displayModes();
    ASSERT_GE(modes.size(), 2u);
    EXPECT_EQ(modes.front().pelsWidth, 1024u);
    EXPECT_EQ(modes.front().pelsHeight, 768u);
    EXPECT_EQ(modes.front().bitsPerPel, 24u);
    bool has800 = false;
    for (const DisplayMode& m : modes) has800 = has800 || (m.pelsWidth == 800 && m.pelsHeight == 600);
    EXPECT_TRUE(has800);

    DisplayMode m;
    m.fields = dm::PelsWidth | dm::PelsHeight;
    m.pelsWidth = 800;
    m.pelsHeight = 600;
    EXPECT_EQ(changeDisplaySettings(m), dispchange::Successful);
    EXPECT_EQ(probe.currentSize(), std::make_pair(800, 600));

    m.pelsWidth = 640;
    m.pelsHeight = 480;
    EXPECT_EQ(changeDisplaySettings(m), dispchange::BadMode);
    EXPECT_EQ(probe.currentSize(), std::make_pair(800, 600));

    m.pelsWidth = 0xFFFFFFFFu;  // a negative width as the platform's record holds it
    EXPECT_EQ(changeDisplaySettings(m), dispchange::BadMode);

    m.fields = dm::PelsHeight;  // a width not asked for stays the current one
    m.pelsHeight = 768;
    EXPECT_EQ(changeDisplaySettings(m), dispchange::BadMode) << "800x768 is not offered";

    m.fields = dm::PelsWidth | dm::PelsHeight;
    m.pelsWidth = 1024;
    m.pelsHeight = 768;
    EXPECT_EQ(changeDisplaySettings(m), dispchange::Successful);
    EXPECT_EQ(probe.currentSize(), std::make_pair(1024, 768));
}
