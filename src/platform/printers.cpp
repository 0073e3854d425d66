#include "platform/printers.h"

#include <cups/cups.h>

#include <QStringList>
#include <cstdlib>
#include <memory>

namespace platform {

namespace {

// Connect and request limits: a print server that is gone or does not answer must not hold up
// the caller.
constexpr int kConnectMs = 5000;
constexpr double kRequestSeconds = 5.0;

// Sizes are compared to the millimetre: media names give their sizes rounded that way, and no
// two different standard sheets lie closer than 2mm in both directions.
constexpr int kTolerance = 100;

// The platform's standard paper sizes (width x length of the sheet as it is fed), in hundredths
// of a millimetre. Where several codes name one sheet the earlier entry wins and the others are
// left out: LetterSmall (2), Note (18), 11x17 (17), A4Small (10) and the "transverse" codes
// (54-56, 61, 62, 67, 68) are the same sheets as Letter, Tabloid, A4, A5, B5 and A3; German
// Legal Fanfold (41) is Folio's 8.5x13in; the Chinese envelopes #5, #9 and #10 (100, 104, 105)
// are DL, C4 and C3; 32K big (95) is 32K. A 250x353mm sheet answers ISO B4 (42), not the B4
// envelope (33): a sheet of that size is far more often paper. ISO B5 and B6 have no sheet code
// of their own: they answer the B5 and B6 envelopes (34, 35), and B6 does so either way up (the
// platform gives its B6 envelope as 176x125mm), before the Chinese envelope #3 (98, 111) of the
// same size.
constexpr int in(double inches) { return static_cast<int>(inches * 2540.0 + 0.5); }
constexpr int mm(int millimetres) { return millimetres * 100; }

struct PaperForm {
    int width, length;
    std::int16_t code;
};

constexpr PaperForm kPaperForms[] = {
    {in(8.5), in(11), 1},           // Letter
    {in(11), in(17), 3},            // Tabloid
    {in(17), in(11), 4},            // Ledger
    {in(8.5), in(14), 5},           // Legal
    {in(5.5), in(8.5), 6},          // Statement
    {in(7.25), in(10.5), 7},        // Executive
    {mm(297), mm(420), 8},          // A3
    {mm(210), mm(297), 9},          // A4
    {mm(148), mm(210), 11},         // A5
    {mm(257), mm(364), 12},         // B4 (JIS)
    {mm(182), mm(257), 13},         // B5 (JIS)
    {in(8.5), in(13), 14},          // Folio
    {mm(215), mm(275), 15},         // Quarto
    {in(10), in(14), 16},           // 10x14
    {in(3.875), in(8.875), 19},     // Envelope #9
    {in(4.125), in(9.5), 20},       // Envelope #10
    {in(4.5), in(10.375), 21},      // Envelope #11
    {in(4.75), in(11), 22},         // Envelope #12
    {in(5), in(11.5), 23},          // Envelope #14
    {in(17), in(22), 24},           // C size sheet
    {in(22), in(34), 25},           // D size sheet
    {in(34), in(44), 26},           // E size sheet
    {mm(110), mm(220), 27},         // Envelope DL
    {mm(162), mm(229), 28},         // Envelope C5
    {mm(324), mm(458), 29},         // Envelope C3
    {mm(229), mm(324), 30},         // Envelope C4
    {mm(114), mm(162), 31},         // Envelope C6
    {mm(114), mm(229), 32},         // Envelope C65
    {mm(250), mm(353), 42},         // ISO B4
    {mm(176), mm(250), 34},         // Envelope B5
    {mm(176), mm(125), 35},         // Envelope B6
    {mm(125), mm(176), 35},         // ISO B6 upright
    {mm(110), mm(230), 36},         // Envelope Italy
    {in(3.875), in(7.5), 37},       // Envelope Monarch
    {in(3.625), in(6.5), 38},       // 6 3/4 Envelope
    {in(14.875), in(11), 39},       // US Std Fanfold
    {in(8.5), in(12), 40},          // German Std Fanfold
    {mm(100), mm(148), 43},         // Japanese Postcard
    {in(9), in(11), 44},            // 9x11
    {in(10), in(11), 45},           // 10x11
    {in(15), in(11), 46},           // 15x11
    {mm(220), mm(220), 47},         // Envelope Invite
    {in(9.5), in(12), 50},          // Letter Extra
    {in(9.5), in(15), 51},          // Legal Extra
    {in(11.69), in(18), 52},        // Tabloid Extra
    {in(9.27), in(12.69), 53},      // A4 Extra
    {mm(227), mm(356), 57},         // SuperA/A4
    {mm(305), mm(487), 58},         // SuperB/A3
    {in(8.5), in(12.69), 59},       // Letter Plus
    {mm(210), mm(330), 60},         // A4 Plus
    {mm(322), mm(445), 63},         // A3 Extra
    {mm(174), mm(235), 64},         // A5 Extra
    {mm(201), mm(276), 65},         // B5 (ISO) Extra
    {mm(420), mm(594), 66},         // A2
    {mm(200), mm(148), 69},         // Double Japanese Postcard
    {mm(105), mm(148), 70},         // A6
    {mm(240), mm(332), 71},         // Japanese Envelope Kaku #2
    {mm(216), mm(277), 72},         // Japanese Envelope Kaku #3
    {mm(120), mm(235), 73},         // Japanese Envelope Chou #3
    {mm(90), mm(205), 74},          // Japanese Envelope Chou #4
    {in(11), in(8.5), 75},          // Letter Rotated
    {mm(420), mm(297), 76},         // A3 Rotated
    {mm(297), mm(210), 77},         // A4 Rotated
    {mm(210), mm(148), 78},         // A5 Rotated
    {mm(364), mm(257), 79},         // B4 (JIS) Rotated
    {mm(257), mm(182), 80},         // B5 (JIS) Rotated
    {mm(148), mm(100), 81},         // Japanese Postcard Rotated
    {mm(148), mm(200), 82},         // Double Japanese Postcard Rotated
    {mm(148), mm(105), 83},         // A6 Rotated
    {mm(332), mm(240), 84},         // Japanese Envelope Kaku #2 Rotated
    {mm(277), mm(216), 85},         // Japanese Envelope Kaku #3 Rotated
    {mm(235), mm(120), 86},         // Japanese Envelope Chou #3 Rotated
    {mm(205), mm(90), 87},          // Japanese Envelope Chou #4 Rotated
    {mm(128), mm(182), 88},         // B6 (JIS)
    {mm(182), mm(128), 89},         // B6 (JIS) Rotated
    {in(12), in(11), 90},           // 12x11
    {mm(105), mm(235), 91},         // Japanese Envelope You #4
    {mm(235), mm(105), 92},         // Japanese Envelope You #4 Rotated
    {mm(146), mm(215), 93},         // PRC 16K
    {mm(97), mm(151), 94},          // PRC 32K
    {mm(102), mm(165), 96},         // PRC Envelope #1
    {mm(102), mm(176), 97},         // PRC Envelope #2
    {mm(110), mm(208), 99},         // PRC Envelope #4
    {mm(120), mm(230), 101},        // PRC Envelope #6
    {mm(160), mm(230), 102},        // PRC Envelope #7
    {mm(120), mm(309), 103},        // PRC Envelope #8
    {mm(215), mm(146), 106},        // PRC 16K Rotated
    {mm(151), mm(97), 107},         // PRC 32K Rotated
    {mm(165), mm(102), 109},        // PRC Envelope #1 Rotated
    {mm(176), mm(102), 110},        // PRC Envelope #2 Rotated
    {mm(208), mm(110), 112},        // PRC Envelope #4 Rotated
    {mm(220), mm(110), 113},        // PRC Envelope #5 Rotated
    {mm(230), mm(120), 114},        // PRC Envelope #6 Rotated
    {mm(230), mm(160), 115},        // PRC Envelope #7 Rotated
    {mm(309), mm(120), 116},        // PRC Envelope #8 Rotated
    {mm(324), mm(229), 117},        // PRC Envelope #9 Rotated
    {mm(458), mm(324), 118},        // PRC Envelope #10 Rotated
};

struct HttpClose {
    void operator()(http_t* h) const { httpClose(h); }
};
struct DestFree {
    void operator()(cups_dest_t* d) const { cupsFreeDests(1, d); }
};
struct DinfoFree {
    void operator()(cups_dinfo_t* d) const { cupsFreeDestInfo(d); }
};

int giveUp(http_t*, void*) { return 0; }

std::optional<std::int16_t> orientationOfOptions(const cups_dest_t& dest) {
    if (const char* v = cupsGetOption("orientation-requested", dest.num_options, dest.options)) {
        const QString s = QString::fromUtf8(v).trimmed().toLower();
        bool numeric = false;
        const int n = s.toInt(&numeric);
        if (numeric) return orientationCode(n);
        if (s == QLatin1String("landscape") || s == QLatin1String("reverse-landscape")) return orientation::Landscape;
        if (s == QLatin1String("portrait") || s == QLatin1String("reverse-portrait")) return orientation::Portrait;
    }
    if (const char* v = cupsGetOption("landscape", dest.num_options, dest.options)) {
        const QString s = QString::fromUtf8(v).trimmed().toLower();
        const bool off = s == QLatin1String("false") || s == QLatin1String("no") || s == QLatin1String("off");
        return off ? orientation::Portrait : orientation::Landscape;
    }
    return std::nullopt;
}

// The sheet size of the printer's default media collection, for printers that announce no
// default media name.
std::optional<std::int16_t> paperOfMediaCol(http_t* http, cups_dest_t* dest) {
    std::unique_ptr<cups_dinfo_t, DinfoFree> info(cupsCopyDestInfo(http, dest));
    if (!info) return std::nullopt;
    ipp_attribute_t* col = cupsFindDestDefault(http, dest, info.get(), "media-col");
    if (col == nullptr || ippGetValueTag(col) != IPP_TAG_BEGIN_COLLECTION) return std::nullopt;
    ipp_t* media = ippGetCollection(col, 0);
    ipp_attribute_t* size = media ? ippFindAttribute(media, "media-size", IPP_TAG_BEGIN_COLLECTION) : nullptr;
    ipp_t* dims = size ? ippGetCollection(size, 0) : nullptr;
    if (dims == nullptr) return std::nullopt;
    ipp_attribute_t* x = ippFindAttribute(dims, "x-dimension", IPP_TAG_INTEGER);
    ipp_attribute_t* y = ippFindAttribute(dims, "y-dimension", IPP_TAG_INTEGER);
    if (x == nullptr || y == nullptr) return std::nullopt;
    return paperSizeCode(ippGetInteger(x, 0), ippGetInteger(y, 0));
}

}  // namespace

std::int16_t paperSizeCode(int w, int l) {
    const auto near = [](int a, int b) { return std::abs(a - b) <= kTolerance; };
    for (const PaperForm& f : kPaperForms)
        if (near(w, f.width) && near(l, f.length)) return f.code;
    // Standard media names always give the shorter side first, while the platform describes a
    // few sheets sideways only (US Std Fanfold, 15x11, 12x11, the B6 envelope).
    for (const PaperForm& f : kPaperForms)
        if (near(l, f.width) && near(w, f.length)) return f.code;
    return paper::Other;
}

std::int16_t paperSizeCodeOfMedia(const QString& media) {
    // A media keyword list names the sheet and also its source or type; the first keyword that
    // is a sheet size decides.
    for (const QString& part : media.split(u',', Qt::SkipEmptyParts)) {
        const QByteArray name = part.trimmed().toUtf8();
        if (name.isEmpty()) continue;
        pwg_media_t* pwg = pwgMediaForPWG(name.constData());
        if (pwg == nullptr) pwg = pwgMediaForLegacy(name.constData());
        if (pwg == nullptr) pwg = pwgMediaForPPD(name.constData());
        if (pwg != nullptr) return paperSizeCode(pwg->width, pwg->length);
    }
    return paper::Other;
}

std::int16_t orientationCode(int orientationRequested) {
    return (orientationRequested == 4 || orientationRequested == 5) ? orientation::Landscape : orientation::Portrait;
}

std::optional<PrinterPaper> printerPaper(const QString& name) {
    if (name.trimmed().isEmpty()) return std::nullopt;
    const qsizetype slash = name.indexOf(u'/');
    const QByteArray queue = (slash >= 0 ? name.left(slash) : name).toUtf8();
    const QByteArray instance = slash >= 0 ? name.mid(slash + 1).toUtf8() : QByteArray();
    if (queue.isEmpty() || queue.contains('\0')) return std::nullopt;

    std::unique_ptr<http_t, HttpClose> http(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectMs, nullptr));
    if (!http) return std::nullopt;
    httpSetTimeout(http.get(), kRequestSeconds, giveUp, nullptr);

    std::unique_ptr<cups_dest_t, DestFree> dest(
        cupsGetNamedDest(http.get(), queue.constData(), instance.isEmpty() ? nullptr : instance.constData()));
    if (!dest) return std::nullopt;

    PrinterPaper out;
    if (const char* media = cupsGetOption("media", dest->num_options, dest->options)) {
        out.paperSize = paperSizeCodeOfMedia(QString::fromUtf8(media));
    } else if (const auto fromCol = paperOfMediaCol(http.get(), dest.get())) {
        out.paperSize = *fromCol;
    }
    if (const auto o = orientationOfOptions(*dest)) out.orientation = *o;
    return out;
}

}  // namespace platform
