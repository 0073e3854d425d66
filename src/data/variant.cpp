#include "data/variant.h"

#include <cmath>
#include <limits>

#include "platform/runtime_error.h"

namespace data {

namespace {

QString& decimalSeparatorStore() {
    static QString sep = QStringLiteral(".");
    return sep;
}

[[noreturn]] void raiseInvalidNull() {
    throw platform::RuntimeError(94, QStringLiteral("Invalid use of Null"));
}

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
// Spelled out for compilers without deduction for aggregates (clang before 17).
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

double roundHalfEvenToInteger(double d) { return std::nearbyint(d); }

template <class Int>
Int toInteger(double d) {
    if (!std::isfinite(d)) platform::raiseOverflow();
    const double r = roundHalfEvenToInteger(d);
    if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
        r >= -static_cast<double>(std::numeric_limits<Int>::min())) {
        platform::raiseOverflow();
    }
    return static_cast<Int>(r);
}

// Whole-number arms convert exactly, without passing through double.
template <class Int>
Int fromWhole(std::int64_t v) {
    if (v < std::numeric_limits<Int>::min() || v > std::numeric_limits<Int>::max()) platform::raiseOverflow();
    return static_cast<Int>(v);
}

}  // namespace

QString regionalDecimalSeparator() { return decimalSeparatorStore(); }
void setRegionalDecimalSeparator(const QString& sep) { decimalSeparatorStore() = sep.isEmpty() ? QStringLiteral(".") : sep; }

bool parseNumber(const QString& text, double& out, const QString& regionalDecimal) {
    QString t = text.trimmed();
    if (t.isEmpty()) return false;
    QString norm;
    norm.reserve(t.size());
    bool point = false;
    bool digit = false;
    bool exponent = false;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if ((c == u'+' || c == u'-') && (i == 0 || (exponent && (norm.endsWith(u'e'))))) {
            norm += c;
        } else if (c.unicode() >= u'0' && c.unicode() <= u'9') {
            digit = true;
            norm += c;
        } else if (!point && !exponent && (c == u'.' || (!regionalDecimal.isEmpty() && c == regionalDecimal.at(0)))) {
            point = true;
            norm += u'.';
        } else if (!exponent && digit && (c == u'e' || c == u'E')) {
            exponent = true;
            norm += u'e';
        } else {
            return false;
        }
    }
    if (!digit || norm.endsWith(u'e') || norm.endsWith(u'+') || norm.endsWith(u'-')) return false;
    bool ok = false;
    out = norm.toDouble(&ok);
    return ok;
}

double leadingNumber(const QString& text) {
    QString digits;
    bool point = false;
    bool started = false;
    for (const QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') continue;
        if (!started && (c == u'-' || c == u'+')) {
            digits += c;
            started = true;
            continue;
        }
        if (c.unicode() >= u'0' && c.unicode() <= u'9') {
            digits += c;
            started = true;
        } else if (c == u'.' && !point) {
            digits += c;
            point = true;
            started = true;
        } else {
            break;
        }
    }
    bool ok = false;
    const double d = digits.toDouble(&ok);
    return ok && std::isfinite(d) ? d : 0.0;
}

Variant::Type Variant::type() const {
    return std::visit(Overloaded{
                          [](std::monostate) { return Type::Empty; },
                          [](NullValue) { return Type::Null; },
                          [](std::int16_t) { return Type::Integer; },
                          [](std::int32_t) { return Type::Long; },
                          [](std::int64_t) { return Type::LongLong; },
                          [](float) { return Type::Single; },
                          [](double) { return Type::Double; },
                          [](Currency) { return Type::Currency; },
                          [](const QDateTime&) { return Type::Date; },
                          [](const QString&) { return Type::String; },
                          [](bool) { return Type::Boolean; },
                          [](const QByteArray&) { return Type::Bytes; },
                      },
                      v_);
}

bool Variant::isNumber() const {
    switch (type()) {
        case Type::Integer:
        case Type::Long:
        case Type::LongLong:
        case Type::Single:
        case Type::Double:
        case Type::Currency:
        case Type::Boolean:
            return true;
        default:
            return false;
    }
}

