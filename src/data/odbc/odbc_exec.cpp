// Running a statement: binding its parameters, describing and reading every result.

#include <QDateTime>
#include <algorithm>
#include <cstring>
#include <limits>

#include "data/adoconstants.h"
#include "data/embedded/tokenizer.h"
#include "data/odbc/odbc_internal.h"

namespace data::odbc {

namespace {

using provider::Column;
using provider::Parameter;
using provider::Result;
using provider::Row;

constexpr long kLongSize = 2147483647;
// Long values are read in pieces of this many bytes, so a field of any length streams through
// a fixed buffer.
constexpr SQLLEN kChunkBytes = 64 * 1024;

// ---------------------------------------------------------------------------------------------
// Parameters

struct ParamSlot {
    std::vector<unsigned char> bytes;
    SQLLEN indicator = 0;
};

template <class T>
void store(ParamSlot& slot, const T& value) {
    slot.bytes.resize(sizeof(T));
    std::memcpy(slot.bytes.data(), &value, sizeof(T));
    slot.indicator = static_cast<SQLLEN>(sizeof(T));
}

void storeText(ParamSlot& slot, const QString& text) {
    const size_t bytes = static_cast<size_t>(text.size()) * sizeof(char16_t);
    slot.bytes.assign(bytes + sizeof(char16_t), 0);
    if (bytes) std::memcpy(slot.bytes.data(), text.utf16(), bytes);
    slot.indicator = static_cast<SQLLEN>(bytes);
}

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

bool holdsFloating(const Variant& v) { return v.type() == Variant::Type::Double || v.type() == Variant::Type::Single; }

bool holdsInteger(const Variant& v) {
    return v.type() == Variant::Type::Integer || v.type() == Variant::Type::Long || v.type() == Variant::Type::LongLong;
}

struct Binding {
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN columnSize = 1;
    SQLSMALLINT digits = 0;
};

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

// Puts a parameter's value into its slot in the C form that the driver converts to the SQL
// type of the parameter's ADO type.
Binding prepare(const Parameter& p, ParamSlot& slot) {
    const int type = (p.type == ado::adEmpty || p.type == ado::adVariant) ? typeFromValue(p.value) : p.type;
    const Variant& v = p.value;
    const bool null = v.isNull() || v.isEmpty();
    const SQLULEN declared = p.size > 0 ? static_cast<SQLULEN>(p.size) : 0;
    Binding b;
    if (null) {
        slot.bytes.assign(8, 0);
        slot.indicator = SQL_NULL_DATA;
    }
    switch (type) {
        case ado::adBoolean:
            b = {SQL_C_BIT, SQL_BIT, 1, 0};
            if (!null) store<unsigned char>(slot, v.toBool() ? 1 : 0);
            break;
        case ado::adTinyInt:
        case ado::adUnsignedTinyInt:
            b = {SQL_C_SSHORT, SQL_TINYINT, 3, 0};
            if (!null) store<SQLSMALLINT>(slot, v.toInt16());
            break;
        case ado::adSmallInt:
            b = {SQL_C_SSHORT, SQL_SMALLINT, 5, 0};
            if (!null) store<SQLSMALLINT>(slot, v.toInt16());
            break;
        case ado::adInteger:
            b = {SQL_C_SLONG, SQL_INTEGER, 10, 0};
            if (!null) store<SQLINTEGER>(slot, v.toInt32());
            break;
        case ado::adBigInt:
            b = {SQL_C_SBIGINT, SQL_BIGINT, 19, 0};
            if (!null) store<SQLBIGINT>(slot, v.toInt64());
            break;
        case ado::adSingle:
            b = {SQL_C_FLOAT, SQL_REAL, 7, 0};
            if (!null) store<SQLREAL>(slot, static_cast<SQLREAL>(v.toDouble()));
            break;
        case ado::adDouble:
            b = {SQL_C_DOUBLE, SQL_DOUBLE, 15, 0};
            if (!null) store<SQLDOUBLE>(slot, v.toDouble());
            break;
        case ado::adCurrency:
            // Sent as its exact decimal text, so no binary rounding reaches the server.
            b = {SQL_C_WCHAR, SQL_DECIMAL, 19, 4};
            if (!null) storeText(slot, v.toCurrency().toPlainText());
            break;
        case ado::adNumeric:
        case ado::adDecimal:
            if (!null && holdsFloating(v)) {
                b = {SQL_C_DOUBLE, SQL_DOUBLE, 15, 0};
                store<SQLDOUBLE>(slot, v.toDouble());
            } else if (!null && holdsInteger(v)) {
                b = {SQL_C_SBIGINT, SQL_BIGINT, 19, 0};
                store<SQLBIGINT>(slot, v.toInt64());
            } else {
                b = {SQL_C_WCHAR, SQL_DECIMAL, 19, 4};
                if (!null) storeText(slot, v.toCurrency().toPlainText());
            }
            break;
        case ado::adDate:
        case ado::adDBTimeStamp:
            b = {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3};
            if (!null) store(slot, timestampOf(v.toDateTime()));
            break;
        case ado::adBinary:
        case ado::adVarBinary:
        case ado::adLongVarBinary: {
            b = {SQL_C_BINARY, type == ado::adLongVarBinary ? SQLSMALLINT(SQL_LONGVARBINARY) : SQLSMALLINT(SQL_VARBINARY), 1,
                 0};
            if (!null) {
                const QByteArray bytes = v.toBytes();
                slot.bytes.assign(bytes.begin(), bytes.end());
                if (slot.bytes.empty()) slot.bytes.push_back(0);
                slot.indicator = bytes.size();
                b.columnSize = static_cast<SQLULEN>(qMax<qsizetype>(1, bytes.size()));
            }
            break;
        }
        case ado::adChar:
        case ado::adVarChar:
        case ado::adLongVarChar:
        case ado::adWChar:
        case ado::adVarWChar:
        case ado::adLongVarWChar:
        case ado::adBSTR:
        case ado::adGUID:
        default: {
            const bool narrow = type == ado::adChar || type == ado::adVarChar || type == ado::adLongVarChar;
            const bool longText = type == ado::adLongVarChar || type == ado::adLongVarWChar;
            b.cType = SQL_C_WCHAR;
            b.sqlType = narrow ? (longText ? SQL_LONGVARCHAR : SQL_VARCHAR) : (longText ? SQL_WLONGVARCHAR : SQL_WVARCHAR);
            b.columnSize = 1;
            if (!null) {
                const QString text = v.toString();
                storeText(slot, text);
                b.columnSize = static_cast<SQLULEN>(qMax<qsizetype>(1, text.size()));
            }
            break;
        }
    }
    if (declared > b.columnSize && (b.cType == SQL_C_WCHAR || b.cType == SQL_C_BINARY) && b.sqlType != SQL_DECIMAL) {
        b.columnSize = declared;
    }
    return b;
}

// ---------------------------------------------------------------------------------------------
// Columns

enum class Kind { Bit, Short, Long, BigInt, Float, Double, Decimal, Money, Timestamp, Time, Text, Guid, Binary };

struct ColumnPlan {
    Kind kind = Kind::Text;
    int scale = 0;
};

QString columnText(const Statement& st, SQLUSMALLINT index, SQLUSMALLINT field) {
    SQLWCHAR buffer[256] = {};
    SQLSMALLINT bytes = 0;
    const SQLRETURN rc = SQLColAttributeW(st.handle(), index, field, buffer, sizeof(buffer), &bytes, nullptr);
    if (!succeeded(rc)) return {};
    const qsizetype units = std::min<qsizetype>(qMax<SQLSMALLINT>(bytes, 0) / 2, 255);
    return fromWide(buffer, units);
}

SQLLEN columnNumber(const Statement& st, SQLUSMALLINT index, SQLUSMALLINT field) {
    SQLLEN value = 0;
    const SQLRETURN rc = SQLColAttributeW(st.handle(), index, field, nullptr, 0, nullptr, &value);
    return succeeded(rc) ? value : 0;
}

std::pair<Column, ColumnPlan> describe(const Statement& st, SQLUSMALLINT index) {
    std::vector<SQLWCHAR> name(256);
    SQLSMALLINT nameLength = 0, dataType = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
    SQLULEN size = 0;
    SQLRETURN rc = SQLDescribeColW(st.handle(), index, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                   &dataType, &size, &digits, &nullable);
    st.check(rc, "SQLDescribeCol");
    if (nameLength >= static_cast<SQLSMALLINT>(name.size())) {
        name.assign(static_cast<size_t>(nameLength) + 1, 0);
        rc = SQLDescribeColW(st.handle(), index, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                             &dataType, &size, &digits, &nullable);
        st.check(rc, "SQLDescribeCol");
    }
    Column c;
    c.name = fromWide(name.data(), std::min<qsizetype>(qMax<SQLSMALLINT>(nameLength, 0), name.size() - 1));
    c.nullable = nullable != SQL_NO_NULLS;
    c.identity = columnNumber(st, index, SQL_DESC_AUTO_UNIQUE_VALUE) == SQL_TRUE;
    const QString typeName = columnText(st, index, SQL_DESC_TYPE_NAME).toLower();
    const long width = size > static_cast<SQLULEN>(kLongSize) ? kLongSize : static_cast<long>(size);
    // A variable-length type without a limit of its own ("max") is read like the long types.
    const bool unbounded = size == 0 || size > 8000;

    ColumnPlan plan;
    if (typeName == u"money" || typeName == u"smallmoney") {
        c.type = ado::adCurrency;
        c.definedSize = 8;
        c.precision = typeName == u"money" ? 19 : 10;
        c.numericScale = 4;
        plan.kind = Kind::Money;
        plan.scale = 4;
    } else {
        switch (dataType) {
            case SQL_BIT:
                c.type = ado::adBoolean;
                c.definedSize = 2;
                plan.kind = Kind::Bit;
                break;
            case SQL_TINYINT:
                c.type = ado::adUnsignedTinyInt;
                c.definedSize = 1;
                c.precision = 3;
                plan.kind = Kind::Short;
                break;
            case SQL_SMALLINT:
                c.type = ado::adSmallInt;
                c.definedSize = 2;
                c.precision = 5;
                plan.kind = Kind::Short;
                break;
            case SQL_INTEGER:
                c.type = ado::adInteger;
                c.definedSize = 4;
                c.precision = 10;
                plan.kind = Kind::Long;
                break;
            case SQL_BIGINT:
                c.type = ado::adBigInt;
                c.definedSize = 8;
                c.precision = 19;
                plan.kind = Kind::BigInt;
                break;
            case SQL_REAL:
                c.type = ado::adSingle;
                c.definedSize = 4;
                c.precision = 7;
                plan.kind = Kind::Float;
                break;
            case SQL_FLOAT:
            case SQL_DOUBLE:
                c.type = ado::adDouble;
                c.definedSize = 8;
                c.precision = 15;
                plan.kind = Kind::Double;
                break;
            case SQL_DECIMAL:
            case SQL_NUMERIC:
                c.type = ado::adNumeric;
                c.definedSize = 19;
                c.precision = static_cast<int>(qMin<SQLULEN>(size, 38));
                c.numericScale = digits;
                plan.kind = Kind::Decimal;
                plan.scale = digits;
                break;
            case SQL_DATETIME:
            case SQL_TIMESTAMP:
            case SQL_TYPE_DATE:
            case SQL_TYPE_TIMESTAMP:
                c.type = ado::adDBTimeStamp;
                c.definedSize = 16;
                c.precision = 23;
                c.numericScale = 3;
                plan.kind = Kind::Timestamp;
                break;
            case SQL_TIME:
            case SQL_TYPE_TIME:
                c.type = ado::adDBTimeStamp;
                c.definedSize = 16;
                plan.kind = Kind::Time;
                break;
            case SQL_CHAR:
                c.type = ado::adChar;
                c.definedSize = width;
                break;
            case SQL_VARCHAR:
                c.type = unbounded ? ado::adLongVarChar : ado::adVarChar;
                c.definedSize = unbounded ? kLongSize : width;
                break;
            case SQL_LONGVARCHAR:
                c.type = ado::adLongVarChar;
                c.definedSize = kLongSize;
                break;
            case SQL_WCHAR:
                c.type = ado::adWChar;
                c.definedSize = width;
                break;
            case SQL_WVARCHAR:
                c.type = unbounded ? ado::adLongVarWChar : ado::adVarWChar;
                c.definedSize = unbounded ? kLongSize : width;
                break;
            case SQL_WLONGVARCHAR:
                c.type = ado::adLongVarWChar;
                c.definedSize = kLongSize;
                break;
            case SQL_GUID:
                c.type = ado::adGUID;
                c.definedSize = 16;
                plan.kind = Kind::Guid;
                break;
            case SQL_BINARY:
                c.type = ado::adBinary;
                c.definedSize = width;
                plan.kind = Kind::Binary;
                break;
            case SQL_VARBINARY:
                c.type = unbounded ? ado::adLongVarBinary : ado::adVarBinary;
                c.definedSize = unbounded ? kLongSize : width;
                plan.kind = Kind::Binary;
                break;
            case SQL_LONGVARBINARY:
                c.type = ado::adLongVarBinary;
                c.definedSize = kLongSize;
                plan.kind = Kind::Binary;
                break;
            default:
                // xml, sql_variant, time, datetimeoffset and whatever else the server adds:
                // their text form.
                c.type = ado::adVarWChar;
                c.definedSize = width > 0 ? width : kLongSize;
                break;
        }
    }
    // Filled by the server: identity columns and row versions ("timestamp").
    c.writable = !c.identity && !c.name.isEmpty() && typeName != u"timestamp" && typeName != u"rowversion";
    return {c, plan};
}

// ---------------------------------------------------------------------------------------------
// Values

// Reads a text or binary value piece by piece until the driver has no more of it.
// Returns false for Null.
bool readLong(const Statement& st, SQLUSMALLINT index, bool text, QByteArray& bytesOut, QString& textOut) {
    // A text piece ends with a terminator that the driver adds; the data proper is kChunkBytes.
    std::vector<unsigned char> buffer(static_cast<size_t>(kChunkBytes) + sizeof(char16_t));
    const SQLLEN bufferLength = text ? kChunkBytes + static_cast<SQLLEN>(sizeof(char16_t)) : kChunkBytes;
    const SQLLEN usable = kChunkBytes;
    bool lastComplete = false;
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(st.handle(), index, text ? SQL_C_WCHAR : SQL_C_BINARY, buffer.data(),
                                        bufferLength, &indicator);
        if (rc == SQL_NO_DATA) break;
        st.check(rc, "SQLGetData");
        if (indicator == SQL_NULL_DATA) return false;
        // A driver that answers a complete value again instead of SQL_NO_DATA has nothing more.
        if (lastComplete) break;
        SQLLEN got = (indicator == SQL_NO_TOTAL || indicator > usable) ? usable : indicator;
        if (got < 0) got = 0;
        if (text) {
            textOut.append(fromWide(reinterpret_cast<const SQLWCHAR*>(buffer.data()), got / 2));
        } else {
            bytesOut.append(reinterpret_cast<const char*>(buffer.data()), got);
        }
        lastComplete = rc == SQL_SUCCESS;
    }
    return true;
}

template <class T>
bool readFixed(const Statement& st, SQLUSMALLINT index, SQLSMALLINT cType, T& out) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(st.handle(), index, cType, &out, sizeof(T), &indicator);
    if (rc == SQL_NO_DATA) return false;
    st.check(rc, "SQLGetData");
    return indicator != SQL_NULL_DATA;
}

