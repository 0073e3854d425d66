// Printer, display and system members of EDiv: each wraps one service of the platform layer
// (print destinations, display modes, computer name, identifiers, the folder picker, disk space,
// the beep) and answers the way the member always has when the service fails.

#include <exception>

#include "platform/display.h"
#include "platform/printers.h"
#include "platform/runtime_error.h"
#include "platform/sysinfo.h"
#include "platform/win1252.h"
#include "util/EDiv.h"

namespace {

QString upToFirstNul(const QString& s) {
    const qsizetype nul = s.indexOf(QChar(0));
    return nul >= 0 ? s.left(nul) : s;
}

}  // namespace

bool EDiv::GetPrinterSettings(Ref<QString> szPrinterName, Ref<std::int32_t> /*hdc*/, Ref<std::int16_t> PaperSize,
                              Ref<std::int16_t> PaperOrientation) {
    // The platform's printer-name argument is a C string: the name ends at a NUL.
    const auto settings = platform::printerPaper(upToFirstNul(*szPrinterName));
    if (!settings) {
        *PaperSize = 0;
        *PaperOrientation = 0;
        return false;
    }
    *PaperSize = settings->paperSize;
    *PaperOrientation = settings->orientation;
    return true;
}

bool EDiv::SetImpressoraDefault(Ref<QString> /*PrinterName*/) { return false; }

QString EDiv::FillListaPrinterPaperSize() {
    return QStringLiteral(
        "9:A4 210x297mm;40:Letter 8.5x12;1:Letter 8.5x11;3:Tabloid 11x17;11:A5 148x210;256:Definido;");
}

void EDiv::MudaResolucao(Ref<std::int32_t> Comprimento, Ref<std::int32_t> Altura) {
    // The record keeps the last mode the display reports, counting from the second one; a
    // display with a single mode (or none) leaves it as it was.
    const std::vector<platform::DisplayMode> modes = platform::displayModes();
    for (std::size_t n = 1; n < modes.size(); ++n) {
        const platform::DisplayMode& m = modes[n];
        devModeTela_.dmFields = m.fields;
        devModeTela_.dmBitsPerPel = m.bitsPerPel;
        devModeTela_.dmPelsWidth = m.pelsWidth;
        devModeTela_.dmPelsHeight = m.pelsHeight;
        devModeTela_.dmDisplayFlags = m.displayFlags;
        devModeTela_.dmDisplayFrequency = m.displayFrequency;
    }
    devModeTela_.dmFields = platform::dm::PelsWidth | platform::dm::PelsHeight;
    devModeTela_.dmPelsWidth = static_cast<std::uint32_t>(*Comprimento);
    devModeTela_.dmPelsHeight = static_cast<std::uint32_t>(*Altura);

    platform::DisplayMode wanted;
    wanted.fields = devModeTela_.dmFields;
    wanted.bitsPerPel = devModeTela_.dmBitsPerPel;
    wanted.pelsWidth = devModeTela_.dmPelsWidth;
    wanted.pelsHeight = devModeTela_.dmPelsHeight;
    wanted.displayFlags = devModeTela_.dmDisplayFlags;
    wanted.displayFrequency = devModeTela_.dmDisplayFrequency;
    platform::changeDisplaySettings(wanted);  // an unsupported size changes nothing, silently
}

bool EDiv::GetMachineName(Ref<Variant> rpsComputerName) {
    const auto name = platform::computerName();
    if (!name) return false;
    *rpsComputerName = Variant(*name);
    return true;
}

QString EDiv::GetGUID() { return platform::newGuid(); }

QString EDiv::BrowseForFolder(std::int32_t lngHwnd, QString strPrompt) {
    try {
        return upToFirstNul(platform::browseForFolder(lngHwnd, strPrompt));
    } catch (const std::exception&) {
        return QString();
    }
}

QString EDiv::BrowseForOutLookContacts() { return QString(); }

double EDiv::FreeSpace(Ref<QString> strDisco, Ref<std::int32_t> enumUnidades) {
    const auto bytes = platform::totalFreeBytes(*strDisco);
    if (!bytes) return 0;
    const double free = static_cast<double>(*bytes);
    switch (*enumUnidades) {
        case 0: return free;
        case 1: return free / 1024.0;
        case 2: return free / 1024000.0;  // 1024 x 1000, as the system has always counted it
        default: return 0;
    }
}

data::Variant EDiv::Bip(Ref<std::int32_t> Frequency, Ref<std::int32_t> Duration) {
    try {
        platform::beep(*Frequency, *Duration);
    } catch (const std::exception&) {
        // the platform's answer to a beep is never looked at
    }
    return Variant();
}

bool EDiv::ISDesign() { return false; }

QString EDiv::TiraNulos(Ref<QString> s) {
    const qsizetype nul = s->indexOf(QChar(0));
    if (nul >= 0) s->truncate(nul);
    qsizetype a = 0;
    qsizetype b = s->size();
    while (a < b && s->at(a) == u' ') ++a;
    while (b > a && s->at(b - 1) == u' ') --b;
    return s->mid(a, b - a);
}

QString EDiv::ByteArrayToStr(const QByteArray& b) {
    // A fixed 32-byte name field; a shorter array is a subscript error for the caller.
    if (b.size() < 32) platform::raiseSubscript();
    QString s;
    s.reserve(32);
    for (int i = 0; i < 32; ++i) s += platform::ansiChar(static_cast<unsigned char>(b.at(i)));
    return TiraNulos(s);
}
