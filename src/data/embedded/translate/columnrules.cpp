#include "data/embedded/translate/columnrules.h"

#include <QByteArray>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/embedded/translate/semantics.h"

namespace data::embedded {

namespace {

using Kind = SqlType::Kind;

// SQLite's affinity letters, in SQLite's order.
constexpr int kBlob = 'A';
constexpr int kText = 'B';

// The affinity SQLite gives a declared type, by its documented rules (the first that applies:
// INT; CHAR, CLOB or TEXT; BLOB or no type; REAL, FLOA or DOUB; otherwise NUMERIC).
int affinityOf(const QString& declared) {
    const QString u = declared.toUpper();
    if (u.contains(QLatin1String("INT"))) return 'D';
    if (u.contains(QLatin1String("CHAR")) || u.contains(QLatin1String("CLOB")) || u.contains(QLatin1String("TEXT"))) {
        return kText;
    }
    if (u.trimmed().isEmpty() || u.contains(QLatin1String("BLOB"))) return kBlob;
    if (u.contains(QLatin1String("REAL")) || u.contains(QLatin1String("FLOA")) || u.contains(QLatin1String("DOUB"))) {
        return 'E';
    }
    return 'C';
}

bool isCharacter(Kind k) { return k == Kind::Char || k == Kind::VarChar || k == Kind::NChar || k == Kind::NVarChar; }

// Characters of UTF-8 bytes as SQLite's length() counts them: up to the first NUL.
qint64 characters(const unsigned char* z, int n) {
    qint64 count = 0;
    for (int i = 0; i < n && z[i]; ++i) {
        if ((z[i] & 0xc0) != 0x80) ++count;
    }
    return count;
}

// The byte offset where character `chars` starts (substr's way of counting).
int byteOfCharacter(const unsigned char* z, int n, qint64 chars) {
    int i = 0;
    while (chars > 0 && i < n) {
        ++i;
        while (i < n && (z[i] & 0xc0) == 0x80) ++i;
        --chars;
    }
    return i;
}

// The value as a number compared with a constant, as SQLite compares them: exactly, the
// constant being the double its text reads as.
long double number(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_INTEGER ? static_cast<long double>(sqlite3_value_int64(v))
                                                   : static_cast<long double>(sqlite3_value_double(v));
}

bool outside(sqlite3_value* v, double low, double high) {
    const long double x = number(v);
    return x < low || x > high;
}

long double magnitude(sqlite3_value* v) { return std::fabs(number(v)); }

// The SQL Server error a column refuses the value with (SqlType::checks); 0 when it takes it.
// type: the value's type as the column stores it; wholeReal: a real stored as the integer
// whole64.
long refusalOf(Kind kind, qint64 length, int whole, sqlite3_value* v, int type, bool wholeReal, sqlite3_int64 whole64) {
    const bool isNum = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
    const bool isText = type == SQLITE_TEXT;
    switch (kind) {
        case Kind::Char:
        case Kind::VarChar:
        case Kind::NChar:
        case Kind::NVarChar:
        case Kind::Binary:
        case Kind::VarBinary: {
            if (length <= 0 || length >= 2147483647) return 0;
            // A blob's bytes read as the text they would be (the value stays a blob); a whole real
            // as the integer it is stored as.
            const QByteArray wholeText = wholeReal ? QByteArray::number(static_cast<qlonglong>(whole64)) : QByteArray();
            const auto* z = static_cast<const unsigned char*>(
                wholeReal ? static_cast<const void*>(wholeText.constData())
                          : (type == SQLITE_BLOB ? sqlite3_value_blob(v) : static_cast<const void*>(sqlite3_value_text(v))));
            int n = wholeReal ? static_cast<int>(wholeText.size()) : sqlite3_value_bytes(v);
            if (!isCharacter(kind)) return (type == SQLITE_BLOB ? n : characters(z, n)) > length ? 8152 : 0;
            // Trailing blanks beyond the width are not an error, as in SQL Server.
            while (n > 0 && z[n - 1] == ' ') --n;
            return characters(z, n) > length ? 8152 : 0;
        }
        case Kind::SmallInt:
            return isNum && outside(v, -32768.0, 32767.0) ? 220 : (isText ? 245 : 0);
        case Kind::TinyInt:
            return isNum && outside(v, 0.0, 255.0) ? 220 : (isText ? 245 : 0);
        case Kind::Int:
            return isNum && outside(v, -2147483648.0, 2147483647.0) ? 8115 : (isText ? 245 : 0);
        case Kind::BigInt:
        case Kind::Bit:
            return isText ? 245 : 0;
        case Kind::Money:
            return isNum && magnitude(v) > static_cast<long double>(922337203685477.5807) ? 8115 : (isText ? 235 : 0);
        case Kind::SmallMoney:
            return isNum && magnitude(v) > static_cast<long double>(214748.3647) ? 8115 : (isText ? 235 : 0);
        case Kind::Numeric: {
            const double limit = std::strtod(("1e" + std::to_string(whole)).c_str(), nullptr);
            return isNum && magnitude(v) >= static_cast<long double>(limit) ? 8115 : (isText ? 8114 : 0);
        }
        case Kind::Float:
        case Kind::Real:
            return isText ? 8114 : 0;
        case Kind::DateTime:
        case Kind::SmallDateTime:
            if (!isText || parseDateTime(valueText(v)).isValid()) return 0;
            {
                QDateTime d;
                return readDateTimeText(valueText(v), kind == Kind::SmallDateTime, d);
            }
        default:
            return 0;
    }
}

// A fractional value of a numeric(p,s) column as SQL Server stores it: rounded to the scale, the
// half away from zero (the rounded value where it is whole, so that it keeps the storage form
// of the type's written values: INTEGER when whole, REAL otherwise).
// tsql_numeric(value, scale): a real rounded as a numeric column of that scale stores it; any
// other value as it is.
void numericFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) != SQLITE_FLOAT) {
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    resultNumber(ctx, roundToScale(sqlite3_value_double(argv[0]), sqlite3_value_int(argv[1])));
}

