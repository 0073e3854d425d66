#include "data/embedded/translate/sqltype.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "data/adoconstants.h"
#include "data/embedded/connection/errors.h"
#include "data/embedded/connection/sqlitedb.h"
#include "data/embedded/translate/tokenizer.h"
#include "platform/runtime_error.h"

namespace data::embedded {

namespace {

using Kind = SqlType::Kind;

constexpr long kLong = 2147483647;

QString numberText(const Variant& v) {
    // Numbers are stored with a point, whatever the regional separator.
    if (const auto* c = std::get_if<Currency>(&v.storage())) return c->toPlainText();
    if (const auto* d = std::get_if<double>(&v.storage())) return QString::number(*d, 'g', 15);
    if (const auto* f = std::get_if<float>(&v.storage())) return QString::number(static_cast<double>(*f), 'g', 7);
    return v.toString();
}

void bindCurrency(sqlite3_stmt* stmt, int index, Currency c) {
    // The one written form of an amount: whole amounts as INTEGER, others as REAL.
    if (!c.hasFraction()) {
        sqlite3_bind_int64(stmt, index, c.truncatedUnits());
    } else {
        sqlite3_bind_double(stmt, index, static_cast<double>(c.raw()) / Currency::kScale);
    }
}

QByteArray columnBlob(sqlite3_stmt* stmt, int i) {
    const void* p = sqlite3_column_blob(stmt, i);
    const int n = sqlite3_column_bytes(stmt, i);
    return p ? QByteArray(static_cast<const char*>(p), n) : QByteArray();
}

Variant wholeNumber(std::int64_t v, Kind kind) {
    if ((kind == Kind::SmallInt || kind == Kind::TinyInt) && v >= std::numeric_limits<std::int16_t>::min() &&
        v <= std::numeric_limits<std::int16_t>::max()) {
        return static_cast<std::int16_t>(v);
    }
    if (kind != Kind::BigInt && v >= std::numeric_limits<std::int32_t>::min() &&
        v <= std::numeric_limits<std::int32_t>::max()) {
        return static_cast<std::int32_t>(v);
    }
    return v;
}

Variant naturalValue(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
            return wholeNumber(sqlite3_column_int64(stmt, i), Kind::Int);
        case SQLITE_FLOAT:
            return sqlite3_column_double(stmt, i);
        case SQLITE_BLOB:
            return columnBlob(stmt, i);
        case SQLITE_NULL:
            return Variant::null();
        default:
            return columnText(stmt, i);
    }
}

std::optional<Currency> currencyOf(sqlite3_stmt* stmt, int i) {
    try {
        switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER:
                return Currency::fromUnits(sqlite3_column_int64(stmt, i));
            case SQLITE_FLOAT:
                return Currency::fromDouble(sqlite3_column_double(stmt, i));
            case SQLITE_TEXT:
                return Currency::parse(columnText(stmt, i));
            default:
                return std::nullopt;
        }
    } catch (const platform::RuntimeError&) {
        return std::nullopt;  // beyond the currency range: read as a plain number
    }
}

}  // namespace

Currency roundNumeric(Currency c, int decimals) {
    static const std::int64_t factors[] = {10000, 1000, 100, 10, 1};
    const std::int64_t f = factors[std::clamp(decimals, 0, 4)];
    const std::int64_t raw = c.raw();
    std::int64_t q = raw / f;
    const std::int64_t rem = raw % f;
    if (rem != 0 && (rem < 0 ? -rem : rem) * 2 >= f) q += raw < 0 ? -1 : 1;
    return Currency::fromRaw(q * f);
}

