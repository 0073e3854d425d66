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
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("na_legal_8.5x14in")), 5);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("iso_a3_297x420mm")), 8);
    EXPECT_EQ(paperSizeCodeOfMedia(QString()), paper::Other);
    EXPECT_EQ(paperSizeCodeOfMedia(QStringLiteral("no such paper")), paper::Other);
    EXPECT_EQ(paperSizeCodeOfMedia(QString(40000, u'x')), paper::Other);

    EXPECT_EQ(paperSizeCode(21000, 29700), paper::A4);
    EXPECT_EQ(paperSizeCode(29700, 21000), 77) << "a sideways sheet is the rotated paper, not the portrait one";
    EXPECT_EQ(paperSizeCode(0, 0), paper::Other);

    EXPECT_EQ(orientationCode(3), orientation::Portrait);
    EXPECT_EQ(orientationCode(4), orientation::Landscape);
    EXPECT_EQ(orientationCode(5), orientation::Landscape);
    EXPECT_EQ(orientationCode(6), orientation::Portrait);
}

// Standard media names (and a few classic and custom ones) with the paper code the platform
// gives the same sheet.
TEST(PrinterPaper, EveryStandardSheetHasItsPlatformCode) {
    const struct {
        const char* media;
        int code;
    } cases[] = {
        {"na_letter_8.5x11in", 1},          {"na_ledger_11x17in", 3},           {"na_legal_8.5x14in", 5},
        {"na_invoice_5.5x8.5in", 6},        {"na_executive_7.25x10.5in", 7},    {"iso_a3_297x420mm", 8},
        {"iso_a4_210x297mm", 9},            {"iso_a5_148x210mm", 11},           {"jis_b4_257x364mm", 12},
        {"jis_b5_182x257mm", 13},           {"na_foolscap_8.5x13in", 14},       {"na_quarto_8.5x10.83in", 15},
        {"na_10x14_10x14in", 16},           {"na_number-9_3.875x8.875in", 19},  {"na_number-10_4.125x9.5in", 20},
        {"na_number-11_4.5x10.375in", 21},  {"na_number-12_4.75x11in", 22},    {"na_number-14_5x11.5in", 23},
        {"na_c_17x22in", 24},               {"na_d_22x34in", 25},               {"na_e_34x44in", 26},
        {"iso_dl_110x220mm", 27},           {"iso_c5_162x229mm", 28},           {"iso_c3_324x458mm", 29},
        {"iso_c4_229x324mm", 30},           {"iso_c6_114x162mm", 31},           {"iso_c6c5_114x229mm", 32},
        {"iso_b4_250x353mm", 42},           {"iso_b5_176x250mm", 34},           {"iso_b6_125x176mm", 35},
        {"om_italian_110x230mm", 36},       {"na_monarch_3.875x7.5in", 37},     {"na_personal_3.625x6.5in", 38},
        {"na_fanfold-us_11x14.875in", 39},  {"na_fanfold-eur_8.5x12in", 40},    {"jpn_hagaki_100x148mm", 43},
        {"na_9x11_9x11in", 44},             {"na_10x11_10x11in", 45},           {"na_11x15_11x15in", 46},
        {"om_invite_220x220mm", 47},        {"na_letter-extra_9.5x12in", 50},   {"na_legal-extra_9.5x15in", 51},
        {"na_super-a_8.94x14in", 57},       {"iso_a4-extra_235.5x322.3mm", 53}, {"iso_a2_420x594mm", 66},
        {"jpn_oufuku_148x200mm", 82},       {"iso_a6_105x148mm", 70},           {"jpn_kaku2_240x332mm", 71},
        {"jpn_chou3_120x235mm", 73},        {"jpn_chou4_90x205mm", 74},         {"jis_b6_128x182mm", 88},
        {"na_11x12_11x12in", 90},           {"jpn_you4_105x235mm", 91},         {"prc_16k_146x215mm", 93},
        {"prc_32k_97x151mm", 94},           {"prc_1_102x165mm", 96},            {"prc_7_160x230mm", 102},
        {"prc_8_120x309mm", 103},
        // Classic, custom and sideways forms of the same sheets.
        {"Legal", 5},                       {"A3", 8},                          {"EnvDL", 27},
        {"Custom.8.5x12in", 40},            {"Custom.11x8.5in", 75},            {"Custom.297x210mm", 77},
        {"custom_tray_4.126x9.49in", 20},   {"Custom.176x125mm", 35},
        // Sizes no standard code names.
        {"Custom.100x100mm", 256},          {"Custom.8.5x11.2in", 256},         {"na_arch-a_9x12in", 256},
        {"iso_sra3_320x450mm", 256},        {"roll_max_36x1200in", 256},
    };
    for (const auto& c : cases)
        EXPECT_EQ(paperSizeCodeOfMedia(QString::fromLatin1(c.media)), c.code) << c.media;
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

TEST(PrinterPaper, AnyStandardDefaultOfAQueueIsReported) {
    const struct {
        const char* queue;
        const char* media;
        int code;
    } cases[] = {
        {"VelmoraLegal", "na_legal_8.5x14in", 5},      {"VelmoraC5", "iso_c5_162x229mm", 28},
        {"VelmoraB5", "jis_b5_182x257mm", 13},         {"VelmoraEnv10", "na_number-10_4.125x9.5in", 20},
        {"VelmoraFanfold", "na_fanfold-us_11x14.875in", 39}, {"VelmoraCustom", "Custom.100x100mm", 256},
    };
    QList<QPair<QString, QStringList>> queues;
    for (const auto& c : cases)
        queues.append({QString::fromLatin1(c.queue), {QStringLiteral("media ") + QString::fromLatin1(c.media)}});
    testsupport::TestPrintServer server(queues);
    if (!server.ready()) GTEST_SKIP() << server.reason().toStdString();

    for (const auto& c : cases) {
        const auto got = printerPaper(QString::fromLatin1(c.queue));
        ASSERT_TRUE(got.has_value()) << c.queue << server.log().toStdString();
        EXPECT_EQ(got->paperSize, c.code) << c.queue;
    }
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
