#include <gtest/gtest.h>

#include <sys/statvfs.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <stdexcept>

#include "platform/regional.h"
#include "platform/runtime_error.h"
#include "platform/sysinfo.h"
#include "platform/test_print_server.h"
#include "platform/test_x_server.h"
#include "util/EDiv.h"

using data::Variant;
using testsupport::ScopedEnv;

// The tests' way to the private cleaners and the kept display-mode record.
struct EDivSystemAccess {
    static QString TiraNulos(EDiv& e, QString& s) { return e.TiraNulos(s); }
    static QString TiraNulos(EDiv& e, const QString& value) { return e.TiraNulos(value); }
    static QString ByteArrayToStr(EDiv& e, const QByteArray& b) { return e.ByteArrayToStr(b); }
    static auto record(const EDiv& e) { return e.devModeTela_; }
};

namespace {

std::uint64_t statvfsFree(const QString& path) {
    struct statvfs st {};
    if (statvfs(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.f_bfree) * st.f_frsize;
}

}  // namespace

TEST(SystemMembers, RegionalSettingsReadBackWhatWasSetAndAnUnknownCodeIsEmpty) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    platform::setRegionalFile(dir.filePath(QStringLiteral("regional.ini")));
    EDiv e;
    EXPECT_TRUE(e.Get_locale(0).isEmpty());
    EXPECT_TRUE(e.Get_locale(9999).isEmpty());
    e.Set_locale(9999, QStringLiteral(","));  // the platform refuses it, and nobody is told
    EXPECT_TRUE(e.Get_locale(9999).isEmpty());

    e.Set_locale(14, QStringLiteral(","));
    EXPECT_EQ(e.Get_locale(14).toString(), QStringLiteral(","));
    e.Set_locale(14, QStringLiteral("."));
    EXPECT_EQ(e.Get_locale(14).toString(), QStringLiteral("."));
    e.Set_locale(31, QStringLiteral(" dd-MM-yyyy "));
    EXPECT_EQ(e.Get_locale(31).toString(), QStringLiteral("dd-MM-yyyy")) << "blanks around it removed";
    // A blank separator is a text, only an empty one.
    e.Set_locale(15, QStringLiteral(" "));
    const Variant blank = e.Get_locale(15);
    EXPECT_EQ(blank.type(), Variant::Type::String);
    EXPECT_EQ(blank.toString(), QString());
    // A text too long for the setting is refused and the setting keeps what it held.
    e.Set_locale(14, QStringLiteral("...."));
    EXPECT_EQ(e.Get_locale(14).toString(), QStringLiteral("."));
    platform::setRegionalFile(QString());
}

TEST(SystemMembers, FixedAnswersAndEmptyShells) {
    EDiv e;
    EXPECT_EQ(e.FillListaPrinterPaperSize(),
              "9:A4 210x297mm;40:Letter 8.5x12;1:Letter 8.5x11;3:Tabloid 11x17;11:A5 148x210;256:Definido;");
    EXPECT_EQ(e.eselChave(QStringLiteral("256"), e.FillListaPrinterPaperSize()), "Definido");
    QString printer = QStringLiteral("VelmoraA4");
    EXPECT_FALSE(e.SetImpressoraDefault(printer));
    EXPECT_EQ(printer, "VelmoraA4");
    EXPECT_FALSE(e.SetImpressoraDefault());
    EXPECT_EQ(e.BrowseForOutLookContacts(), "");
    EXPECT_FALSE(e.ISDesign());
}

TEST(SystemMembers, PrinterSettingsFromTheServersQueues) {
    testsupport::TestPrintServer server(testsupport::standardQueues());
    if (!server.ready()) GTEST_SKIP() << server.reason().toStdString();
    EDiv e;
    std::int32_t hdc = 1234;
    std::int16_t size = -1;
    std::int16_t orientation = -1;

    QString name = QStringLiteral("VelmoraA4");
    EXPECT_TRUE(e.GetPrinterSettings(name, hdc, size, orientation)) << server.log().toStdString();
    EXPECT_EQ(size, 9);
    EXPECT_EQ(orientation, 1);
    EXPECT_EQ(hdc, 1234) << "the device context is not used";

    name = QStringLiteral("VelmoraLetterLand");
    EXPECT_TRUE(e.GetPrinterSettings(name, hdc, size, orientation));
    EXPECT_EQ(size, 1);
    EXPECT_EQ(orientation, 2);

    size = -1;
    EXPECT_TRUE(e.GetPrinterSettings(name, 0, size)) << "the orientation is optional";
    EXPECT_EQ(size, 1);

    name = QStringLiteral("NoSuchPrinter");
    size = 5;
    orientation = 5;
    EXPECT_FALSE(e.GetPrinterSettings(name, hdc, size, orientation));
    EXPECT_EQ(size, 0);
    EXPECT_EQ(orientation, 0);

    name = QString();
    size = 5;
    EXPECT_FALSE(e.GetPrinterSettings(name, hdc, size, orientation));
    EXPECT_EQ(size, 0);

    name = QStringLiteral("VelmoraA4") + QChar(0) + QStringLiteral("garbage");
    EXPECT_TRUE(e.GetPrinterSettings(name, hdc, size, orientation)) << "the name ends at a NUL";
    EXPECT_EQ(size, 9);
}