namespace {

// A value as a numeric column without decimals takes it: the half away from zero (2.5 is 3,
// -2.5 is -3), where the whole-number conversion of a Variant rounds the half to even.
std::int64_t wholeAwayFromZero(const Variant& v) {
    const auto& st = v.storage();
    if (const auto* c = std::get_if<Currency>(&st)) return roundNumeric(*c, 0).truncatedUnits();
    double d = 0;
    if (const auto* x = std::get_if<double>(&st)) {
        d = *x;
    } else if (const auto* f = std::get_if<float>(&st)) {
        d = static_cast<double>(*f);
    } else if (const auto* s = std::get_if<QString>(&st); !(s && parseNumber(*s, d) && std::nearbyint(d) != d)) {
        return v.toInt64();
    }
    d = std::round(d);
    if (!(std::fabs(d) < 9.2233720368547748e18)) {
        raiseServerError(8115, QStringLiteral("Arithmetic overflow error converting expression to data type numeric."));
    }
    return static_cast<std::int64_t>(d);
}

[[noreturn]] void conversionFailed(const Variant& v, const QString& typeName) {
    QString shown;
    try {
        shown = v.toString();
    } catch (const platform::RuntimeError&) {
    }
    raiseServerError(245, QStringLiteral("Conversion failed when converting the varchar value '%1' to data type %2.")
                              .arg(shown, typeName));
}

}  // namespace

namespace {

// Digits [from, from + count) of a text as a number; -1 when one is not an ASCII digit.
template <class Ch>
int asciiNumber(const Ch* p, int from, int count) {
    int v = 0;
    for (int i = from; i < from + count; ++i) {
        const auto c = static_cast<char16_t>(p[i]);
        if (c < u'0' || c > u'9') return -1;
        v = v * 10 + (c - u'0');
    }
    return v;
}

// The day and time of the forms the engine writes ("yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss",
// "yyyy-mm-dd hh:mm:ss.fff", a 'T' for the blank), either of which may not exist; false for any
// other text.
template <class Ch>
bool writtenForm(const Ch* p, qsizetype n, QDate& date, QTime& time) {
    if (n != 10 && n != 19 && n != 23) return false;
    if (p[4] != '-' || p[7] != '-') return false;
    const int y = asciiNumber(p, 0, 4);
    const int mo = asciiNumber(p, 5, 2);
    const int d = asciiNumber(p, 8, 2);
    if (y < 0 || mo < 0 || d < 0) return false;
    int h = 0;
    int mi = 0;
    int sec = 0;
    int ms = 0;
    if (n > 10) {
        if ((p[10] != ' ' && p[10] != 'T') || p[13] != ':' || p[16] != ':') return false;
        h = asciiNumber(p, 11, 2);
        mi = asciiNumber(p, 14, 2);
        sec = asciiNumber(p, 17, 2);
        if (h < 0 || mi < 0 || sec < 0) return false;
        if (n == 23) {
            if (p[19] != '.') return false;
            ms = asciiNumber(p, 20, 3);
            if (ms < 0) return false;
        }
    }
    date = QDate(y, mo, d);
    time = QTime(h, mi, sec, ms);
    return true;
}

// The written forms read without the pattern; false leaves anything else to it.
bool parseWrittenForm(const QString& text, QDateTime& out) {
    QDate date;
    QTime time;
    if (!writtenForm(reinterpret_cast<const char16_t*>(text.constData()), text.size(), date, time)) return false;
    out = date.isValid() && time.isValid() ? QDateTime(date, time, Qt::UTC) : QDateTime();
    return true;
}

}  // namespace

bool writtenDateTime(const char* p, int bytes, QDate& date, QTime& time) {
    return writtenForm(p, bytes, date, time) && date.isValid() && time.isValid();
}

QDateTime parseDateTime(const QString& text) {
    if (QDateTime written; parseWrittenForm(text, written)) return written;
    return parseDateTimeByPattern(text);
}

QDateTime readDateTime(const QString& text) {
    QDateTime d = parseDateTime(text);
    if (!d.isValid() && readDateTimeText(text, false, d) != 0) return {};
    return d;
}

QDateTime parseDateTimeByPattern(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        "^\\s*(\\d{4})-(\\d{1,2})-(\\d{1,2})(?:[ T](\\d{1,2}):(\\d{2})(?::(\\d{2})(?:\\.(\\d{1,9}))?)?)?\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch()) return {};
    const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!d.isValid()) return {};
    int ms = 0;
    if (m.hasCaptured(7) && !m.captured(7).isEmpty()) ms = (m.captured(7) + QStringLiteral("00")).left(3).toInt();
    const QTime t(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), ms);
    if (!t.isValid()) return {};
    return QDateTime(d, t, Qt::UTC);
}

