// The embedded engine's collation and functions for another program's SQLite, so that the
// sqlite3 tool can write the tables that the engine has indexed:
//
//     sqlite3 -cmd '.load build/velmora_sqlite' server/Velmora.db
//
// What a database file keeps may name them: the engine makes its indexes in TSQL_TEXT, and keeps
// column defaults, checks and views as they were written, so getdate() and len() may appear
// there. The engine's other functions live only on its own connections: tsql_raise and
// tsql_isdate in its temporary triggers, tsql_put and tsql_spid in the statements it sends,
// object_id and object_name answer from its catalogue.
//
// Every SQLite call goes through the loading program's routine table (sqlite3ext.h); the order
// itself is the engine's own code (textrules.cpp), so an index either side writes is valid for
// the other.

#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "data/embedded/translate/textrules.h"

namespace {

int collation(void*, int na, const void* a, int nb, const void* b) {
    return data::embedded::compareText(static_cast<const char*>(a), na, static_cast<const char*>(b), nb);
}

void getdateFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    const QByteArray s = data::embedded::formatDateTime(QDateTime::currentDateTime()).toUtf8();
    sqlite3_result_text(ctx, s.constData(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void lenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* p = static_cast<const char*>(static_cast<const void*>(sqlite3_value_text(argv[0])));
    const QString s = p ? QString::fromUtf8(p, sqlite3_value_bytes(argv[0])) : QString();
    sqlite3_result_int64(ctx, data::embedded::lengthWithoutTrailingBlanks(s));
}

}  // namespace

// The name SQLite derives from the file's (velmora_sqlite: its letters), so that .load needs
// no entry point.
extern "C" __attribute__((visibility("default"))) int sqlite3_velmorasqlite_init(sqlite3* db, char** errorMessage,
                                                                                 const sqlite3_api_routines* api) {
    SQLITE_EXTENSION_INIT2(api);
    int rc = sqlite3_create_collation_v2(db, "TSQL_TEXT", SQLITE_UTF8, nullptr, collation, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_create_function_v2(db, "getdate", 0, SQLITE_UTF8, nullptr, getdateFunction, nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_create_function_v2(db, "len", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, lenFunction, nullptr,
                                        nullptr, nullptr);
    }
    if (rc != SQLITE_OK && errorMessage) *errorMessage = sqlite3_mprintf("velmora_sqlite: %s", sqlite3_errstr(rc));
    return rc;
}