// The one form a date-time column keeps ("yyyy-mm-dd hh:mm:ss.fff"), so that the stored texts
// of one column compare, sort and read alike whichever form was written ('2017-01-05' and
// '2017-01-05 00:00' are one day). Null when the text is no date-time (refused before).
QByteArray dateTimeForm(sqlite3_value* v) {
    const int n = sqlite3_value_bytes(v);
    const auto* z = reinterpret_cast<const char*>(sqlite3_value_text(v));
    if (n == 23 && z[4] == '-' && z[10] == ' ' && z[19] == '.') return QByteArray(z, n);
    const QDateTime d = readDateTime(QString::fromUtf8(z, n));
    return d.isValid() ? formatDateTime(d).toUtf8() : QByteArray();
}

// tsql_datetime(value): a date-time text in the column's one form; anything else as it is.
void dateTimeFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
        const QByteArray f = dateTimeForm(argv[0]);
        if (!f.isNull()) {
            sqlite3_result_text(ctx, f.constData(), static_cast<int>(f.size()), SQLITE_TRANSIENT);
            return;
        }
    }
    sqlite3_result_value(ctx, argv[0]);
}

// tsql_put(value, kind, length, whole, affinity, type name): the column's SqlType::checks and
// fitting, on the value as the column's affinity makes it. A numeric column gets its scale as
// the length.
void putFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto kind = static_cast<Kind>(sqlite3_value_int(argv[1]));
    const qint64 length = sqlite3_value_int64(argv[2]);
    const int whole = sqlite3_value_int(argv[3]);
    const int affinity = sqlite3_value_int(argv[4]);
    if (type == SQLITE_TEXT && (kind == Kind::DateTime || kind == Kind::SmallDateTime) &&
        sqlite3_value_numeric_type(v) != SQLITE_TEXT) {
        // '20170105' is a day, which the column's numeric affinity would take for a number.
        QDateTime day;
        if (readDateTimeText(valueText(v), kind == Kind::SmallDateTime, day) == 0) {
            const QByteArray form = formatDateTime(day).toUtf8();
            sqlite3_result_text(ctx, form.constData(), static_cast<int>(form.size()), SQLITE_TRANSIENT);
            return;
        }
        type = sqlite3_value_type(v);
    }

    // The value as storing it would make it.
    bool asText = false;       // a number that the column stores as its text
    bool wholeReal = false;    // a real that the column stores as an integer
    sqlite3_int64 whole64 = 0;
    if (affinity == kText) {
        asText = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
        if (asText) type = SQLITE_TEXT;
    } else if (affinity != kBlob) {
        if (type == SQLITE_TEXT) type = sqlite3_value_numeric_type(v);
        if (type == SQLITE_FLOAT) {
            const double r = sqlite3_value_double(v);
            if (r > -9.2233720368547748e18 && r < 9.2233720368547748e18) {
                whole64 = static_cast<sqlite3_int64>(r);
                wholeReal = static_cast<double>(whole64) == r;
                if (wholeReal) type = SQLITE_INTEGER;
            }
        }
    }
    if (kind == Kind::Numeric && type == SQLITE_FLOAT) {
        // Rounded first: 999.995 into numeric(5,2) is 1000.00, which does not fit.
        const double rounded = roundToScale(sqlite3_value_double(v), static_cast<int>(length));
        if (std::fabs(rounded) >= std::strtod(("1e" + std::to_string(whole)).c_str(), nullptr)) {
            raiseInFunction(ctx, 8115, valueText(v), valueText(argv[5]));
            return;
        }
        resultNumber(ctx, rounded);
        return;
    }
    const long refusal = refusalOf(kind, length, whole, v, type, wholeReal, whole64);
    if (refusal != 0) {
        raiseInFunction(ctx, refusal, wholeReal ? QString::number(whole64) : valueText(v), valueText(argv[5]));
        return;
    }

    if (type == SQLITE_TEXT && (kind == Kind::DateTime || kind == Kind::SmallDateTime)) {
        dateTimeFunction(ctx, 1, argv);
        return;
    }
    // What SQL Server stores: blanks beyond a character column's width dropped, char(n) filled
    // with blanks to its width.
    if (type == SQLITE_TEXT && isCharacter(kind) && length > 0 && length < 8001) {
        const auto* z = sqlite3_value_text(v);
        const int n = sqlite3_value_bytes(v);
        const qint64 size = characters(z, n);
        if (size > length) {
            sqlite3_result_text(ctx, reinterpret_cast<const char*>(z), byteOfCharacter(z, n, length), SQLITE_TRANSIENT);
            return;
        }
        if (size < length && (kind == Kind::Char || kind == Kind::NChar)) {
            QByteArray filled(reinterpret_cast<const char*>(z), n);
            filled.append(static_cast<qsizetype>(length - size), ' ');
            sqlite3_result_text(ctx, filled.constData(), static_cast<int>(filled.size()), SQLITE_TRANSIENT);
            return;
        }
    }
    if (asText) {
        const auto* z = reinterpret_cast<const char*>(sqlite3_value_text(v));
        sqlite3_result_text(ctx, z, sqlite3_value_bytes(v), SQLITE_TRANSIENT);
        return;
    }
    if (wholeReal) {
        sqlite3_result_int64(ctx, whole64);
        return;
    }
    sqlite3_result_value(ctx, v);
}