SqlType SqlType::parse(const QString& declaredText) {
    SqlType t;
    t.declared = declaredText.trimmed();
    static const QRegularExpression re(
        QStringLiteral("^([A-Za-z_][A-Za-z_ ]*?)\\s*(?:\\(\\s*([0-9]+|max)\\s*(?:,\\s*([0-9]+)\\s*)?\\))?$"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(t.declared);
    if (t.declared.isEmpty() || !m.hasMatch()) {
        const QString l = t.declared.toLower();
        if (l.isEmpty()) return t;
        t.kind = l.contains(u"int")                                                 ? Kind::SqliteInteger
                 : (l.contains(u"char") || l.contains(u"clob") || l.contains(u"text")) ? Kind::SqliteText
                 : l.contains(u"blob")                                               ? Kind::SqliteBlob
                 : (l.contains(u"real") || l.contains(u"floa") || l.contains(u"doub")) ? Kind::SqliteReal
                                                                                     : Kind::Unknown;
        return t;
    }
    const QString base = m.captured(1).simplified().toLower();
    const QString a1 = m.captured(2).toLower();
    const QString a2 = m.captured(3);
    const long len = a1 == u"max" ? kLong : a1.toLong();
    struct Name {
        const char* name;
        Kind kind;
    };
    static const Name names[] = {
        {"char", Kind::Char},
        {"character", Kind::Char},
        {"varchar", Kind::VarChar},
        {"character varying", Kind::VarChar},
        {"char varying", Kind::VarChar},
        {"text", Kind::Text},
        {"nchar", Kind::NChar},
        {"national char", Kind::NChar},
        {"national character", Kind::NChar},
        {"nvarchar", Kind::NVarChar},
        {"national char varying", Kind::NVarChar},
        {"national character varying", Kind::NVarChar},
        {"ntext", Kind::NText},
        {"bit", Kind::Bit},
        {"tinyint", Kind::TinyInt},
        {"smallint", Kind::SmallInt},
        {"int", Kind::Int},
        {"integer", Kind::SqliteInteger},
        {"bigint", Kind::BigInt},
        {"money", Kind::Money},
        {"smallmoney", Kind::SmallMoney},
        {"numeric", Kind::Numeric},
        {"decimal", Kind::Numeric},
        {"dec", Kind::Numeric},
        {"float", Kind::Float},
        {"double", Kind::Float},
        {"double precision", Kind::Float},
        {"real", Kind::Real},
        {"datetime", Kind::DateTime},
        {"datetime2", Kind::DateTime},
        {"date", Kind::DateTime},
        {"smalldatetime", Kind::SmallDateTime},
        {"binary", Kind::Binary},
        {"varbinary", Kind::VarBinary},
        {"binary varying", Kind::VarBinary},
        {"image", Kind::Image},
        {"blob", Kind::SqliteBlob},
        {"clob", Kind::SqliteText},
        {"uniqueidentifier", Kind::UniqueIdentifier},
    };
    for (const auto& n : names) {
        if (base == QLatin1String(n.name)) {
            t.kind = n.kind;
            break;
        }
    }
    if (t.kind == Kind::Unknown) {
        t.kind = base.contains(u"int") ? Kind::SqliteInteger
                 : (base.contains(u"char") || base.contains(u"text")) ? Kind::SqliteText
                                                                    : Kind::Unknown;
    }
    if (t.kind == Kind::Numeric) {
        t.precision = a1.isEmpty() ? 18 : static_cast<int>(std::min<long>(len, 38));
        t.scale = a2.isEmpty() ? 0 : a2.toInt();
        if (t.scale > t.precision) t.scale = t.precision;
    } else {
        t.length = a1.isEmpty() ? 0 : len;
    }
    return t;
}

bool SqlType::isText() const {
    switch (kind) {
        case Kind::Char:
        case Kind::VarChar:
        case Kind::Text:
        case Kind::NChar:
        case Kind::NVarChar:
        case Kind::NText:
        case Kind::SqliteText:
        case Kind::UniqueIdentifier:
            return true;
        default:
            return false;
    }
}

bool SqlType::isBinary() const {
    return kind == Kind::Binary || kind == Kind::VarBinary || kind == Kind::Image || kind == Kind::SqliteBlob;
}

bool SqlType::isInteger() const {
    return kind == Kind::TinyInt || kind == Kind::SmallInt || kind == Kind::Int || kind == Kind::BigInt ||
           kind == Kind::SqliteInteger;
}

int SqlType::adoType() const {
    switch (kind) {
        case Kind::Char:
            return ado::adChar;
        case Kind::VarChar:
            return ado::adVarChar;
        case Kind::Text:
        case Kind::SqliteText:
            return ado::adLongVarChar;
        case Kind::NChar:
            return ado::adWChar;
        case Kind::NVarChar:
            return ado::adVarWChar;
        case Kind::NText:
            return ado::adLongVarWChar;
        case Kind::Bit:
            return ado::adBoolean;
        case Kind::TinyInt:
            return ado::adUnsignedTinyInt;
        case Kind::SmallInt:
            return ado::adSmallInt;
        case Kind::Int:
        case Kind::SqliteInteger:
            return ado::adInteger;
        case Kind::BigInt:
            return ado::adBigInt;
        case Kind::Money:
        case Kind::SmallMoney:
            return ado::adCurrency;
        case Kind::Numeric:
            return ado::adNumeric;
        case Kind::Float:
        case Kind::SqliteReal:
            return ado::adDouble;
        case Kind::Real:
            return ado::adSingle;
        case Kind::DateTime:
        case Kind::SmallDateTime:
            return ado::adDBTimeStamp;
        case Kind::Binary:
            return ado::adBinary;
        case Kind::VarBinary:
            return ado::adVarBinary;
        case Kind::Image:
        case Kind::SqliteBlob:
            return ado::adLongVarBinary;
        case Kind::UniqueIdentifier:
            return ado::adGUID;
        case Kind::Unknown:
            return ado::adVariant;
    }
    return ado::adVariant;
}

long SqlType::definedSize() const {
    switch (kind) {
        case Kind::Char:
        case Kind::VarChar:
        case Kind::Binary:
        case Kind::VarBinary:
            return length > 0 ? length : 8000;
        case Kind::NChar:
        case Kind::NVarChar:
            return length > 0 ? length : 4000;
        case Kind::Text:
        case Kind::SqliteText:
        case Kind::Image:
        case Kind::SqliteBlob:
            return kLong;
        case Kind::NText:
            return 1073741823;
        case Kind::Bit:
        case Kind::SmallInt:
            return 2;
        case Kind::TinyInt:
            return 1;
        case Kind::Int:
        case Kind::SqliteInteger:
        case Kind::Real:
        case Kind::SmallMoney:
            return 4;
        case Kind::Numeric:
            return 19;
        case Kind::DateTime:
        case Kind::SmallDateTime:
        case Kind::UniqueIdentifier:
            return 16;
        default:
            return 8;
    }
}

int SqlType::adoPrecision() const {
    switch (kind) {
        case Kind::TinyInt:
            return 3;
        case Kind::SmallInt:
            return 5;
        case Kind::Int:
        case Kind::SqliteInteger:
            return 10;
        case Kind::BigInt:
        case Kind::Money:
            return 19;
        case Kind::SmallMoney:
            return 10;
        case Kind::Numeric:
            return precision;
        case Kind::Float:
        case Kind::SqliteReal:
            return 15;
        case Kind::Real:
            return 7;
        case Kind::DateTime:
            return 23;
        case Kind::SmallDateTime:
            return 16;
        default:
            return 255;
    }
}

int SqlType::adoScale() const {
    switch (kind) {
        case Kind::Numeric:
            return scale;
        case Kind::Money:
        case Kind::SmallMoney:
            return 4;
        case Kind::DateTime:
            return 3;
        case Kind::TinyInt:
        case Kind::SmallInt:
        case Kind::Int:
        case Kind::BigInt:
        case Kind::SqliteInteger:
            return 0;
        default:
            return 255;
    }
}

QString SqlType::typeName() const {
    switch (kind) {
        case Kind::Char:
            return QStringLiteral("char");
        case Kind::VarChar:
            return QStringLiteral("varchar");
        case Kind::Text:
        case Kind::SqliteText:
            return QStringLiteral("text");
        case Kind::NChar:
            return QStringLiteral("nchar");
        case Kind::NVarChar:
            return QStringLiteral("nvarchar");
        case Kind::NText:
            return QStringLiteral("ntext");
        case Kind::Bit:
            return QStringLiteral("bit");
        case Kind::TinyInt:
            return QStringLiteral("tinyint");
        case Kind::SmallInt:
            return QStringLiteral("smallint");
        case Kind::Int:
        case Kind::SqliteInteger:
            return QStringLiteral("int");
        case Kind::BigInt:
            return QStringLiteral("bigint");
        case Kind::Money:
            return QStringLiteral("money");
        case Kind::SmallMoney:
            return QStringLiteral("smallmoney");
        case Kind::Numeric:
            return declared.trimmed().startsWith(QStringLiteral("dec"), Qt::CaseInsensitive) ? QStringLiteral("decimal")
                                                                                            : QStringLiteral("numeric");
        case Kind::Float:
        case Kind::SqliteReal:
            return QStringLiteral("float");
        case Kind::Real:
            return QStringLiteral("real");
        case Kind::DateTime:
            return QStringLiteral("datetime");
        case Kind::SmallDateTime:
            return QStringLiteral("smalldatetime");
        case Kind::Binary:
            return QStringLiteral("binary");
        case Kind::VarBinary:
            return QStringLiteral("varbinary");
        case Kind::Image:
        case Kind::SqliteBlob:
            return QStringLiteral("image");
        case Kind::UniqueIdentifier:
            return QStringLiteral("uniqueidentifier");
        case Kind::Unknown:
            return QStringLiteral("sql_variant");
    }
    return {};
}

Variant SqlType::decode(sqlite3_stmt* stmt, int i) const {
    const int storage = sqlite3_column_type(stmt, i);
    if (storage == SQLITE_NULL) return Variant::null();
    switch (kind) {
        case Kind::Char:
        case Kind::VarChar:
        case Kind::Text:
        case Kind::NChar:
        case Kind::NVarChar:
        case Kind::NText:
        case Kind::SqliteText:
        case Kind::UniqueIdentifier:
            if (storage == SQLITE_INTEGER) return QString::number(sqlite3_column_int64(stmt, i));
            if (storage == SQLITE_FLOAT) return QString::number(sqlite3_column_double(stmt, i), 'g', 15);
            return columnText(stmt, i);
        case Kind::Bit:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) return sqlite3_column_double(stmt, i) != 0.0;
            return naturalValue(stmt, i);
        case Kind::TinyInt:
        case Kind::SmallInt:
        case Kind::Int:
        case Kind::BigInt:
        case Kind::SqliteInteger:
            if (storage == SQLITE_INTEGER) return wholeNumber(sqlite3_column_int64(stmt, i), kind);
            return naturalValue(stmt, i);
        case Kind::Money:
        case Kind::SmallMoney:
            if (auto c = currencyOf(stmt, i)) return *c;
            return naturalValue(stmt, i);
        case Kind::Numeric:
            if (scale == 0) {
                if (storage == SQLITE_INTEGER) return static_cast<std::int64_t>(sqlite3_column_int64(stmt, i));
                if (storage == SQLITE_FLOAT) {
                    const double d = sqlite3_column_double(stmt, i);
                    if (std::nearbyint(d) == d && std::fabs(d) < 9.2e18) return static_cast<std::int64_t>(d);
                    return d;
                }
                return naturalValue(stmt, i);
            }
            if (scale <= 4) {
                if (auto c = currencyOf(stmt, i)) return roundNumeric(*c, scale);
            }
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) return sqlite3_column_double(stmt, i);
            return naturalValue(stmt, i);
        case Kind::Float:
        case Kind::SqliteReal:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) return sqlite3_column_double(stmt, i);
            return naturalValue(stmt, i);
        case Kind::Real:
            if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
                return static_cast<float>(sqlite3_column_double(stmt, i));
            }
            return naturalValue(stmt, i);
        case Kind::DateTime:
        case Kind::SmallDateTime:
            if (storage == SQLITE_TEXT) {
                const QString s = columnText(stmt, i);
                const QDateTime dt = parseDateTime(s);
                if (dt.isValid()) return dt;
                return s;
            }
            return naturalValue(stmt, i);
        case Kind::Binary:
        case Kind::VarBinary:
        case Kind::Image:
        case Kind::SqliteBlob:
            if (storage == SQLITE_BLOB) return columnBlob(stmt, i);
            if (storage == SQLITE_TEXT) return columnText(stmt, i).toUtf8();
            return naturalValue(stmt, i);
        case Kind::Unknown:
            return naturalValue(stmt, i);
    }
    return naturalValue(stmt, i);
}