namespace {

void twoDigits(char16_t* at, int v) {
    at[0] = static_cast<char16_t>(u'0' + v / 10);
    at[1] = static_cast<char16_t>(u'0' + v % 10);
}

// "yyyy-MM-dd" of a day into out[0..9]; false, with nothing written, for a day outside the
// years 1 to 9999. The calendar is asked once for the three parts: a sales line's day is
// written for every line a run reads.
bool writeDay(char16_t* out, const QDate& day) {
    if (!day.isValid()) return false;
    int year = 0;
    int month = 0;
    int dayOfMonth = 0;
    day.getDate(&year, &month, &dayOfMonth);
    if (year < 1 || year > 9999) return false;
    twoDigits(out, year / 100);
    twoDigits(out + 2, year % 100);
    out[4] = u'-';
    twoDigits(out + 5, month);
    out[7] = u'-';
    twoDigits(out + 8, dayOfMonth);
    return true;
}

// "yyyy-MM-dd", and " hh:mm:ss" when the time is not midnight.
QString dateTimeText(const QDateTime& d) {
    const QDate day = d.date();
    const QTime t = d.time();
    const bool midnight = t == QTime(0, 0);
    char16_t out[19];
    if (!writeDay(out, day)) {
        return midnight ? day.toString(QStringLiteral("yyyy-MM-dd")) : d.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    if (midnight) return QString(reinterpret_cast<const QChar*>(out), 10);
    out[10] = u' ';
    twoDigits(out + 11, t.hour());
    out[13] = u':';
    twoDigits(out + 14, t.minute());
    out[16] = u':';
    twoDigits(out + 17, t.second());
    return QString(reinterpret_cast<const QChar*>(out), 19);
}

}  // namespace

QString isoDateText(const QDate& day) {
    char16_t out[10];
    if (!writeDay(out, day)) return day.toString(QStringLiteral("yyyy-MM-dd"));
    return QString(reinterpret_cast<const QChar*>(out), 10);
}

void Variant::assignLatin1(const char* p, qsizetype n) {
    if (auto* s = std::get_if<QString>(&v_); s && n > 0 && s->isDetached() && s->capacity() >= n) {
        s->resize(n);
        char16_t* out = reinterpret_cast<char16_t*>(s->data());
        for (qsizetype i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(p[i]);
        return;
    }
    v_ = QString::fromLatin1(p, n);
}

QString Variant::toString() const {
    if (const auto* s = std::get_if<QString>(&v_)) return *s;  // the common case needs no separator
    return std::visit(Overloaded{
                          [](std::monostate) { return QString(); },
                          [](NullValue) -> QString { raiseInvalidNull(); },
                          [](std::int16_t i) { return QString::number(i); },
                          [](std::int32_t i) { return QString::number(i); },
                          [](std::int64_t i) { return QString::number(i); },
                          [](float f) {
                              QString s = QString::number(static_cast<double>(f), 'g', 7);
                              return s.replace(u'.', regionalDecimalSeparator());
                          },
                          [](double d) {
                              QString s = QString::number(d, 'g', 15);
                              return s.replace(u'.', regionalDecimalSeparator());
                          },
                          [](Currency c) { return c.toPlainText(regionalDecimalSeparator()); },
                          [](const QDateTime& d) { return dateTimeText(d); },
                          [](const QString& s) { return s; },
                          [](bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); },
                          [](const QByteArray& b) { return QString::fromLatin1(b); },
                      },
                      v_);
}

double Variant::toDouble() const {
    return std::visit(Overloaded{
                          [](std::monostate) { return 0.0; },
                          [](NullValue) -> double { raiseInvalidNull(); },
                          [](std::int16_t i) { return static_cast<double>(i); },
                          [](std::int32_t i) { return static_cast<double>(i); },
                          [](std::int64_t i) { return static_cast<double>(i); },
                          [](float f) { return static_cast<double>(f); },
                          [](double d) { return d; },
                          [](Currency c) { return c.toDouble(); },
                          [](const QDateTime&) -> double { platform::raiseTypeMismatch(); },
                          [](const QString& s) {
                              double d = 0;
                              if (!parseNumber(s, d, regionalDecimalSeparator())) platform::raiseTypeMismatch();
                              return d;
                          },
                          [](bool b) { return b ? -1.0 : 0.0; },
                          [](const QByteArray&) -> double { platform::raiseTypeMismatch(); },
                      },
                      v_);
}

Currency Variant::toCurrency() const {
    if (const auto* c = std::get_if<Currency>(&v_)) return *c;
    if (const auto* s = std::get_if<QString>(&v_)) {
        // Read texts exactly, not through double, so "0.1" stays 0.1.
        QString t = s->trimmed();
        const QString dec = regionalDecimalSeparator();
        if (dec != QStringLiteral(".") && !t.contains(u'.')) t.replace(dec, QStringLiteral("."));
        if (auto c = Currency::parse(t)) return *c;
    }
    if (const auto* i = std::get_if<std::int64_t>(&v_)) return Currency::fromUnits(*i);
    if (const auto* i = std::get_if<std::int32_t>(&v_)) return Currency::fromUnits(*i);
    if (const auto* i = std::get_if<std::int16_t>(&v_)) return Currency::fromUnits(*i);
    return Currency::fromDouble(toDouble());
}

std::int16_t Variant::toInt16() const {
    if (const auto* i = std::get_if<std::int16_t>(&v_)) return *i;
    if (const auto* i = std::get_if<std::int32_t>(&v_)) return fromWhole<std::int16_t>(*i);
    if (const auto* i = std::get_if<std::int64_t>(&v_)) return fromWhole<std::int16_t>(*i);
    return toInteger<std::int16_t>(toDouble());
}

std::int32_t Variant::toInt32() const {
    if (const auto* i = std::get_if<std::int16_t>(&v_)) return *i;
    if (const auto* i = std::get_if<std::int32_t>(&v_)) return *i;
    if (const auto* i = std::get_if<std::int64_t>(&v_)) return fromWhole<std::int32_t>(*i);
    return toInteger<std::int32_t>(toDouble());
}

std::int64_t Variant::toInt64() const {
    if (const auto* i = std::get_if<std::int16_t>(&v_)) return *i;
    if (const auto* i = std::get_if<std::int32_t>(&v_)) return *i;
    if (const auto* i = std::get_if<std::int64_t>(&v_)) return *i;
    if (const auto* c = std::get_if<Currency>(&v_)) {
        return c->roundHalfEven(0).truncatedUnits();
    }
    return toInteger<std::int64_t>(toDouble());
}

bool Variant::toBool() const {
    if (const auto* b = std::get_if<bool>(&v_)) return *b;
    if (const auto* s = std::get_if<QString>(&v_)) {
        if (s->trimmed().compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) return true;
        if (s->trimmed().compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) return false;
    }
    return toDouble() != 0.0;
}

QDateTime Variant::toDateTime() const {
    if (const auto* d = std::get_if<QDateTime>(&v_)) return *d;
    if (isNull()) raiseInvalidNull();
    if (const auto* s = std::get_if<QString>(&v_)) {
        const QString t = s->trimmed();
        for (const auto* fmt : {"yyyy-MM-dd hh:mm:ss.zzz", "yyyy-MM-dd hh:mm:ss", "yyyy-MM-dd hh:mm", "yyyy-MM-dd",
                                "yyyy-MM-ddThh:mm:ss", "yyyy-MM-ddThh:mm:ss.zzz"}) {
            QDateTime d = QDateTime::fromString(t, QString::fromLatin1(fmt));
            if (d.isValid()) {
                d.setTimeSpec(Qt::UTC);
                return d;
            }
        }
    }
    platform::raiseTypeMismatch();
}

QByteArray Variant::toBytes() const {
    if (const auto* b = std::get_if<QByteArray>(&v_)) return *b;
    if (isNull()) raiseInvalidNull();
    if (isEmpty()) return {};
    return toString().toUtf8();
}

int Variant::compare(const Variant& a, const Variant& b) {
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull() ? 0 : (a.isNull() ? -1 : 1);
    const bool aText = a.isString();
    const bool bText = b.isString();
    auto cmpNum = [](const Variant& x, const Variant& y) {
        // Currency against currency (or whole numbers) exactly; otherwise by double.
        const auto* cx = std::get_if<Currency>(&x.v_);
        const auto* cy = std::get_if<Currency>(&y.v_);
        if (cx && cy) return *cx < *cy ? -1 : (*cx > *cy ? 1 : 0);
        const double dx = x.isEmpty() ? 0.0 : x.toDouble();
        const double dy = y.isEmpty() ? 0.0 : y.toDouble();
        return dx < dy ? -1 : (dx > dy ? 1 : 0);
    };
    if (aText && bText) {
        const int c = std::get<QString>(a.v_).compare(std::get<QString>(b.v_), Qt::CaseSensitive);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.isDate() && b.isDate()) {
        const auto& x = std::get<QDateTime>(a.v_);
        const auto& y = std::get<QDateTime>(b.v_);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (aText || bText) {
        const Variant& text = aText ? a : b;
        const Variant& other = aText ? b : a;
        double d = 0;
        int c;
        if (other.isEmpty()) {
            c = std::get<QString>(text.v_).isEmpty() ? 0 : 1;
        } else if (other.isNumber() && parseNumber(std::get<QString>(text.v_), d, regionalDecimalSeparator())) {
            c = cmpNum(text, other);
        } else {
            c = 1;  // a number sorts before any text that is not a number
        }
        return aText ? c : -c;
    }
    return cmpNum(a, b);
}

}  // namespace data
