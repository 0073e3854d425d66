#include "data/currency.h"

#include <cmath>

#include "platform/runtime_error.h"

namespace data {

namespace {

// a / b rounded half to even, for b > 0.
__int128 divRoundHalfEven(__int128 a, __int128 b) {
    __int128 q = a / b;
    __int128 r = a % b;
    if (r < 0) {  // make the remainder non-negative so q is the floor
        r += b;
        q -= 1;
    }
    const __int128 twice = 2 * r;
    if (twice > b || (twice == b && (q % 2 != 0))) q += 1;
    return q;
}

Currency checked(__int128 v) {
    if (v > INT64_MAX || v < INT64_MIN) platform::raiseOverflow();
    return Currency::fromRaw(static_cast<std::int64_t>(v));
}

}  // namespace

Currency Currency::fromUnits(std::int64_t units) { return checked(static_cast<__int128>(units) * kScale); }

Currency Currency::fromDouble(double value) {
    if (!std::isfinite(value)) platform::raiseOverflow();
    // Scale in double like the original, so 0.00005 is the half it looks like; past 2^53 the
    // double product drops digits, so there scale in extended precision, whose 64-bit mantissa
    // holds every in-range count exactly (922337203685477 converts without binary noise).
    // The default rounding mode is to-nearest-even: nearbyint rounds a half to even.
    const double scaledD = value * kScale;
    const long double r = std::fabs(scaledD) < 9007199254740992.0
                              ? static_cast<long double>(std::nearbyint(scaledD))
                              : std::nearbyintl(static_cast<long double>(value) * kScale);
    if (r >= 9223372036854775808.0L || r < -9223372036854775808.0L) platform::raiseOverflow();
    return Currency(static_cast<std::int64_t>(r));
}

std::optional<Currency> Currency::parse(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == u' ') ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    __int128 digits = 0;
    int fractionDigits = 0;
    bool any = false;
    bool point = false;
    int extraScale = 0;  // digits beyond the fourth decimal kept for rounding
    bool tail = false;   // a non-zero digit beyond those kept
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'.' && !point) {
            point = true;
            continue;
        }
        if (!c.isDigit() || c.unicode() > u'9') break;
        any = true;
        const int d = c.unicode() - u'0';
        if (point) {
            if (fractionDigits < 4) {
                ++fractionDigits;
            } else if (extraScale < 18) {
                ++extraScale;
            } else {
                tail = tail || d != 0;  // far beyond any rounding effect: only a non-zero tail matters
                continue;
            }
        }
        digits = digits * 10 + d;
        // Whole units beyond 10^15 never fit; checking only those leaves room for every decimal.
        if (!point && digits > 1000000000000000) return std::nullopt;
    }
    while (i < n && text.at(i) == u' ') ++i;
    if (!any || i != n) return std::nullopt;
    for (int k = fractionDigits; k < 4; ++k) digits *= 10;
    if (tail) {  // a tail below an exact half still breaks the tie upward
        digits = digits * 10 + 1;
        ++extraScale;
    }
    if (extraScale > 0) {
        __int128 div = 1;
        for (int k = 0; k < extraScale; ++k) div *= 10;
        digits = divRoundHalfEven(negative ? -digits : digits, div);
        negative = false;
    } else if (negative) {
        digits = -digits;
    }
    if (digits > INT64_MAX || digits < INT64_MIN) return std::nullopt;
    return Currency(static_cast<std::int64_t>(digits));
}

Currency Currency::floor() const {
    std::int64_t q = value_ / kScale;
    if (value_ % kScale < 0) q -= 1;
    return checked(static_cast<__int128>(q) * kScale);
}

Currency Currency::roundHalfEven(int decimals) const {
    if (decimals >= 4) return *this;
    if (decimals < 0) decimals = 0;
    __int128 unit = 1;
    for (int k = decimals; k < 4; ++k) unit *= 10;
    return checked(divRoundHalfEven(value_, unit) * unit);
}

Currency Currency::abs() const { return value_ < 0 ? -*this : *this; }

QString Currency::toPlainText(const QString& decimalSeparator) const {
    const bool negative = value_ < 0;
    // Work in unsigned so the most negative amount has a magnitude too.
    const std::uint64_t mag =
        negative ? static_cast<std::uint64_t>(-(value_ + 1)) + 1 : static_cast<std::uint64_t>(value_);
    const std::uint64_t units = mag / kScale;
    std::uint64_t frac = mag % kScale;
    QString out;
    if (negative) out += u'-';
    out += QString::number(units);
    if (frac != 0) {
        QString f = QString::number(frac).rightJustified(4, u'0');
        while (f.endsWith(u'0')) f.chop(1);
        out += decimalSeparator;
        out += f;
    }
    return out;
}

Currency Currency::operator-() const {
    if (value_ == INT64_MIN) platform::raiseOverflow();
    return Currency(-value_);
}

Currency Currency::operator+(Currency o) const { return checked(static_cast<__int128>(value_) + o.value_); }
Currency Currency::operator-(Currency o) const { return checked(static_cast<__int128>(value_) - o.value_); }

Currency Currency::operator*(Currency o) const {
    return checked(divRoundHalfEven(static_cast<__int128>(value_) * o.value_, kScale));
}

Currency Currency::operator*(std::int64_t n) const { return checked(static_cast<__int128>(value_) * n); }

}  // namespace data
