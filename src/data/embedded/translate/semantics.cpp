#include "data/embedded/translate/semantics.h"

#include <QString>
#include <cmath>

#include "data/embedded/connection/errors.h"
#include "data/embedded/translate/exprfunctions.h"
#include "data/embedded/translate/likematch.h"
#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/textrules.h"
#include "platform/clock.h"

namespace data::embedded {

namespace {

int collationCallback(void*, int na, const void* a, int nb, const void* b) {
    return compareText(static_cast<const char*>(a), na, static_cast<const char*>(b), nb);
}


void getdateFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    const QByteArray s = formatDateTime(platform::now()).toUtf8();
    sqlite3_result_text(ctx, s.constData(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void lenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_int64(ctx, lengthWithoutTrailingBlanks(valueText(argv[0])));
}

void isdateFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    sqlite3_result_int(ctx, readDateTime(valueText(argv[0])).isValid() ? 1 : 0);
}

// "value LIKE pattern [ESCAPE e]" reaches SQLite's like(pattern, value [, e]).
void likeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    QChar escape;
    if (argc > 2) {
        const QString e = valueText(argv[2]);
        if (e.size() != 1) {
            raiseInFunction(ctx, 506, QStringLiteral("The invalid escape character \"%1\" was specified in a LIKE predicate.").arg(e),
                            QString());
            return;
        }
        escape = e.at(0);
    }
    sqlite3_result_int(ctx, likeMatches(valueText(argv[1]), valueText(argv[0]), escape) ? 1 : 0);
}

void raiseFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    raiseInFunction(ctx, static_cast<long>(sqlite3_value_int64(argv[0])), argc > 1 ? valueText(argv[1]) : QString(),
                    argc > 2 ? valueText(argv[2]) : QString());
}

}  // namespace

QString valueText(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return p ? QString::fromUtf8(p, sqlite3_value_bytes(v)) : QString();
}

void resultNumber(sqlite3_context* ctx, double value) {
    if (std::nearbyint(value) == value && value > -9.2233720368547748e18 && value < 9.2233720368547748e18) {
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(value));
    } else {
        sqlite3_result_double(ctx, value);
    }
}

void raiseInFunction(sqlite3_context* ctx, long number, const QString& value, const QString& type) {
    QString text;
    switch (number) {
        case 8152:
            text = msg::truncated();
            break;
        case 220:
            text = QStringLiteral("Arithmetic overflow error for data type %1, value = %2.").arg(type, value);
            break;
        case 232:
            text = QStringLiteral("Arithmetic overflow error for type %1, value = %2.").arg(type, value);
            break;
        case 245:
            text = QStringLiteral("Conversion failed when converting the varchar value '%1' to data type %2.").arg(value, type);
            break;
        case 8115:
            text = QStringLiteral("Arithmetic overflow error converting expression to data type %1.").arg(type);
            break;
        case 235:
            text = QStringLiteral("Cannot convert a char value to money. The char value has incorrect syntax.");
            break;
        case 8114:
            text = QStringLiteral("Error converting data type varchar to %1.").arg(type);
            break;
        case 8134:
            text = QStringLiteral("Divide by zero error encountered.");
            break;
        case 512:
            text = QStringLiteral("Subquery returned more than 1 value. This is not permitted when the subquery follows =, "
                                  "!=, <, <= , >, >= or when the subquery is used as an expression.");
            break;
        case 241:
            text = QStringLiteral("Conversion failed when converting date and/or time from character string.");
            break;
        case 242:
            text = QStringLiteral("The conversion of a varchar data type to a %1 data type resulted in an out-of-range value.")
                       .arg(type);
            break;
        default:
            text = value;
            break;
    }
    const QByteArray m = markedMessage(number, text).toUtf8();
    sqlite3_result_error(ctx, m.constData(), static_cast<int>(m.size()));
}

// tsql_dateerror(text, small): 0 when a date-time column takes the text, else the error it
// raises (241 no date-time, 242 a day that does not exist or out of the type's range).
static void dateErrorFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const QString text = valueText(argv[0]);
    if (parseDateTime(text).isValid()) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    QDateTime d;
    sqlite3_result_int(ctx, readDateTimeText(text, sqlite3_value_int(argv[1]) != 0, d));
}

void installSemantics(sqlite3* db) {
    sqlite3_create_collation_v2(db, "TSQL_TEXT", SQLITE_UTF8, nullptr, collationCallback, nullptr);
    sqlite3_create_function_v2(db, "getdate", 0, SQLITE_UTF8, nullptr, getdateFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "len", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, lenFunction, nullptr, nullptr,
                               nullptr);
    sqlite3_create_function_v2(db, "tsql_dateerror", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, dateErrorFunction,
                               nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "tsql_isdate", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, isdateFunction,
                               nullptr, nullptr, nullptr);
    // SQLite's own LIKE knows neither sets nor ranges and folds ASCII letters only.
    for (int args : {2, 3}) {
        sqlite3_create_function_v2(db, "like", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, likeFunction, nullptr,
                                   nullptr, nullptr);
    }
    sqlite3_create_function_v2(db, "tsql_raise", -1, SQLITE_UTF8, nullptr, raiseFunction, nullptr, nullptr, nullptr);
    installExpressionFunctions(db);
}

}  // namespace data::embedded
