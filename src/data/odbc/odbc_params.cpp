// Binding a statement's parameters: the C form and SQL type of each value, the room for what
// an output parameter brings back, and keeping the binding of a prepared statement as it is
// while only the values change, so that the driver never prepares the statement again.

#include <QDateTime>
#include <QRegularExpression>
#include <cstring>

#include "data/adoconstants.h"
#include "data/odbc/odbc_internal.h"

namespace data::odbc {

namespace {

using provider::Parameter;

// Beyond these, FreeTDS would declare VARCHAR(8000), NVARCHAR(4000) or VARBINARY(8000) and cut
// the value to fit; the long types go as (MAX).
constexpr qsizetype kNarrowLimit = 8000;
constexpr qsizetype kWideLimit = 4000;
constexpr qsizetype kBinaryLimit = 8000;
// What a text or binary output parameter without a declared size may bring back.
constexpr qsizetype kOutputRoom = 8000;

// The ADO type that a parameter without a declared type takes from its value.
int typeFromValue(const Variant& v) {
    switch (v.type()) {
        case Variant::Type::Integer:
            return ado::adSmallInt;
        case Variant::Type::Long:
            return ado::adInteger;
        case Variant::Type::LongLong:
            return ado::adBigInt;
        case Variant::Type::Single:
            return ado::adSingle;
        case Variant::Type::Double:
            return ado::adDouble;
        case Variant::Type::Currency:
            return ado::adCurrency;
        case Variant::Type::Date:
            return ado::adDBTimeStamp;
        case Variant::Type::Boolean:
            return ado::adBoolean;
        case Variant::Type::Bytes:
            return ado::adVarBinary;
        default:
            return ado::adVarWChar;
    }
}

SQL_TIMESTAMP_STRUCT timestampOf(const QDateTime& dt) {
    SQL_TIMESTAMP_STRUCT ts{};
    const QDate d = dt.date();
    const QTime t = dt.time();
    ts.year = static_cast<SQLSMALLINT>(d.year());
    ts.month = static_cast<SQLUSMALLINT>(d.month());
    ts.day = static_cast<SQLUSMALLINT>(d.day());
    ts.hour = static_cast<SQLUSMALLINT>(t.hour());
    ts.minute = static_cast<SQLUSMALLINT>(t.minute());
    ts.second = static_cast<SQLUSMALLINT>(t.second());
    ts.fraction = static_cast<SQLUINTEGER>(t.msec()) * 1000000u;
    return ts;
}

// A value in the form the driver reads for its binding, before it is placed in a slot.
struct Prepared {
    ParameterBinding::Binding binding;
    std::vector<unsigned char> bytes;
    SQLLEN indicator = SQL_NULL_DATA;
};

template <class T>
void store(Prepared& out, const T& value) {
    out.bytes.resize(sizeof(T));
    std::memcpy(out.bytes.data(), &value, sizeof(T));
    out.indicator = static_cast<SQLLEN>(sizeof(T));
}

void storeText(Prepared& out, const QString& text, qsizetype roomUnits) {
    const size_t bytes = static_cast<size_t>(text.size()) * sizeof(char16_t);
    out.bytes.assign(std::max(bytes, static_cast<size_t>(roomUnits) * sizeof(char16_t)) + sizeof(char16_t), 0);
    if (bytes) std::memcpy(out.bytes.data(), text.utf16(), bytes);
    out.indicator = static_cast<SQLLEN>(bytes);
}

// A decimal's exact text ("-12.3400") with its precision and scale; empty when the value is
// no number.
struct DecimalText {
    QString text;
    int precision = 1;
    int scale = 0;
};

DecimalText decimalText(const Variant& v) {
    QString text;
    switch (v.type()) {
        case Variant::Type::Integer:
        case Variant::Type::Long:
        case Variant::Type::LongLong:
            text = QString::number(v.toInt64());
            break;
        case Variant::Type::Single:
        case Variant::Type::Double:
            // The shortest text that reads back as the same double, without an exponent.
            text = QString::number(v.toDouble(), 'f', QLocale::FloatingPointShortest);
            break;
        case Variant::Type::Currency:
            text = v.toCurrency().toPlainText();
            break;
        default: {
            static const QRegularExpression plain(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)$)"));
            text = v.toString().trimmed();
            // Anything but a plain decimal is read with the regional rules of the currency type.
            if (!plain.match(text).hasMatch()) text = v.toCurrency().toPlainText();
            break;
        }
    }
    DecimalText d;
    d.text = text;
    const qsizetype point = text.indexOf(u'.');
    const qsizetype scale = point < 0 ? 0 : text.size() - point - 1;
    // The integer part's digits without its leading zeros, as SQL Server types a literal.
    qsizetype integerDigits = 0;
    for (qsizetype i = 0; i < (point < 0 ? text.size() : point); ++i) {
        if (text[i].isDigit() && (integerDigits > 0 || text[i] != u'0')) ++integerDigits;
    }
    d.precision = static_cast<int>(std::clamp<qsizetype>(integerDigits + scale, 1, 38));
    d.scale = static_cast<int>(std::min<qsizetype>(scale, d.precision));
    return d;
}

Prepared prepare(const Parameter& p) {
    const int type = (p.type == ado::adEmpty || p.type == ado::adVariant) ? typeFromValue(p.value) : p.type;
    const Variant& v = p.value;
    const bool output = p.direction == ado::adParamOutput || p.direction == ado::adParamReturnValue;
    const bool null = output || v.isNull() || v.isEmpty();
    const bool returnsValue = p.direction != ado::adParamInput;
    const qsizetype declared = p.size > 0 ? p.size : 0;
    Prepared out;
    ParameterBinding::Binding& b = out.binding;
    b.io = p.direction == ado::adParamInputOutput                                    ? SQL_PARAM_INPUT_OUTPUT
           : (p.direction == ado::adParamOutput || p.direction == ado::adParamReturnValue) ? SQL_PARAM_OUTPUT
                                                                                       : SQL_PARAM_INPUT;
    auto fixed = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, auto value) {
        b.cType = cType;
        b.sqlType = sqlType;
        b.columnSize = size;
        store(out, value);
        if (null) out.indicator = SQL_NULL_DATA;
    };
    switch (type) {
        case ado::adBoolean:
            fixed(SQL_C_BIT, SQL_BIT, 1, static_cast<unsigned char>(!null && v.toBool() ? 1 : 0));
            break;
        case ado::adTinyInt:
        case ado::adUnsignedTinyInt:
            fixed(SQL_C_SSHORT, SQL_TINYINT, 3, static_cast<SQLSMALLINT>(null ? 0 : v.toInt16()));
            break;
        case ado::adSmallInt:
            fixed(SQL_C_SSHORT, SQL_SMALLINT, 5, static_cast<SQLSMALLINT>(null ? 0 : v.toInt16()));
            break;
        case ado::adInteger:
            fixed(SQL_C_SLONG, SQL_INTEGER, 10, static_cast<SQLINTEGER>(null ? 0 : v.toInt32()));
            break;
        case ado::adBigInt:
            fixed(SQL_C_SBIGINT, SQL_BIGINT, 19, static_cast<SQLBIGINT>(null ? 0 : v.toInt64()));
            break;
        case ado::adSingle:
            fixed(SQL_C_FLOAT, SQL_REAL, 7, static_cast<SQLREAL>(null ? 0 : v.toDouble()));
            break;
        case ado::adDouble:
            fixed(SQL_C_DOUBLE, SQL_DOUBLE, 15, static_cast<SQLDOUBLE>(null ? 0 : v.toDouble()));
            break;
        case ado::adDate:
        case ado::adDBTimeStamp:
            if (returnsValue) {
                fixed(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23,
                      null ? SQL_TIMESTAMP_STRUCT{} : timestampOf(v.toDateTime()));
                b.digits = 3;
            } else {
                // As text in the one form every language setting reads: FreeTDS would send a
                // timestamp as datetime2, which from compatibility level 130 on no longer
                // equals a datetime ending in .003 or .007.
                b.cType = SQL_C_WCHAR;
                b.sqlType = SQL_VARCHAR;
                b.columnSize = 23;
                storeText(out, null ? QString() : v.toDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")), 0);
                if (null) out.indicator = SQL_NULL_DATA;
            }
            break;
        case ado::adCurrency:
        case ado::adNumeric:
        case ado::adDecimal: {
            // Sent as its exact decimal text, so no binary rounding and no range of the
            // currency type stands between the value and the server.
            const DecimalText d = null ? DecimalText{} : decimalText(v);
            b.cType = SQL_C_WCHAR;
            b.sqlType = type == ado::adCurrency ? SQL_DECIMAL : SQL_NUMERIC;
            b.columnSize = type == ado::adCurrency ? 19 : static_cast<SQLULEN>(d.precision);
            b.digits = static_cast<SQLSMALLINT>(type == ado::adCurrency ? 4 : d.scale);
            if (returnsValue && type != ado::adCurrency) {
                // Room for what the procedure gives back, which its own declaration decides.
                b.columnSize = 38;
                b.digits = 10;
            }
            storeText(out, d.text, returnsValue ? 64 : 0);
            if (null) out.indicator = SQL_NULL_DATA;
            break;
        }
        case ado::adBinary:
        case ado::adVarBinary:
        case ado::adLongVarBinary: {
            const QByteArray bytes = null ? QByteArray() : v.toBytes();
            const qsizetype room = returnsValue ? std::max(declared > 0 ? declared : kOutputRoom, bytes.size()) : 0;
            const qsizetype size = std::max({declared, bytes.size(), qsizetype(1)});
            const bool isLong = type == ado::adLongVarBinary || size > kBinaryLimit;
            b.cType = SQL_C_BINARY;
            b.sqlType = isLong ? SQL_LONGVARBINARY : SQL_VARBINARY;
            b.columnSize = static_cast<SQLULEN>(size);
            out.bytes.assign(bytes.begin(), bytes.end());
            out.bytes.resize(static_cast<size_t>(std::max({room, bytes.size(), qsizetype(1)})), 0);
            out.indicator = null ? SQL_NULL_DATA : static_cast<SQLLEN>(bytes.size());
            break;
        }
        default: {
            const bool narrow = type == ado::adChar || type == ado::adVarChar || type == ado::adLongVarChar;
            const QString text = null ? QString() : v.toString();
            const qsizetype limit = narrow ? kNarrowLimit : kWideLimit;
            const qsizetype room = returnsValue ? (declared > 0 ? declared : limit) : 0;
            const qsizetype size = std::max({declared, text.size(), qsizetype(1)});
            const bool isLong = type == ado::adLongVarChar || type == ado::adLongVarWChar || size > limit;
            b.cType = SQL_C_WCHAR;
            b.sqlType = narrow ? (isLong ? SQL_LONGVARCHAR : SQL_VARCHAR) : (isLong ? SQL_WLONGVARCHAR : SQL_WVARCHAR);
            b.columnSize = static_cast<SQLULEN>(size);
            storeText(out, text, room);
            if (null) out.indicator = SQL_NULL_DATA;
            break;
        }
    }
    return out;
}

// An output parameter's value as the driver left it in its slot.
Variant outputValue(const ParameterBinding::Binding& b, const std::vector<unsigned char>& bytes, SQLLEN indicator,
                    int adoType) {
    if (indicator == SQL_NULL_DATA) return Variant::null();
    auto fixed = [&](auto zero) {
        std::memcpy(&zero, bytes.data(), std::min(sizeof(zero), bytes.size()));
        return zero;
    };
    switch (b.cType) {
        case SQL_C_BIT:
            return Variant(fixed(static_cast<unsigned char>(0)) != 0);
        case SQL_C_SSHORT:
            return Variant(static_cast<std::int16_t>(fixed(SQLSMALLINT(0))));
        case SQL_C_SLONG:
            return Variant(static_cast<std::int32_t>(fixed(SQLINTEGER(0))));
        case SQL_C_SBIGINT:
            return Variant(static_cast<std::int64_t>(fixed(SQLBIGINT(0))));
        case SQL_C_FLOAT:
            return Variant(static_cast<float>(fixed(SQLREAL(0))));
        case SQL_C_DOUBLE:
            return Variant(static_cast<double>(fixed(SQLDOUBLE(0))));
        case SQL_C_TYPE_TIMESTAMP: {
            const auto ts = fixed(SQL_TIMESTAMP_STRUCT{});
            return dateValue(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second, ts.fraction);
        }
        case SQL_C_BINARY: {
            const auto n = std::clamp<SQLLEN>(indicator, 0, static_cast<SQLLEN>(bytes.size()));
            return Variant(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(n)));
        }
        default: {
            // The room keeps one unit for the terminator the driver adds.
            const auto room = static_cast<SQLLEN>(bytes.size()) - static_cast<SQLLEN>(sizeof(char16_t));
            const SQLLEN n = (indicator == SQL_NO_TOTAL || indicator > room) ? room : std::max<SQLLEN>(indicator, 0);
            const QString text = fromWide(reinterpret_cast<const SQLWCHAR*>(bytes.data()), n / 2);
            if (adoType == ado::adCurrency || adoType == ado::adNumeric || adoType == ado::adDecimal) {
                return decimalValue(text, adoType == ado::adCurrency, adoType == ado::adCurrency ? 4 : b.digits);
            }
            return text;
        }
    }
}

