#include "data/embedded/semantics.h"

#include <QString>
#include <cstring>

#include "data/embedded/errors.h"
#include "data/embedded/likematch.h"
#include "data/embedded/sqltype.h"
#include "platform/clock.h"

namespace data::embedded {

namespace {

bool digitsAt(const char* s, int from, int count, int n) {
    if (from + count > n) return false;
    for (int i = from; i < from + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    return true;
}

// Writes the 23-character form "yyyy-mm-dd hh:mm:ss.fff" of a date-time text into out; false
// when the text is not one. Without out, only whether it is one.
bool normalDateTime(const char* s, int n, char out[23]) {
    if (n < 10 || !digitsAt(s, 0, 4, n) || s[4] != '-' || !digitsAt(s, 5, 2, n) || s[7] != '-' || !digitsAt(s, 8, 2, n)) {
        return false;
    }
    if (!out) {
        char scratch[23];
        return normalDateTime(s, n, scratch);
    }
    std::memcpy(out, "0000-00-00 00:00:00.000", 23);
    std::memcpy(out, s, 10);
    if (n == 10) return true;
    if ((s[10] != ' ' && s[10] != 'T') || n < 16 || !digitsAt(s, 11, 2, n) || s[13] != ':' || !digitsAt(s, 14, 2, n)) {
        return false;
    }
    std::memcpy(out + 11, s + 11, 5);
    if (n == 16) return true;
    if (s[16] != ':' || n < 19 || !digitsAt(s, 17, 2, n)) return false;
    std::memcpy(out + 17, s + 17, 2);
    if (n == 19) return true;
    if (s[19] != '.' || n < 21) return false;
    for (int i = 20; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        if (i < 23) out[i] = s[i];
    }
    return true;
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int collationCallback(void*, int na, const void* a, int nb, const void* b) {
    return compareText(static_cast<const char*>(a), na, static_cast<const char*>(b), nb);
}

QString argText(sqlite3_value* v) {
    const auto* p = static_cast<const char*>(static_cast<const void*>(sqlite3_value_text(v)));
    return p ? QString::fromUtf8(p, sqlite3_value_bytes(v)) : QString();
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
    QString s = argText(argv[0]);
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ') --n;
    sqlite3_result_int64(ctx, n);
}

void isdateFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    sqlite3_result_int(ctx, parseDateTime(argText(argv[0])).isValid() ? 1 : 0);
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
        const QString e = argText(argv[2]);
        if (e.size() != 1) {
            raiseInFunction(ctx, 506, QStringLiteral("The invalid escape character \"%1\" was specified in a LIKE predicate.").arg(e),
                            QString());
            return;
        }
        escape = e.at(0);
    }
    sqlite3_result_int(ctx, likeMatches(argText(argv[1]), argText(argv[0]), escape) ? 1 : 0);
}

void raiseFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    raiseInFunction(ctx, static_cast<long>(sqlite3_value_int64(argv[0])), argc > 1 ? argText(argv[1]) : QString(),
                    argc > 2 ? argText(argv[2]) : QString());
}

}  // namespace

void raiseInFunction(sqlite3_context* ctx, long number, const QString& value, const QString& type) {
    QString text;
    switch (number) {
        case 8152:
            text = msg::truncated();
            break;
        case 220:
            text = QStringLiteral("Arithmetic overflow error for data type %1, value = %2.").arg(type, value);
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
        case 241:
            text = QStringLiteral("Conversion failed when converting date and/or time from character string.");
            break;
        default:
            text = value;
            break;
    }
    const QByteArray m = markedMessage(number, text).toUtf8();
    sqlite3_result_error(ctx, m.constData(), static_cast<int>(m.size()));
}

int compareText(const char* a, int na, const char* b, int nb) {
    while (na > 0 && a[na - 1] == ' ') --na;
    while (nb > 0 && b[nb - 1] == ' ') --nb;
    // Sorts meet the same text over and over (every line of a day has its date): equal texts
    // have equal keys whatever they hold.
    if (na == nb && std::memcmp(a, b, static_cast<size_t>(na)) == 0) return 0;
    // Two dates of the same written length differ where their texts differ (the normal forms
    // add the same zeros to both), and digits and '-' know no case.
    if (na == 10 && nb == 10 && normalDateTime(a, na, nullptr) && normalDateTime(b, nb, nullptr)) {
        const int c = std::memcmp(a, b, 10);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    // A date-time text takes part by its normal form, also against a text that is not one:
    // every text then has one key and the order is total, as an index kept in this collation
    // needs (comparing the forms only when both sides were date-times made "2017-01-05" equal
    // to "2017-01-05 00:00" and yet ordered differently against "2017-01-05 00").
    char da[23];
    char db[23];
    if (na >= 10 && normalDateTime(a, na, da)) {
        a = da;
        na = 23;
    }
    if (nb >= 10 && normalDateTime(b, nb, db)) {
        b = db;
        nb = 23;
    }
    const int n = na < nb ? na : nb;
    for (int i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 0x80 || cb >= 0x80) {
            // Beyond ASCII: Unicode case folding over the rest of both texts (the part before
            // is equal either way).
            const QString sa = QString::fromUtf8(a + i, na - i);
            const QString sb = QString::fromUtf8(b + i, nb - i);
            return sign(sa.compare(sb, Qt::CaseInsensitive));
        }
        const char fa = foldAscii(static_cast<char>(ca));
        const char fb = foldAscii(static_cast<char>(cb));
        if (fa != fb) return fa < fb ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

void installSemantics(sqlite3* db) {
    sqlite3_create_collation_v2(db, "TSQL_TEXT", SQLITE_UTF8, nullptr, collationCallback, nullptr);
    sqlite3_create_function_v2(db, "getdate", 0, SQLITE_UTF8, nullptr, getdateFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "len", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, lenFunction, nullptr, nullptr,
                               nullptr);
    sqlite3_create_function_v2(db, "tsql_isdate", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, isdateFunction,
                               nullptr, nullptr, nullptr);
    // SQLite's own LIKE knows neither sets nor ranges and folds ASCII letters only.
    for (int args : {2, 3}) {
        sqlite3_create_function_v2(db, "like", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, likeFunction, nullptr,
                                   nullptr, nullptr);
    }
    sqlite3_create_function_v2(db, "tsql_raise", -1, SQLITE_UTF8, nullptr, raiseFunction, nullptr, nullptr, nullptr);
}

}  // namespace data::embedded
