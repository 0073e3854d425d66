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

// Sizes are compared to the millimetre: media names give their sizes rounded that way.
constexpr int kTolerance = 100;

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
    struct Known {
        int w, l;
        std::int16_t code;
    };
    static constexpr Known known[] = {
        {21000, 29700, paper::A4},      {21590, 27940, paper::Letter}, {21590, 30480, paper::Letter8_5x12},
        {27940, 43180, paper::Tabloid}, {14800, 21000, paper::A5},
    };
    for (const Known& k : known)
        if (near(w, k.w) && near(l, k.l)) return k.code;
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