// A decimal in the driver's text form, kept exact where the currency type holds it.
Variant decimalValue(QString text, bool money, int scale) {
    text = text.trimmed();
    if (text.startsWith(u'.')) text.prepend(u'0');
    if (text.startsWith(u"-.") || text.startsWith(u"+.")) text.insert(1, u'0');
    if (money || scale <= 4) {
        if (auto c = Currency::parse(text)) return *c;
    }
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (!ok) return text;
    if (money) {
        try {
            return Currency::fromDouble(d);
        } catch (const platform::RuntimeError&) {
            // Beyond the currency range: the nearest double is the best left.
        }
    }
    return d;
}

Variant dateValue(int year, int month, int day, int hour, int minute, int second, SQLUINTEGER fractionNs) {
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid()) return Variant::null();
    QDateTime dt(date, time, Qt::UTC);
    const qint64 ms = (static_cast<qint64>(fractionNs) + 500000) / 1000000;
    return dt.addMSecs(ms);
}

Variant readValue(const Statement& st, SQLUSMALLINT index, const ColumnPlan& plan) {
    switch (plan.kind) {
        case Kind::Bit: {
            unsigned char v = 0;
            return readFixed(st, index, SQL_C_BIT, v) ? Variant(v != 0) : Variant::null();
        }
        case Kind::Short: {
            SQLSMALLINT v = 0;
            return readFixed(st, index, SQL_C_SSHORT, v) ? Variant(static_cast<std::int16_t>(v)) : Variant::null();
        }
        case Kind::Long: {
            SQLINTEGER v = 0;
            return readFixed(st, index, SQL_C_SLONG, v) ? Variant(static_cast<std::int32_t>(v)) : Variant::null();
        }
        case Kind::BigInt: {
            SQLBIGINT v = 0;
            return readFixed(st, index, SQL_C_SBIGINT, v) ? Variant(static_cast<std::int64_t>(v)) : Variant::null();
        }
        case Kind::Float: {
            SQLREAL v = 0;
            return readFixed(st, index, SQL_C_FLOAT, v) ? Variant(static_cast<float>(v)) : Variant::null();
        }
        case Kind::Double: {
            SQLDOUBLE v = 0;
            return readFixed(st, index, SQL_C_DOUBLE, v) ? Variant(static_cast<double>(v)) : Variant::null();
        }
        case Kind::Timestamp: {
            SQL_TIMESTAMP_STRUCT v{};
            if (!readFixed(st, index, SQL_C_TYPE_TIMESTAMP, v)) return Variant::null();
            return dateValue(v.year, v.month, v.day, v.hour, v.minute, v.second, v.fraction);
        }
        case Kind::Time: {
            SQL_TIME_STRUCT v{};
            if (!readFixed(st, index, SQL_C_TYPE_TIME, v)) return Variant::null();
            // A time alone is the time of the system's day zero.
            return dateValue(1899, 12, 30, v.hour, v.minute, v.second, 0);
        }
        case Kind::Binary: {
            QByteArray bytes;
            QString unused;
            return readLong(st, index, false, bytes, unused) ? Variant(bytes) : Variant::null();
        }
        case Kind::Decimal:
        case Kind::Money:
        case Kind::Guid:
        case Kind::Text: {
            QByteArray unused;
            QString text;
            if (!readLong(st, index, true, unused, text)) return Variant::null();
            if (plan.kind == Kind::Text) return text;
            if (plan.kind == Kind::Guid) return text.startsWith(u'{') ? text : u'{' + text + u'}';
            return decimalValue(text, plan.kind == Kind::Money, plan.scale);
        }
    }
    return Variant::null();
}

