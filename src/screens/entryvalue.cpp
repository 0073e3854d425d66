#include "screens/entryvalue.h"

#include <cmath>

#include "data/variant.h"
#include "util/Locale.h"

namespace screens {

std::optional<double> numberOf(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return std::nullopt;
    switch (value.metaType().id()) {
        case QMetaType::Bool: return value.toBool() ? -1.0 : 0.0;  // True is -1, as the system counts it
        case QMetaType::QString:
        case QMetaType::QByteArray: {
            double out = 0;
            if (data::parseNumber(value.toString(), out, Locale().gstrDecSep)) return out;
            return std::nullopt;
        }
        default: break;
    }
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok || !std::isfinite(d)) return std::nullopt;
    return d;
}

std::int16_t int16Of(const QVariant& value) {
    const std::optional<double> n = numberOf(value);
    if (!n) return 0;
    const double r = std::nearbyint(*n);  // the default rounding mode rounds half to even
    if (r <= -32768.0) return -32768;
    if (r >= 32767.0) return 32767;
    return static_cast<std::int16_t>(r);
}

QString decimalSeparator() {
    const QString& s = Locale().gstrDecSep;
    return s.size() == 1 ? s : QStringLiteral(".");
}

QString dateSeparator() {
    const QString& s = Locale().gstrDataSep;
    return s.isEmpty() ? QStringLiteral("-") : s;
}

QString timeSeparator() {
    const QString& s = Locale().gstrHoraSep;
    return s.isEmpty() ? QStringLiteral(":") : s;
}

}  // namespace screens