// The rules' arguments of a column; empty when its type refuses nothing.
QString ruleArguments(const ColumnDef& c) {
    if (c.type.checks(QStringLiteral("x")).empty()) return {};
    return QStringLiteral(", %1, %2, %3, %4, %5)")
        .arg(static_cast<int>(c.type.kind))
        .arg(c.type.kind == Kind::Numeric ? static_cast<long>(c.type.scale) : c.type.length)
        .arg(c.type.precision - c.type.scale)
        .arg(affinityOf(c.identity ? QStringLiteral("INTEGER") : c.typeText))
        .arg(quoteString(c.type.typeName()));
}

size_t skipTrivia(const std::vector<Token>& t, size_t i) {
    while (i < t.size() && t[i].isTrivia()) ++i;
    return i;
}

// The end of an expression starting at i: a comma or closing parenthesis outside parentheses,
// one of the given words outside parentheses, or the end.
size_t expressionEnd(const std::vector<Token>& t, size_t i, std::initializer_list<const char*> stops) {
    int depth = 0;
    for (; i < t.size(); ++i) {
        if (t[i].isPunct("(")) {
            ++depth;
        } else if (t[i].isPunct(")")) {
            if (depth == 0) return i;
            --depth;
        } else if (depth == 0) {
            if (t[i].isPunct(",")) return i;
            for (const char* w : stops) {
                if (t[i].isWord(w)) return i;
            }
        }
    }
    return i;
}