bool isLongType(int type) {
    return type == ado::adLongVarChar || type == ado::adLongVarWChar || type == ado::adLongVarBinary;
}

// Which columns of a result are left unread: its long ones, when it holds every key column.
std::vector<bool> lateColumns(const std::vector<Column>& columns, const QStringList& keys) {
    std::vector<bool> late(columns.size(), false);
    if (keys.isEmpty()) return late;
    for (const QString& key : keys) {
        const bool held = std::any_of(columns.begin(), columns.end(),
                                      [&](const Column& c) { return c.name.compare(key, Qt::CaseInsensitive) == 0; });
        if (!held) return late;
    }
    for (size_t i = 0; i < columns.size(); ++i) late[i] = isLongType(columns[i].type) && !columns[i].name.isEmpty();
    return late;
}

Result readResult(const Statement& st, const QStringList& lateKeys) {
    Result result;
    SQLSMALLINT count = 0;
    st.check(SQLNumResultCols(st.handle(), &count), "SQLNumResultCols");
    if (count <= 0) {
        SQLLEN affected = -1;
        if (!succeeded(SQLRowCount(st.handle(), &affected))) affected = -1;
        result.recordsAffected = static_cast<long>(affected);
        return result;
    }
    result.hasRows = true;
    std::vector<ColumnPlan> plans;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        auto [column, plan] = describe(st, static_cast<SQLUSMALLINT>(i));
        result.columns.push_back(std::move(column));
        plans.push_back(plan);
    }
    const std::vector<bool> late = lateColumns(result.columns, lateKeys);
    for (;;) {
        const SQLRETURN rc = SQLFetch(st.handle());
        if (rc == SQL_NO_DATA) break;
        st.check(rc, "SQLFetch");
        Row row;
        row.reserve(plans.size());
        for (SQLSMALLINT i = 1; i <= count; ++i) {
            const auto k = static_cast<size_t>(i - 1);
            // A column that is not asked for is simply not fetched: the driver skips it.
            row.push_back(late[k] ? Variant() : readValue(st, static_cast<SQLUSMALLINT>(i), plans[k]));
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

}  // namespace

std::vector<Result> run(Link& link, const QString& text, const std::vector<Parameter>& parameters,
                        const QStringList& lateKeys) {
    if (parameters.empty() && link.options.prepareShapes) {
        QString shape;
        std::vector<Parameter> literals;
        if (liftLiterals(text, shape, literals)) return runPrepared(link, shape, literals, lateKeys);
    }
    Statement st(link);
    // The paramSlots must stay where they are until the statement has run: the driver reads them
    // at execution.
    std::vector<ParamSlot> paramSlots(parameters.size());
    SQLUSMALLINT number = 0;
    for (size_t i = 0; i < parameters.size(); ++i) {
        const Parameter& p = parameters[i];
        // A return value has no marker in a statement text of the system's own.
        if (p.direction == ado::adParamReturnValue) continue;
        const Binding b = prepare(p, paramSlots[i]);
        ++number;
        const SQLRETURN rc = SQLBindParameter(st.handle(), number, SQL_PARAM_INPUT, b.cType, b.sqlType, b.columnSize,
                                              b.digits, paramSlots[i].bytes.data(),
                                              static_cast<SQLLEN>(paramSlots[i].bytes.size()), &paramSlots[i].indicator);
        st.check(rc, "SQLBindParameter");
    }
    st.check(SQLExecDirectW(st.handle(), wide(text), SQL_NTS), "SQLExecDirect");
    return readResults(st, lateKeys);
}

namespace {

constexpr qsizetype kPreparedKept = 64;

// Binds the parameters of a statement (the slots must live until it has run).
void bindAll(Statement& st, const std::vector<Parameter>& parameters, std::vector<ParamSlot>& paramSlots) {
    paramSlots.assign(parameters.size(), ParamSlot{});
    SQLUSMALLINT number = 0;
    for (size_t i = 0; i < parameters.size(); ++i) {
        const Parameter& p = parameters[i];
        if (p.direction == ado::adParamReturnValue) continue;
        const Binding b = prepare(p, paramSlots[i]);
        ++number;
        const SQLRETURN rc = SQLBindParameter(st.handle(), number, SQL_PARAM_INPUT, b.cType, b.sqlType, b.columnSize,
                                              b.digits, paramSlots[i].bytes.data(),
                                              static_cast<SQLLEN>(paramSlots[i].bytes.size()), &paramSlots[i].indicator);
        st.check(rc, "SQLBindParameter");
    }
}

}  // namespace

bool liftLiterals(const QString& text, QString& shape, std::vector<Parameter>& literals) {
    using embedded::Token;
    using embedded::TokenKind;
    const std::vector<Token> tokens = embedded::tokenize(text);
    auto meaningful = [&](size_t i, int step) {
        for (auto k = static_cast<long>(i) + step; k >= 0 && k < static_cast<long>(tokens.size()); k += step) {
            if (!tokens[static_cast<size_t>(k)].isTrivia()) return static_cast<size_t>(k);
        }
        return tokens.size();
    };
    const size_t first = meaningful(static_cast<size_t>(-1), 1);
    if (first >= tokens.size()) return false;
    const Token& head = tokens[first];
    if (!(head.isWord("SELECT") || head.isWord("INSERT") || head.isWord("UPDATE") || head.isWord("DELETE"))) return false;
    shape.clear();
    literals.clear();
    int depth = 0;
    int valuesDepth = -1;  // the depth of a VALUES list, -1 outside one
    bool afterValues = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == TokenKind::Parameter || (t.kind == TokenKind::String && t.unterminated)) return false;
        if (t.isWord("VALUES")) afterValues = true;
        if (t.isPunct("(")) {
            ++depth;
            if (afterValues && valuesDepth < 0) valuesDepth = depth;
        } else if (t.isPunct(")")) {
            if (depth == valuesDepth) valuesDepth = -1;
            --depth;
        }
        if (t.kind != TokenKind::String) {
            shape += t.text;
            continue;
        }
        // A value only: never a name written as a text ('alias' = ..., AS 'alias').
        const size_t p = meaningful(i, -1);
        const size_t n = meaningful(i, 1);
        const Token* before = p < tokens.size() ? &tokens[p] : nullptr;
        const Token* after = n < tokens.size() ? &tokens[n] : nullptr;
        const bool comparison = before && (before->isPunct("=") || before->isPunct("<>") || before->isPunct("!=") ||
                                           before->isPunct("<") || before->isPunct(">") || before->isPunct("<=") ||
                                           before->isPunct(">=") || before->isWord("LIKE"));
        const bool inList = before && (before->isPunct("(") || before->isPunct(",")) &&
                            (valuesDepth == depth ||
                             [&] {
                                 // x IN ('a', 'b'): the list's opening parenthesis follows IN.
                                 size_t k = i;
                                 while (k < tokens.size()) {
                                     const size_t b = meaningful(k, -1);
                                     if (b >= tokens.size()) return false;
                                     if (tokens[b].isPunct("(")) {
                                         const size_t w = meaningful(b, -1);
                                         return w < tokens.size() && tokens[w].isWord("IN");
                                     }
                                     if (!(tokens[b].isPunct(",") || tokens[b].kind == TokenKind::String)) return false;
                                     k = b;
                                 }
                                 return false;
                             }());
        const bool named = after && (after->isPunct("=") || after->isWord("AS"));
        if (!(comparison || inList) || named) {
            shape += t.text;
            continue;
        }
        Parameter lit;
        lit.type = (t.text.startsWith(u'N') || t.text.startsWith(u'n')) ? ado::adVarWChar : ado::adVarChar;
        lit.value = t.value();
        lit.size = std::max<long>(1, static_cast<long>(t.value().size()));
        literals.push_back(lit);
        shape += u'?';
    }
    return !literals.empty();
}

