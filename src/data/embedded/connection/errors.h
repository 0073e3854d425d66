#pragma once
// The embedded engine's failures as SQL Server reports them: its error numbers, texts and
// SQL states. SQLite's own failures are mapped onto the nearest SQL Server error; the checks
// that the engine adds to the SQL (triggers, functions) report through a marked message that
// mapSqliteError() turns back into the number and text they carry.

#include <QString>
#include <sqlite3.h>

#include "data/dberror.h"

namespace data::embedded {

// A SQL Server error with its usual SQL state.
DbError serverError(long number, const QString& text);
[[noreturn]] void raiseServerError(long number, const QString& text);

// The message a function inside a statement sets to report a SQL Server error.
QString markedMessage(long number, const QString& text);

struct ErrorContext {
    QString database;  // the connection's database, for messages that name it
    QString path;      // the file concerned, for file errors
};

// Maps a failed SQLite call (rc and the handle's message) to a DbError.
DbError mapSqliteError(sqlite3* db, int rc, const ErrorContext& ctx);
DbError mapSqliteMessage(int rc, const QString& message, const ErrorContext& ctx);

namespace msg {
QString invalidObject(const QString& name);              // 208
QString invalidColumn(const QString& name);              // 207
QString objectExists(const QString& name);               // 2714
QString duplicateColumn(const QString& column, const QString& table);  // 2705
QString truncated();                                     // 8152
QString loginFailed(const QString& login);               // 18456
QString cannotOpenDatabase(const QString& database);     // 4060
QString databaseExists(const QString& database);         // 1801
QString databaseMissing(const QString& database);        // 911
QString syntaxNear(const QString& near);                 // 102
QString lockTimeout();                                   // 1222
QString smallintOverflow(const QString& value);          // 220
}  // namespace msg

}  // namespace data::embedded
