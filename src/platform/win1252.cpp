#include "platform/win1252.h"

#include <array>

namespace platform {

namespace {

// Unicode of the codes 0x80-0x9F; the unassigned ones keep their C1 value.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

int ansiCode(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == u) return static_cast<int>(0x80 + i);
    }
    return '?';
}

QChar ansiChar(int code) {
    const int b = code & 0xFF;
    if (b >= 0x80 && b <= 0x9F) return QChar(kHigh[static_cast<std::size_t>(b - 0x80)]);
    return QChar(static_cast<char16_t>(b));
}

// Whole export files pass through these two: the bytes are written in place, not appended
// one by one.
QByteArray toAnsi(const QString& text) {
    QByteArray out(text.size(), Qt::Uninitialized);
    char* o = out.data();
    const QChar* in = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = in[i];
        // A surrogate pair is one character outside the code page: one "?", not two.
        if (c.isHighSurrogate() && i + 1 < n && in[i + 1].isLowSurrogate()) ++i;
        *o++ = static_cast<char>(ansiCode(c));
    }
    out.truncate(o - out.constData());
    return out;
}

QString fromAnsi(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* o = out.data();
    for (const char b : bytes) *o++ = ansiChar(static_cast<unsigned char>(b));
    return out;
}

}  // namespace platform