struct Wrap {
    size_t begin;
    size_t end;
    int column;
};

QString rewritten(const std::vector<Token>& t, const std::vector<Wrap>& wraps, const TableDefinition& table) {
    QString out;
    size_t at = 0;
    for (const Wrap& w : wraps) {
        out += joinTokens(t, at, w.begin);
        out += withColumnRules(joinTokens(t, w.begin, w.end), table.columns[static_cast<size_t>(w.column)]);
        at = w.end;
    }
    out += joinTokens(t, at);
    return out;
}

QString insertWithRules(const std::vector<Token>& t, size_t i, const TableDefinition& table) {
    i = skipTrivia(t, i + 1);
    if (i >= t.size() || !t[i].isWord("INTO")) return {};
    // The target: names and dots up to the column list.
    i = skipTrivia(t, i + 1);
    while (i < t.size() && (t[i].isName() || t[i].isPunct(".") || t[i].isTrivia())) ++i;
    if (i >= t.size() || !t[i].isPunct("(")) return {};
    std::vector<int> columns;
    std::vector<bool> set(table.columns.size(), false);
    for (;;) {
        i = skipTrivia(t, i + 1);
        if (i >= t.size() || !t[i].isName()) return {};
        const int c = table.find(t[i].value());
        if (c < 0 || set[static_cast<size_t>(c)]) return {};
        columns.push_back(c);
        set[static_cast<size_t>(c)] = true;
        i = skipTrivia(t, i + 1);
        if (i < t.size() && t[i].isPunct(")")) break;
        if (i >= t.size() || !t[i].isPunct(",")) return {};
    }
    if (omitsRuledDefault(table, set)) return {};
    i = skipTrivia(t, i + 1);
    if (i >= t.size() || !t[i].isWord("VALUES")) return {};
    std::vector<Wrap> wraps;
    for (;;) {
        i = skipTrivia(t, i + 1);
        if (i >= t.size() || !t[i].isPunct("(")) return {};
        for (size_t k = 0; k < columns.size(); ++k) {
            const size_t begin = i + 1;
            const size_t end = expressionEnd(t, begin, {});
            if (end >= t.size() || end == begin) return {};
            wraps.push_back({begin, end, columns[k]});
            i = end;
            if (k + 1 < columns.size() && !t[i].isPunct(",")) return {};
        }
        if (!t[i].isPunct(")")) return {};
        i = skipTrivia(t, i + 1);
        if (i >= t.size()) break;
        if (!t[i].isPunct(",")) return {};
    }
    return rewritten(t, wraps, table);
}