// The return value has its marker first ("{? = call …}"), whatever its place in the list.
std::vector<size_t> markerOrder(const std::vector<Parameter>& parameters) {
    std::vector<size_t> order;
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i].direction == ado::adParamReturnValue) order.insert(order.begin(), i);
    }
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i].direction != ado::adParamReturnValue) order.push_back(i);
    }
    return order;
}

// Points a bound marker at a larger buffer through the application's descriptor alone: the
// driver sees the same parameter and keeps the statement prepared.
bool moveBuffer(const Statement& st, SQLSMALLINT marker, std::vector<unsigned char>& bytes) {
    SQLHDESC apd = SQL_NULL_HDESC;
    if (!succeeded(SQLGetStmtAttrW(st.handle(), SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr)) || apd == SQL_NULL_HDESC) {
        return false;
    }
    const auto length = static_cast<SQLLEN>(bytes.size());
    return succeeded(SQLSetDescFieldW(apd, marker, SQL_DESC_OCTET_LENGTH, reinterpret_cast<SQLPOINTER>(length), 0)) &&
           succeeded(SQLSetDescFieldW(apd, marker, SQL_DESC_DATA_PTR, bytes.data(), 0));
}

}  // namespace

bool ParameterBinding::Binding::operator==(const Binding& o) const {
    return io == o.io && cType == o.cType && sqlType == o.sqlType && columnSize == o.columnSize && digits == o.digits;
}