TEST(SystemMembers, PrinterSettingsWithoutAServer) {
    testsupport::NoPrintServer none;
    EDiv e;
    std::int16_t size = 7;
    std::int16_t orientation = 7;
    EXPECT_FALSE(e.GetPrinterSettings(QStringLiteral("VelmoraA4"), 0, size, orientation));
    EXPECT_EQ(size, 0);
    EXPECT_EQ(orientation, 0);
}

TEST(SystemMembers, ResolutionChangesOnAnXScreenOnly) {
    EDiv e;
    {
        // No display at all: nothing happens, nothing is reported.
        ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("xcb"));
        ScopedEnv display("DISPLAY", std::nullopt);
        EXPECT_NO_THROW(e.MudaResolucao(800, 600));
        const auto r = EDivSystemAccess::record(e);
        EXPECT_EQ(r.dmFields, 0x180000u);
        EXPECT_EQ(r.dmPelsWidth, 800u);
        EXPECT_EQ(r.dmPelsHeight, 600u);
        EXPECT_EQ(r.dmBitsPerPel, 0u) << "no mode was reported into the record";
    }

    testsupport::TestXServer server;
    if (!server.ready()) GTEST_SKIP() << server.reason().toStdString();
    testsupport::XTestConnection probe(server.name());
    ASSERT_TRUE(probe.ok());
    ASSERT_TRUE(probe.addMode(800, 600));
    ASSERT_TRUE(probe.addMode(640, 480));

    {
        ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("offscreen"));
        ScopedEnv display("DISPLAY", server.name());
        e.MudaResolucao(800, 600);
        EXPECT_EQ(probe.currentSize(), std::make_pair(1024, 768)) << "the offscreen platform never touches a screen";
    }

    ScopedEnv qpa("QT_QPA_PLATFORM", QByteArray("xcb"));
    ScopedEnv display("DISPLAY", server.name());
    e.MudaResolucao(800, 600);
    EXPECT_EQ(probe.currentSize(), std::make_pair(800, 600));
    const auto r = EDivSystemAccess::record(e);
    EXPECT_EQ(r.dmFields, 0x180000u);
    EXPECT_EQ(r.dmPelsWidth, 800u);
    EXPECT_EQ(r.dmPelsHeight, 600u);
    EXPECT_EQ(r.dmBitsPerPel, 24u) << "the record keeps what the last reported mode left in it";

    e.MudaResolucao(1280, 1024);  // not offered: nothing changes, nothing is reported
    EXPECT_EQ(probe.currentSize(), std::make_pair(800, 600));
    e.MudaResolucao(-1, -1);
    EXPECT_EQ(probe.currentSize(), std::make_pair(800, 600));

    e.MudaResolucao(640, 480);
    EXPECT_EQ(probe.currentSize(), std::make_pair(640, 480));
    e.MudaResolucao(1024, 768);
    EXPECT_EQ(probe.currentSize(), std::make_pair(1024, 768));
}

TEST(SystemMembers, MachineNameAndGuid) {
    EDiv e;
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host), 0);
    Variant name;
    EXPECT_TRUE(e.GetMachineName(name));
    EXPECT_EQ(name.toString(), QString::fromLocal8Bit(host));

    const QRegularExpression form(QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    const QString a = e.GetGUID();
    const QString b = e.GetGUID();
    EXPECT_EQ(a.size(), 38);
    EXPECT_TRUE(form.match(a).hasMatch()) << a.toStdString();
    EXPECT_TRUE(form.match(b).hasMatch()) << b.toStdString();
    EXPECT_NE(a, b);
}