QString SqlType::boundText(const Variant& v) {
    const auto& st = v.storage();
    if (const auto* s = std::get_if<QString>(&st)) return *s;
    if (const auto* b = std::get_if<QByteArray>(&st)) return QString::fromUtf8(*b);
    if (const auto* d = std::get_if<QDateTime>(&st)) return formatDateTime(*d);
    if (v.isNumber() && !std::holds_alternative<bool>(st)) return numberText(v);
    return v.toString();
}

void SqlType::bind(sqlite3_stmt* stmt, int index, const Variant& v) const {
    if (v.isNull() || v.isEmpty()) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    const auto& st = v.storage();
    try {
        switch (kind) {
            case Kind::Char:
            case Kind::VarChar:
            case Kind::Text:
            case Kind::NChar:
            case Kind::NVarChar:
            case Kind::NText:
            case Kind::SqliteText:
            case Kind::UniqueIdentifier:
                bindUtf8(stmt, index, boundText(v));
                return;
            case Kind::Bit:
                sqlite3_bind_int(stmt, index, v.toBool() ? 1 : 0);
                return;
            case Kind::TinyInt:
            case Kind::SmallInt:
            case Kind::Int:
            case Kind::BigInt:
            case Kind::SqliteInteger:
                if (v.isString()) {
                    double d = 0;
                    if (!parseNumber(v.toString(), d)) conversionFailed(v, typeName());
                }
                sqlite3_bind_int64(stmt, index, v.toInt64());
                return;
            case Kind::Money:
            case Kind::SmallMoney:
                bindCurrency(stmt, index, v.toCurrency());
                return;
            case Kind::Numeric:
                if (scale == 0) {
                    sqlite3_bind_int64(stmt, index, wholeAwayFromZero(v));
                } else if (scale <= 4) {
                    bindCurrency(stmt, index, roundNumeric(v.toCurrency(), scale));
                } else {
                    sqlite3_bind_double(stmt, index, v.toDouble());
                }
                return;
            case Kind::Float:
            case Kind::Real:
            case Kind::SqliteReal:
                sqlite3_bind_double(stmt, index, v.toDouble());
                return;
            case Kind::DateTime:
            case Kind::SmallDateTime: {
                const QDateTime dt = v.isDate() ? v.toDateTime() : readDateTime(v.toString());
                if (!dt.isValid()) {
                    raiseServerError(241,
                                     QStringLiteral("Conversion failed when converting date and/or time from character string."));
                }
                bindUtf8(stmt, index, formatDateTime(dt));
                return;
            }
            case Kind::Binary:
            case Kind::VarBinary:
            case Kind::Image:
            case Kind::SqliteBlob: {
                const QByteArray b = v.toBytes();
                sqlite3_bind_blob(stmt, index, b.constData(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
                return;
            }
            case Kind::Unknown:
                break;
        }
    } catch (const DbError&) {
        throw;
    } catch (const platform::RuntimeError& e) {
        if (e.number() == platform::errnum::Overflow) {
            raiseServerError(8115,
                             QStringLiteral("Arithmetic overflow error converting expression to data type %1.").arg(typeName()));
        }
        conversionFailed(v, typeName());
    }
    // A column without a known type takes the value as it is.
    if (const auto* b = std::get_if<QByteArray>(&st)) {
        sqlite3_bind_blob(stmt, index, b->constData(), static_cast<int>(b->size()), SQLITE_TRANSIENT);
    } else if (const auto* s = std::get_if<QString>(&st)) {
        bindUtf8(stmt, index, *s);
    } else if (const auto* d = std::get_if<QDateTime>(&st)) {
        bindUtf8(stmt, index, formatDateTime(*d));
    } else if (const auto* c = std::get_if<Currency>(&st)) {
        bindCurrency(stmt, index, *c);
    } else if (const auto* b2 = std::get_if<bool>(&st)) {
        sqlite3_bind_int(stmt, index, *b2 ? 1 : 0);
    } else if (std::holds_alternative<double>(st) || std::holds_alternative<float>(st)) {
        sqlite3_bind_double(stmt, index, v.toDouble());
    } else {
        sqlite3_bind_int64(stmt, index, v.toInt64());
    }
}

std::vector<SqlType::Check> SqlType::checks(const QString& ref) const {
    std::vector<Check> out;
    const QString name = quoteString(typeName());
    auto add = [&](const QString& cond, const QString& raise) {
        out.push_back(Check{ref + QStringLiteral(" IS NOT NULL AND (") + cond + u')', raise});
    };
    const QString isText = QStringLiteral("typeof(%1) = 'text'").arg(ref);
    const QString isNum = QStringLiteral("typeof(%1) IN ('integer','real')").arg(ref);
    switch (kind) {
        case Kind::Char:
        case Kind::VarChar:
        case Kind::NChar:
        case Kind::NVarChar:
            // Trailing blanks beyond the width are not an error, as in SQL Server.
            if (length > 0 && length < kLong) {
                add(QStringLiteral("length(rtrim(%1, ' ')) > %2").arg(ref).arg(length), QStringLiteral("tsql_raise(8152)"));
            }
            break;
        case Kind::Binary:
        case Kind::VarBinary:
            if (length > 0 && length < kLong) {
                add(QStringLiteral("length(%1) > %2").arg(ref).arg(length), QStringLiteral("tsql_raise(8152)"));
            }
            break;
        case Kind::SmallInt:
            add(isNum + QStringLiteral(" AND (%1 < -32768 OR %1 > 32767)").arg(ref),
                QStringLiteral("tsql_raise(220, %1, %2)").arg(ref, name));
            add(isText, QStringLiteral("tsql_raise(245, %1, %2)").arg(ref, name));
            break;
        case Kind::TinyInt:
            add(isNum + QStringLiteral(" AND (%1 < 0 OR %1 > 255)").arg(ref),
                QStringLiteral("tsql_raise(220, %1, %2)").arg(ref, name));
            add(isText, QStringLiteral("tsql_raise(245, %1, %2)").arg(ref, name));
            break;
        case Kind::Int:
            add(isNum + QStringLiteral(" AND (%1 < -2147483648 OR %1 > 2147483647)").arg(ref),
                QStringLiteral("tsql_raise(8115, %1, %2)").arg(ref, name));
            add(isText, QStringLiteral("tsql_raise(245, %1, %2)").arg(ref, name));
            break;
        case Kind::BigInt:
        case Kind::Bit:
            add(isText, QStringLiteral("tsql_raise(245, %1, %2)").arg(ref, name));
            break;
        case Kind::Money:
            add(isNum + QStringLiteral(" AND abs(%1) > 922337203685477.5807").arg(ref),
                QStringLiteral("tsql_raise(8115, %1, %2)").arg(ref, name));
            add(isText, QStringLiteral("tsql_raise(235, %1, %2)").arg(ref, name));
            break;
        case Kind::SmallMoney:
            add(isNum + QStringLiteral(" AND abs(%1) > 214748.3647").arg(ref),
                QStringLiteral("tsql_raise(8115, %1, %2)").arg(ref, name));
            add(isText, QStringLiteral("tsql_raise(235, %1, %2)").arg(ref, name));
            break;
        case Kind::Numeric: {
            // On the value as the column stores it, rounded to its scale (columnrules.h).
            const int whole = precision - scale;
            add(isNum + QStringLiteral(" AND abs(tsql_numeric(%1, %3)) >= 1e%2").arg(ref).arg(whole).arg(scale),
                QStringLiteral("tsql_raise(8115, %1, %2)").arg(ref, name));
            add(isText, QStringLiteral("tsql_raise(8114, %1, %2)").arg(ref, name));
            break;
        }
        case Kind::Float:
        case Kind::Real:
            add(isText, QStringLiteral("tsql_raise(8114, %1, %2)").arg(ref, name));
            break;
        case Kind::DateTime:
        case Kind::SmallDateTime:
        {
            const QString error = QStringLiteral("tsql_dateerror(%1, %2)").arg(ref).arg(kind == Kind::SmallDateTime ? 1 : 0);
            add(isText + QStringLiteral(" AND ") + error + QStringLiteral(" <> 0"),
                QStringLiteral("tsql_raise(%1, %2, '%3')").arg(error, ref, typeName()));
        }
            break;
        default:
            break;
    }
    return out;
}

}  // namespace data::embedded
