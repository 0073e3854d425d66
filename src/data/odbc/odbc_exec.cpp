// Running a statement: binding its parameters, describing and reading every result.

#include <QDateTime>
#include <algorithm>
#include <cstring>
#include <limits>

#include "data/adoconstants.h"
#include "data/embedded/translate/tokenizer.h"
#include "data/odbc/odbc_internal.h"

namespace data::odbc {

namespace {

using provider::Column;
using provider::Columns;
using provider::Parameter;
using provider::Result;
using provider::Row;

constexpr long kLongSize = 2147483647;
// Statement shapes kept prepared on a connection.
constexpr qsizetype kPreparedKept = 64;
// Long values are read in pieces of this many bytes, so a field of any length streams through
// a fixed buffer.
constexpr SQLLEN kChunkBytes = 64 * 1024;

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
std::vector<bool> lateColumns(const Columns& columns, const QStringList& keys) {
    std::vector<bool> late(columns.size(), false);
    if (keys.isEmpty()) return late;
    for (const QString& key : keys) {
        const bool held = std::any_of(columns.begin(), columns.end(),
                                      [&](const Column& c) { return c.name.compare(key, Qt::CaseInsensitive) == 0; });
        if (!held) return late;
    }
    for (size_t i = 0; i < late.size(); ++i) late[i] = isLongType(columns[i].type) && !columns[i].name.isEmpty();
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

std::vector<Result> run(Link& link, const QString& text, const std::vector<Parameter>& parameters,
                        const QStringList& lateKeys) {
    if (parameters.empty() && link.options.prepareShapes) {
        QString shape;
        std::vector<Parameter> literals;
        if (liftLiterals(text, shape, literals)) return runPrepared(link, shape, literals, lateKeys);
        if (runsPreparedWhole(text)) return runPrepared(link, text, {}, lateKeys);
    }
    Statement st(link);
    // The binding must stay where it is until the statement's last result: the driver reads
    // the values at execution and writes the outputs at the end.
    ParameterBinding binding;
    binding.bind(st, parameters);
    st.applyTimeout();
    st.checkRun(SQLExecDirectW(st.handle(), wide(text), SQL_NTS), "SQLExecDirect");
    std::vector<Result> results = readResults(st, lateKeys, isSingleStatement(text));
    if (!parameters.empty()) results.back().outputs = binding.outputs(parameters);
    return results;
}

std::vector<Result> runPrepared(Link& link, const QString& shape, const std::vector<Parameter>& literals,
                                const QStringList& lateKeys) {
    link.requireOpen();
    std::shared_ptr<PreparedStatement> prepared = link.prepared.value(shape);
    if (!prepared) {
        prepared = std::make_shared<PreparedStatement>(link);
        prepared->statement.check(SQLPrepareW(prepared->statement.handle(), wide(shape), SQL_NTS), "SQLPrepare");
        if (link.prepared.size() >= kPreparedKept) {
            link.prepared.remove(link.preparedOrder.front());
            link.preparedOrder.removeFirst();
        }
        link.prepared.insert(shape, prepared);
        link.preparedOrder.push_back(shape);
    }
    const Statement& st = prepared->statement;
    // The statement is closed on every path, ready for the next use; its parameters stay bound,
    // so the next use runs what the server prepared (unbinding would make the driver prepare
    // it again).
    struct Close {
        SQLHSTMT h;
        ~Close() { SQLFreeStmt(h, SQL_CLOSE); }
    } close{st.handle()};
    prepared->binding.bind(st, literals);
    st.applyTimeout();
    st.checkRun(SQLExecute(st.handle()), "SQLExecute");
    return readResults(st, lateKeys, true);
}

std::vector<Result> readResults(const Statement& st, const QStringList& lateKeys, bool singleStatement) {
    std::vector<Result> results;
    for (;;) {
        Result r = readResult(st, lateKeys);
        // A result without rows and without a count is what an informational message leaves
        // behind (PRINT, a change of database): the message went to the link, the result goes.
        const bool empty = !r.hasRows && r.recordsAffected < 0;
        if (!empty || results.empty()) {
            // The counts of a trigger's statements come before the statement's own: one
            // statement reports its own.
            if (singleStatement && !r.hasRows && !results.empty() && !results.back().hasRows) results.pop_back();
            if (!results.empty() && !results.back().hasRows && results.back().recordsAffected < 0) results.pop_back();
            results.push_back(std::move(r));
        }
        const SQLRETURN rc = SQLMoreResults(st.handle());
        if (rc == SQL_NO_DATA) break;
        st.checkRun(rc, "SQLMoreResults");
    }
    return results;
}

}  // namespace data::odbc