QString updateWithRules(const std::vector<Token>& t, size_t i, const TableDefinition& table) {
    // The first SET outside parentheses starts the assignments.
    int depth = 0;
    for (++i; i < t.size(); ++i) {
        if (t[i].isPunct("(")) ++depth;
        if (t[i].isPunct(")")) --depth;
        if (depth == 0 && t[i].isWord("SET")) break;
    }
    if (i >= t.size()) return {};
    std::vector<Wrap> wraps;
    for (;;) {
        i = skipTrivia(t, i + 1);
        if (i >= t.size() || !t[i].isName()) return {};
        const int c = table.find(t[i].value());
        if (c < 0) return {};
        i = skipTrivia(t, i + 1);
        if (i >= t.size() || !t[i].isPunct("=")) return {};
        const size_t begin = i + 1;
        const size_t end = expressionEnd(t, begin, {"FROM", "WHERE", "ORDER", "LIMIT", "RETURNING"});
        if (end == begin || (end < t.size() && t[end].isPunct(")"))) return {};
        wraps.push_back({begin, end, c});
        i = end;
        if (i >= t.size() || !t[i].isPunct(",")) break;
    }
    return rewritten(t, wraps, table);
}

}  // namespace

double roundToScale(double value, int scale) {
    if (!std::isfinite(value) || scale < 0) return value;
    if (scale <= 15) {
        // Most values lie close to an amount of the scale (a sum of amounts, 0.30000000000000004):
        // far from a half, their 15 significant digits round to that amount, and the division
        // of two exact doubles gives the double nearest to it, as the digits below would.
        // Below 1e12 units the 15 digits stand within 0.005 units of the value, so a value
        // within 1e-6 of an amount can never have digits that round elsewhere; the amounts
        // of a company's lines (hundreds and thousands with four decimals) all take this way.
        static constexpr double kUnits[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double unit = kUnits[scale];
        const double r = value * unit;
        const double n = std::round(r);
        if (std::fabs(r) < 1e12 && std::fabs(r - n) < 1e-6) return n / unit;
    }
    // The value by its 15 significant digits, the precision a double holds for sure: 1.005 is
    // written 1.005 and stored as 1.00499999999999989..., and SQL Server rounds the 1.005.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    const char* p = buffer;
    const bool negative = *p == '-';
    if (negative) ++p;
    std::string digits;
    for (; *p && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') digits += *p;
    }
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    // value = 0.digits * 10^(exponent + 1): the digits before the cut are kept.
    const int keep = exponent + 1 + scale;
    if (keep >= static_cast<int>(digits.size())) return value;
    if (keep < 0) return 0.0;
    long long kept = keep == 0 ? 0 : std::stoll(digits.substr(0, static_cast<size_t>(keep)));
    if (digits[static_cast<size_t>(keep)] >= '5') ++kept;
    const double rounded = std::strtod((std::to_string(kept) + "e-" + std::to_string(scale)).c_str(), nullptr);
    return negative ? -rounded : rounded;
}

QString withColumnRules(const QString& expression, const ColumnDef& column) {
    const QString arguments = ruleArguments(column);
    return arguments.isEmpty() ? expression : QStringLiteral("tsql_put(") + expression + arguments;
}

namespace {

bool boundAsText(Kind k) {
    return k == Kind::Char || k == Kind::VarChar || k == Kind::Text || k == Kind::NChar || k == Kind::NVarChar ||
           k == Kind::NText || k == Kind::SqliteText || k == Kind::UniqueIdentifier;
}

bool boundAsInteger(Kind k) {
    return k == Kind::TinyInt || k == Kind::SmallInt || k == Kind::Int || k == Kind::BigInt || k == Kind::SqliteInteger;
}

// The characters of a text as SQLite's length() counts them once bound as UTF-8 (up to the
// first NUL); -1 for a surrogate, whose count depends on its pair.
qint64 boundCharacters(const QString& text) {
    qint64 n = 0;
    for (const QChar c : text) {
        if (c.unicode() == 0) break;
        if (c.isSurrogate()) return -1;
        ++n;
    }
    return n;
}

}  // namespace

DirectFit::DirectFit(const ColumnDef& column, const SqlType& bound) {
    if (column.identity) return;
    if (ruleArguments(column).isEmpty()) {
        mode_ = Mode::Always;
        return;
    }
    const Kind k = column.type.kind;
    const int affinity = affinityOf(column.typeText);
    if (isCharacter(k) && affinity == kText && boundAsText(bound.kind)) {
        const qint64 length = column.type.length;
        if (length <= 0 || length >= 2147483647) {
            mode_ = Mode::Always;
            return;
        }
        mode_ = k == Kind::Char || k == Kind::NChar ? Mode::Fixed : Mode::Width;
        high_ = length;
        return;
    }
    if (affinity != 'D') {
        const bool money = k == Kind::Money || k == Kind::SmallMoney;
        if (money && affinity != kText && affinity != kBlob &&
            (bound.kind == Kind::Money || bound.kind == Kind::SmallMoney)) {
            // Kept well inside the type's range, where no rounding of the double compared can
            // make a difference.
            mode_ = Mode::Currency;
            high_ = k == Kind::Money ? Q_INT64_C(9000000000000000000) : Q_INT64_C(2147483647);
        }
        return;
    }
    if (!boundAsInteger(bound.kind) && bound.kind != Kind::Bit) return;
    boundAsBit_ = bound.kind == Kind::Bit;
    switch (k) {
        case Kind::BigInt:
        case Kind::Bit:
            mode_ = Mode::Always;
            return;
        case Kind::TinyInt:
            mode_ = Mode::Range;
            high_ = 255;
            return;
        case Kind::SmallInt:
            mode_ = Mode::Range;
            low_ = -32768;
            high_ = 32767;
            return;
        case Kind::Int:
            mode_ = Mode::Range;
            low_ = -2147483648LL;
            high_ = 2147483647;
            return;
        default:
            return;
    }
}

bool DirectFit::unchanged(const Variant& v) const {
    // Bound as Null, which tsql_put passes on.
    if (v.isNull() || v.isEmpty() || mode_ == Mode::Always) return true;
    try {
        switch (mode_) {
            case Mode::Width:
            case Mode::Fixed: {
                const QString text = SqlType::boundText(v);
                // Fewer units than the width cannot be more characters.
                if (mode_ == Mode::Width && text.size() <= high_) return true;
                const qint64 n = boundCharacters(text);
                return n >= 0 && (mode_ == Mode::Width ? n <= high_ : n == high_);
            }
            case Mode::Range: {
                // A text is converted (or refused) by the binder; the rules see to the rest.
                if (v.isString()) return false;
                const qint64 x = boundAsBit_ ? (v.toBool() ? 1 : 0) : v.toInt64();
                return x >= low_ && x <= high_;
            }
            case Mode::Currency: {
                if (v.isString()) return false;
                const qint64 raw = v.toCurrency().raw();
                return raw >= -high_ && raw <= high_;
            }
            default:
                return false;
        }
    } catch (...) {
        // The binder meets the same value and reports it.
        return false;
    }
}

bool omitsRuledDefault(const TableDefinition& table, const std::vector<bool>& set) {
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const ColumnDef& col = table.columns[c];
        if (c < set.size() && set[c]) continue;
        if (col.identity) continue;
        bool withDefault = false;
        for (const Token& k : col.constraints) withDefault = withDefault || k.isWord("DEFAULT");
        if (withDefault && !ruleArguments(col).isEmpty()) return true;
    }
    return false;
}

QString statementWithRules(const QString& sqliteText, const TableDefinition& table) {
    const std::vector<Token> t = tokenize(sqliteText);
    const size_t i = skipTrivia(t, 0);
    if (i >= t.size()) return {};
    if (t[i].isWord("INSERT")) return insertWithRules(t, i, table);
    if (t[i].isWord("UPDATE")) return updateWithRules(t, i, table);
    return {};
}

void installColumnRules(sqlite3* db) {
    sqlite3_create_function_v2(db, "tsql_datetime", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, dateTimeFunction,
                               nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "tsql_numeric", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, numericFunction,
                               nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "tsql_put", 6, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, putFunction, nullptr,
                               nullptr, nullptr);
}

}  // namespace data::embedded