std::vector<Result> runPrepared(Link& link, const QString& shape, const std::vector<Parameter>& literals,
                                const QStringList& lateKeys) {
    link.requireOpen();
    std::shared_ptr<Statement> st = link.prepared.value(shape);
    if (!st) {
        st = std::make_shared<Statement>(link);
        st->check(SQLPrepareW(st->handle(), wide(shape), SQL_NTS), "SQLPrepare");
        if (link.prepared.size() >= kPreparedKept) {
            link.prepared.remove(link.preparedOrder.front());
            link.preparedOrder.removeFirst();
        }
        link.prepared.insert(shape, st);
        link.preparedOrder.push_back(shape);
    }
    // The statement is closed and its markers unbound on every path, ready for the next use.
    struct Reset {
        SQLHSTMT h;
        ~Reset() {
            SQLFreeStmt(h, SQL_CLOSE);
            SQLFreeStmt(h, SQL_RESET_PARAMS);
        }
    } reset{st->handle()};
    std::vector<ParamSlot> literalSlots;
    bindAll(*st, literals, literalSlots);
    st->check(SQLExecute(st->handle()), "SQLExecute");
    return readResults(*st, lateKeys);
}

std::vector<Result> readResults(const Statement& st, const QStringList& lateKeys) {
    std::vector<Result> results;
    for (;;) {
        results.push_back(readResult(st, lateKeys));
        const SQLRETURN rc = SQLMoreResults(st.handle());
        if (rc == SQL_NO_DATA) break;
        st.check(rc, "SQLMoreResults");
    }
    return results;
}

}  // namespace data::odbc
