#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/printers.h"
#include "platform/test_print_server.h"

using namespace platform;

TEST(PrinterPaper, MediaNamesMapToTheSystemsPaperCodes) {
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("iso_a4_210x297mm")), paper::A4);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("A4")), paper::A4);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("na_letter_8.5x11in")), paper::Letter);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("Letter")), paper::Letter);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("na_ledger_11x17in")), paper::Tabloid);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("Tabloid")), paper::Tabloid);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("iso_a5_148x210mm")), paper::A5);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("Custom.8.5x12in")), paper::Letter8_5x12);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("A4,tray-1,stationery")), paper::A4) << "the sheet in a keyword list";
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("na_legal_8.5x14in")), paper::Other);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("iso_a3_297x420mm")), paper::Other);
    EXPECT_EQ(paperSizeCodeOfMedia(QString()), paper::Other);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("no such paper")), paper::Other);
    EXPECT_EQ(paperSizeCodeOfMedia(QString(40000, u'x')), paper::Other);

    EXPECT_EQ(paperSizeCode(21000, 29700), paper::A4);
    EXPECT_EQ(paperSizeCode(29700, 21000), paper::Other) << "a sideways sheet is not the portrait paper";
    EXPECT_EQ(paperSizeCode(0, 0), paper::Other);

    EXPECT_EQ(orientationCode(3), orientation::Portrait);
    EXPECT_EQ(orientationCode(4), orientation::Landscape);
    EXPECT_EQ(orientationCode(5), orientation::Landscape);
    EXPECT_EQ(orientationCode(6), orientation::Portrait);
}

TEST(PrinterPaper, ReadsTheDefaultsOfTheServersQueues) {
    testsupport::TestPrintServer server(testsupport::standardQueues());
    if (!server.ready()) GTEST_SKIP() << server.reason().toStdString();

    const auto a4 = printerPaper(QStringLiteral("VelmoraA4"));
    ASSERT_TRUE(a4.has_value()) << server.log().toStdString();
    EXPECT_EQ(a4->paperSize, paper::A4);
    EXPECT_EQ(a4->orientation, orientation::Portrait);

    const auto letter = printerPaper(QStringLiteral("VelmoraLetterLand"));
    ASSERT_TRUE(letter.has_value());
    EXPECT_EQ(letter->paperSize, paper::Letter);
    EXPECT_EQ(letter->orientation, orientation::Landscape);

    const auto a5 = printerPaper(QStringLiteral("VelmoraA5"));
    ASSERT_TRUE(a5.has_value());
    EXPECT_EQ(a5->paperSize, paper::A5);

    EXPECT_TRUE(printerPaper(QStringLiteral("velmoraa4")).has_value()) << "queue names ignore case";
    EXPECT_FALSE(printerPaper(QStringLiteral("NoSuchQueue")).has_value());
    EXPECT_FALSE(printerPaper(QString()).has_value());
    EXPECT_FALSE(printerPaper(QStringLiteral("   ")).has_value());
    EXPECT_FALSE(printerPaper(QString(40000, u'Q')).has_value());
    EXPECT_FALSE(printerPaper(QStringLiteral("Velmora") + QChar(0) + QStringLiteral("A4")).has_value());
}

TEST(PrinterPaper, TheUsersOwnDefaultsComeFirst) {
    testsupport::TestPrintServer server(testsupport::standardQueues());
    if (!server.ready()) GTEST_SKIP() << server.reason().toStdString();

    // The user's option file lives in the private home folder the test program runs with.
    const QString folder = QDir::homePath() + QStringLiteral("/.cups");
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/lpoptions"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("Dest VelmoraA4/wide orientation-requested=4 media=Tabloid\n");
    file.close();

    const auto wide = printerPaper(QStringLiteral("VelmoraA4/wide"));
    const auto plain = printerPaper(QStringLiteral("VelmoraA4"));
    QFile::remove(file.fileName());

    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(wide->paperSize, paper::Tabloid);
    EXPECT_EQ(wide->orientation, orientation::Landscape);
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->paperSize, paper::A4);
    EXPECT_EQ(plain->orientation, orientation::Portrait);
}

TEST(PrinterPaper, NoServerMeansNoPrinter) {
    testsupport::NoPrintServer none;
    EXPECT_FALSE(printerPaper(QStringLiteral("VelmoraA4")).has_value());
}
