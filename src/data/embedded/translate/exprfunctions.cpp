#include "data/embedded/translate/exprfunctions.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <cmath>

#include "data/embedded/translate/columnrules.h"
#include "data/embedded/translate/semantics.h"
#include "data/embedded/translate/sqltype.h"

namespace data::embedded {

namespace {

using Kind = SqlType::Kind;

constexpr long kUnbounded = 2147483647;  // varchar(max)

void resultText(sqlite3_context* ctx, const QString& s) {
    const QByteArray b = s.toUtf8();
    sqlite3_result_text(ctx, b.constData(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
}

// A number as SQLite's arithmetic reads it: a text that is no number by its leading digits.
struct Number {
    bool integer = true;
    sqlite3_int64 i = 0;
    double d = 0.0;
};

Number numberOf(sqlite3_value* v) {
    Number n;
    const int type = sqlite3_value_numeric_type(v);
    if (type == SQLITE_INTEGER) {
        n.i = sqlite3_value_int64(v);
        return n;
    }
    n.d = sqlite3_value_double(v);
    if (type != SQLITE_FLOAT && n.d == std::trunc(n.d) && std::fabs(n.d) < 9.2e18) {
        n.i = static_cast<sqlite3_int64>(n.d);
        return n;
    }
    n.integer = false;
    return n;
}

bool isDecimalText(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    return re.match(s).hasMatch();
}

bool isWholeText(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[+-]?\\d+$"));
    return re.match(s).hasMatch();
}

void addFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int ta = sqlite3_value_type(argv[0]);
    const int tb = sqlite3_value_type(argv[1]);
    if (ta == SQLITE_NULL || tb == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    if ((ta == SQLITE_TEXT && tb == SQLITE_TEXT) || (ta == SQLITE_BLOB && tb == SQLITE_BLOB)) {
        const bool isText = ta == SQLITE_TEXT;
        const void* a = isText ? static_cast<const void*>(sqlite3_value_text(argv[0])) : sqlite3_value_blob(argv[0]);
        const int na = sqlite3_value_bytes(argv[0]);
        const void* b = isText ? static_cast<const void*>(sqlite3_value_text(argv[1])) : sqlite3_value_blob(argv[1]);
        const int nb = sqlite3_value_bytes(argv[1]);
        QByteArray joined(static_cast<const char*>(a), na);
        joined.append(static_cast<const char*>(b), nb);
        if (isText) {
            sqlite3_result_text(ctx, joined.constData(), static_cast<int>(joined.size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_result_blob(ctx, joined.constData(), static_cast<int>(joined.size()), SQLITE_TRANSIENT);
        }
        return;
    }
    if (ta == SQLITE_TEXT || tb == SQLITE_TEXT) {
        // A text and a number: the text is read as the number's type (245 or 8114 when it is
        // none); a date-time text takes the number as days.
        sqlite3_value* text = ta == SQLITE_TEXT ? argv[0] : argv[1];
        sqlite3_value* other = ta == SQLITE_TEXT ? argv[1] : argv[0];
        const QString s = valueText(text).trimmed();
        QDateTime day;
        if (s.size() >= 10 && s[4] == u'-' && readDateTimeText(s, false, day) == 0) {
            day = day.addMSecs(std::llround(sqlite3_value_double(other) * 86400000.0));
            resultText(ctx, formatDateTime(day));
            return;
        }
        const bool integer = sqlite3_value_type(other) == SQLITE_INTEGER;
        if (!s.isEmpty() && !(integer ? isWholeText(s) : isDecimalText(s))) {
            raiseInFunction(ctx, integer ? 245 : 8114, valueText(text), integer ? QStringLiteral("int") : QStringLiteral("numeric"));
            return;
        }
    }
    const Number a = numberOf(argv[0]);
    const Number b = numberOf(argv[1]);
    sqlite3_int64 sum = 0;
    if (a.integer && b.integer && !__builtin_add_overflow(a.i, b.i, &sum)) {
        sqlite3_result_int64(ctx, sum);
        return;
    }
    const double x = a.integer ? static_cast<double>(a.i) : a.d;
    const double y = b.integer ? static_cast<double>(b.i) : b.d;
    sqlite3_result_double(ctx, x + y);
}

void divisorFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL || type == SQLITE_BLOB) {
        sqlite3_result_value(ctx, v);
        return;
    }
    const int numeric = sqlite3_value_numeric_type(v);
    if (numeric == SQLITE_TEXT) {
        raiseInFunction(ctx, 245, valueText(v), QStringLiteral("int"));
        return;
    }
    if ((numeric == SQLITE_INTEGER && sqlite3_value_int64(v) == 0) ||
        (numeric == SQLITE_FLOAT && sqlite3_value_double(v) == 0.0)) {
        raiseInFunction(ctx, 8134, QString(), QString());
        return;
    }
    sqlite3_result_value(ctx, v);
}

void castExact(sqlite3_context* ctx, sqlite3_value* v, Kind kind, int precision, int scale, const QString& type) {
    double value = 0.0;
    bool whole = false;
    sqlite3_int64 integer = 0;
    const int t = sqlite3_value_type(v);
    if (t == SQLITE_TEXT) {
        const QString s = valueText(v).trimmed();
        if (s.isEmpty() && kind != Kind::Numeric) {
            sqlite3_result_int(ctx, 0);  // money reads '' as 0, decimal refuses it
            return;
        }
        if (!isDecimalText(s)) {
            raiseInFunction(ctx, kind == Kind::Numeric ? 8114 : 235, valueText(v), type);
            return;
        }
        value = s.toDouble();
    } else if (t == SQLITE_INTEGER) {
        integer = sqlite3_value_int64(v);
        value = static_cast<double>(integer);
        whole = true;
    } else {
        value = sqlite3_value_double(v);
    }
    if (kind != Kind::Numeric) scale = 4;
    const double rounded = whole ? value : roundToScale(value, scale);
    bool overflow = false;
    if (kind == Kind::Numeric) {
        overflow = std::fabs(rounded) >= std::pow(10.0, precision - scale);
    } else {
        overflow = std::fabs(rounded) > (kind == Kind::Money ? 922337203685477.5807 : 214748.3647);
    }
    if (overflow) {
        raiseInFunction(ctx, 8115, valueText(v), type);
        return;
    }
    if (whole) {
        sqlite3_result_int64(ctx, integer);
    } else {
        resultNumber(ctx, rounded);
    }
}

void castInteger(sqlite3_context* ctx, sqlite3_value* v, Kind kind, const QString& type, bool fromFloat) {
    double value = 0.0;
    const int t = sqlite3_value_type(v);
    if (t == SQLITE_TEXT) {
        const QString s = valueText(v).trimmed();
        if (!s.isEmpty() && !isWholeText(s)) {
            raiseInFunction(ctx, 245, valueText(v), type);
            return;
        }
        value = s.isEmpty() ? 0.0 : s.toDouble();
    } else if (t == SQLITE_INTEGER) {
        value = static_cast<double>(sqlite3_value_int64(v));
    } else {
        value = std::trunc(sqlite3_value_double(v));
    }
    double low = -9223372036854775808.0;
    double high = 9223372036854775807.0;
    if (kind == Kind::TinyInt) {
        low = 0.0;
        high = 255.0;
    } else if (kind == Kind::SmallInt) {
        low = -32768.0;
        high = 32767.0;
    } else if (kind == Kind::Int) {
        low = -2147483648.0;
        high = 2147483647.0;
    }
    if ((value < low || value > high) && fromFloat) {
        raiseInFunction(ctx, 232, QString::asprintf("%f", sqlite3_value_double(v)), type);
        return;
    }
    if (value < low || value > high) {
        const bool small = kind == Kind::TinyInt || kind == Kind::SmallInt;
        raiseInFunction(ctx, small ? 220 : 8115, valueText(v), type);
        return;
    }
    if (t == SQLITE_INTEGER) {
        sqlite3_result_int64(ctx, sqlite3_value_int64(v));
    } else if (t == SQLITE_TEXT) {
        sqlite3_result_int64(ctx, valueText(v).trimmed().toLongLong());
    } else {
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(value));
    }
}

void castCharacter(sqlite3_context* ctx, sqlite3_value* v, Kind kind, long length, const QString& type) {
    const int t = sqlite3_value_type(v);
    if (t == SQLITE_BLOB) {
        sqlite3_result_value(ctx, v);
        return;
    }
    QString s = valueText(v);
    if (length >= kUnbounded) {
        resultText(ctx, s);
        return;
    }
    const bool national = kind == Kind::NChar || kind == Kind::NVarChar;
    if (s.size() > length) {
        if (t == SQLITE_INTEGER && !national) {
            s = QStringLiteral("*");
        } else if (t != SQLITE_TEXT) {
            raiseInFunction(ctx, 8115, s, type);
            return;
        } else {
            s.truncate(static_cast<qsizetype>(length));
        }
    }
    if ((kind == Kind::Char || kind == Kind::NChar) && s.size() < length) s = s.leftJustified(static_cast<qsizetype>(length), u' ');
    resultText(ctx, s);
}

// A date-time in the one form the engine writes: a text as SQL Server reads it, a number as days
// (and their fraction) after 1900-01-01; smalldatetime to the nearest minute.
void castDateTime(sqlite3_context* ctx, sqlite3_value* v, Kind kind, const QString& type) {
    QDateTime d;
    if (sqlite3_value_type(v) == SQLITE_TEXT) {
        if (const int error = readDateTimeText(valueText(v), kind == Kind::SmallDateTime, d)) {
            raiseInFunction(ctx, error, valueText(v), type);
            return;
        }
    } else {
        const double days = sqlite3_value_double(v);
        if (!(std::fabs(days) < 3000000.0)) {
            raiseInFunction(ctx, 8115, valueText(v), type);
            return;
        }
        const QDateTime base(QDate(1900, 1, 1), QTime(0, 0));
        d = base.addMSecs(static_cast<qint64>(std::llround(days * 86400000.0)));
    }
    if (kind == Kind::SmallDateTime) {
        const qint64 ms = d.time().msecsSinceStartOfDay() % 60000;
        d = d.addMSecs(ms >= 29999 ? 60000 - ms : -ms);
    }
    resultText(ctx, formatDateTime(d));
}

// tsql_mod(a, b, scale): the remainder of exact values with scale decimals, its sign the
// dividend's, as SQL Server's "%" gives it on decimal and money.
void modFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const int scale = std::clamp(sqlite3_value_int(argv[2]), 0, 18);
    const double unit = std::pow(10.0, scale);
    const double a = sqlite3_value_double(argv[0]) * unit;
    const double b = sqlite3_value_double(argv[1]) * unit;
    if (std::llround(b) == 0) {
        raiseInFunction(ctx, 8134, QString(), QString());
        return;
    }
    if (std::fabs(a) < 9e18 && std::fabs(b) < 9e18) {
        resultNumber(ctx, roundToScale(static_cast<double>(std::llround(a) % std::llround(b)) / unit, scale));
    } else {
        resultNumber(ctx, std::fmod(a, b) / unit);
    }
}

void castFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (sqlite3_value_type(v) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto kind = static_cast<Kind>(sqlite3_value_int(argv[1]));
    const sqlite3_int64 size = sqlite3_value_int64(argv[2]);
    const int scale = sqlite3_value_int(argv[3]);
    SqlType target;
    target.kind = kind;
    const QString type = target.typeName();
    const int t = sqlite3_value_type(v);
    switch (kind) {
        case Kind::Numeric:
        case Kind::Money:
        case Kind::SmallMoney:
            if (t == SQLITE_BLOB) break;
            castExact(ctx, v, kind, static_cast<int>(size), scale, type);
            return;
        case Kind::TinyInt:
        case Kind::SmallInt:
        case Kind::Int:
        case Kind::BigInt:
            if (t == SQLITE_BLOB) break;
            castInteger(ctx, v, kind, type, scale < 0);
            return;
        case Kind::Bit:
            if (t == SQLITE_TEXT) {
                const QString s = valueText(v).trimmed();
                if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
                    sqlite3_result_int(ctx, 1);
                } else if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
                    sqlite3_result_int(ctx, 0);
                } else if (isWholeText(s)) {
                    sqlite3_result_int(ctx, s.toLongLong() != 0 ? 1 : 0);
                } else {
                    raiseInFunction(ctx, 245, valueText(v), type);
                }
                return;
            }
            if (t == SQLITE_BLOB) break;
            sqlite3_result_int(ctx, sqlite3_value_double(v) != 0.0 ? 1 : 0);
            return;
        case Kind::Float:
        case Kind::Real:
            if (t == SQLITE_TEXT) {
                bool ok = false;
                const double d = valueText(v).trimmed().toDouble(&ok);
                if (!ok) {
                    raiseInFunction(ctx, 8114, valueText(v), type);
                    return;
                }
                sqlite3_result_double(ctx, d);
                return;
            }
            if (t == SQLITE_BLOB) break;
            sqlite3_result_double(ctx, sqlite3_value_double(v));
            return;
        case Kind::DateTime:
        case Kind::SmallDateTime:
            if (t == SQLITE_BLOB) break;
            castDateTime(ctx, v, kind, type);
            return;
        case Kind::Char:
        case Kind::VarChar:
        case Kind::NChar:
        case Kind::NVarChar:
            castCharacter(ctx, v, kind, static_cast<long>(size), type);
            return;
        default:
            break;
    }
    sqlite3_result_value(ctx, v);
}

}  // namespace

void installExpressionFunctions(sqlite3* db) {
    sqlite3_create_function_v2(db, "tsql_add", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, addFunction, nullptr,
                               nullptr, nullptr);
    // The functions that may fail are not marked deterministic: SQLite would compute one with
    // constant arguments once before the first row, failing a statement that reaches no row.
    sqlite3_create_function_v2(db, "tsql_divisor", 1, SQLITE_UTF8, nullptr, divisorFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "tsql_cast", 4, SQLITE_UTF8, nullptr, castFunction, nullptr, nullptr, nullptr);
    // A literal converted to the type it is compared with: computed once, before the first row
    // (SQL Server converts it whether or not a row is read).
    sqlite3_create_function_v2(db, "tsql_lit", 4, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, castFunction, nullptr,
                               nullptr, nullptr);
    sqlite3_create_function_v2(db, "tsql_mod", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, modFunction, nullptr,
                               nullptr, nullptr);
}

}  // namespace data::embedded
