// Test main shared by every test program: an offscreen application (so windows and message
// boxes never need a screen) and private configuration and runtime folders, so that tests
// never read or change the regional settings or per-user store of whoever runs them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    const QByteArray root = home.path().toLocal8Bit();
    // A test that needs a real window system runs a child of its own program on one.
    const QByteArray platform = qgetenv("VELMORA_TEST_QPA");
    setenv("QT_QPA_PLATFORM", platform.isEmpty() ? "offscreen" : platform.constData(), 1);
    setenv("HOME", root.constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    // Regional settings are seeded from the POSIX locale; pin one for repeatable tests.
    setenv("LC_ALL", "C.UTF-8", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora-tests"));
    return RUN_ALL_TESTS();
}