void ParameterBinding::bind(const Statement& st, const std::vector<Parameter>& parameters) {
    const std::vector<size_t> order = markerOrder(parameters);
    if (slots_.size() != order.size()) slots_ = std::vector<Slot>(order.size());
    for (size_t m = 0; m < order.size(); ++m) {
        const Parameter& p = parameters[order[m]];
        Prepared value = prepare(p);
        Slot& slot = slots_[m];
        slot.parameter = order[m];
        slot.adoType = (p.type == ado::adEmpty || p.type == ado::adVariant) ? typeFromValue(p.value) : p.type;
        // Changing nothing but the bytes leaves the statement prepared as it was; binding again
        // makes the driver prepare it anew. A value that outgrows its slot gets room for more.
        const bool sameBinding = slot.bound && slot.binding == value.binding;
        if (sameBinding && value.bytes.size() <= slot.bytes.size()) {
            std::memcpy(slot.bytes.data(), value.bytes.data(), value.bytes.size());
            slot.indicator = value.indicator;
            continue;
        }
        if (sameBinding) {
            value.bytes.resize(std::max(value.bytes.size(), slot.bytes.size() * 2));
            if (moveBuffer(st, static_cast<SQLSMALLINT>(m + 1), value.bytes)) {
                slot.bytes = std::move(value.bytes);
                slot.indicator = value.indicator;
                continue;
            }
        }
        // Until the driver holds the new buffer, the slot counts as unbound: a failed bind
        // must not leave the driver pointing at memory the slot no longer owns.
        slot.bound = false;
        slot.binding = value.binding;
        slot.bytes = std::move(value.bytes);
        slot.indicator = value.indicator;
        const ParameterBinding::Binding& b = slot.binding;
        const SQLRETURN rc =
            SQLBindParameter(st.handle(), static_cast<SQLUSMALLINT>(m + 1), b.io, b.cType, b.sqlType, b.columnSize,
                             b.digits, slot.bytes.data(), static_cast<SQLLEN>(slot.bytes.size()), &slot.indicator);
        st.check(rc, "SQLBindParameter");
        slot.bound = true;
    }
}

std::vector<Parameter> ParameterBinding::outputs(const std::vector<Parameter>& parameters) const {
    std::vector<Parameter> out;
    for (const Slot& slot : slots_) {
        if (slot.binding.io == SQL_PARAM_INPUT || slot.parameter >= parameters.size()) continue;
        Parameter p = parameters[slot.parameter];
        p.value = outputValue(slot.binding, slot.bytes, slot.indicator, slot.adoType);
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace data::odbc