TEST(SystemMembers, FreeSpaceInItsThreeUnits) {
    EDiv e;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString path = dir.path();
    // Other programs may write meanwhile; compare only when two readings around the call agree.
    bool compared = false;
    for (int attempt = 0; attempt < 20 && !compared; ++attempt) {
        const std::uint64_t before = statvfsFree(path);
        const double bytes = e.FreeSpace(path, 0);
        const double kb = e.FreeSpace(path, 1);
        const double units = e.FreeSpace(path, 2);
        const std::uint64_t after = statvfsFree(path);
        if (before != after) continue;
        EXPECT_EQ(bytes, static_cast<double>(before));
        EXPECT_EQ(kb, static_cast<double>(before) / 1024.0);
        EXPECT_EQ(units, static_cast<double>(before) / 1024000.0) << "unit 2 is 1024 x 1000 bytes";
        compared = true;
    }
    EXPECT_TRUE(compared) << "the volume never stood still";

    EXPECT_EQ(e.FreeSpace(path, 3), 0.0);
    EXPECT_EQ(e.FreeSpace(path, -1), 0.0);
    EXPECT_EQ(path, dir.path()) << "the caller's variables are left alone";
    EXPECT_EQ(e.FreeSpace(QStringLiteral("/no/such/volume/here"), 0), 0.0);
    EXPECT_EQ(e.FreeSpace(QString(), 0), 0.0);
    EXPECT_EQ(e.FreeSpace(QString(40000, u'z'), 1), 0.0);
}

TEST(SystemMembers, FolderPickerAnswers) {
    EDiv e;
    platform::setFolderBrowserHook({});
    EXPECT_EQ(e.BrowseForFolder(0, QStringLiteral("Escolha a pasta")), "") << "no picker: nothing chosen";

    platform::setFolderBrowserHook([](std::int32_t, const QString&) { return QString(); });
    EXPECT_EQ(e.BrowseForFolder(0, QStringLiteral("Escolha")), "") << "cancelled";

    std::int32_t owner = 0;
    QString prompt;
    platform::setFolderBrowserHook([&](std::int32_t o, const QString& p) {
        owner = o;
        prompt = p;
        return QStringLiteral("/home/dados") + QChar(0) + QStringLiteral("lixo");
    });
    EXPECT_EQ(e.BrowseForFolder(4711, QStringLiteral("Escolha a pasta")), "/home/dados");
    EXPECT_EQ(owner, 4711);
    EXPECT_EQ(prompt, "Escolha a pasta");

    platform::setFolderBrowserHook([](std::int32_t, const QString&) -> QString { throw std::runtime_error("gone"); });
    EXPECT_EQ(e.BrowseForFolder(0, QStringLiteral("Escolha")), "") << "any error gives an empty answer";
    platform::setFolderBrowserHook({});
}

TEST(SystemMembers, BeepGivesAnEmptyValue) {
    EDiv e;
    platform::setBeepHook({});
    EXPECT_TRUE(e.Bip(440, 200).isEmpty());

    std::pair<int, int> heard{0, 0};
    platform::setBeepHook([&](std::int32_t f, std::int32_t d) { heard = {f, d}; });
    EXPECT_TRUE(e.Bip(880, 50).isEmpty());
    EXPECT_EQ(heard, std::make_pair(880, 50));

    platform::setBeepHook([](std::int32_t, std::int32_t) { throw std::runtime_error("no sound"); });
    EXPECT_TRUE(e.Bip(1, 1).isEmpty());
    platform::setBeepHook({});
}

TEST(SystemMembers, NameFieldCleaners) {
    EDiv e;
    QString s = QStringLiteral("AB") + QChar(0) + QStringLiteral("CDE");
    EXPECT_EQ(EDivSystemAccess::TiraNulos(e, s), "AB");
    EXPECT_EQ(s, "AB") << "the caller's text is cut at the NUL";
    s = QStringLiteral("  AB  ");
    EXPECT_EQ(EDivSystemAccess::TiraNulos(e, s), "AB");
    EXPECT_EQ(s, "  AB  ") << "only the cut reaches the caller, not the trimming";
    s = QStringLiteral(" A") + QChar(0);
    EXPECT_EQ(EDivSystemAccess::TiraNulos(e, s), "A");
    s = QString(QChar(0));
    EXPECT_EQ(EDivSystemAccess::TiraNulos(e, s), "");
    EXPECT_EQ(s, "");
    EXPECT_EQ(EDivSystemAccess::TiraNulos(e, QString()), "");
    EXPECT_EQ(EDivSystemAccess::TiraNulos(e, QStringLiteral("\tA\t")), "\tA\t") << "only blanks are trimmed";

    QByteArray field(32, '\0');
    field.replace(0, 12, "  HP Laser\x80 ");
    EXPECT_EQ(EDivSystemAccess::ByteArrayToStr(e, field), QString::fromUtf16(u"HP Laser€"));
    EXPECT_EQ(EDivSystemAccess::ByteArrayToStr(e, QByteArray(40, 'x')), QString(32, u'x')) << "only the 32-byte field";
    try {
        EDivSystemAccess::ByteArrayToStr(e, QByteArray(31, 'x'));
        ADD_FAILURE() << "a short field must raise";
    } catch (const platform::RuntimeError& err) {
        EXPECT_EQ(err.number(), platform::errnum::SubscriptOutOfRange);
    }
}
