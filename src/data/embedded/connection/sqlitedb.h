#pragma once
// Small owning wrappers over SQLite handles, raising the engine's DbError on failure.

#include <QString>
#include <memory>
#include <sqlite3.h>

#include "data/embedded/connection/errors.h"

namespace data::embedded {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

// Binds a text as UTF-8. Text of ASCII characters (nearly every value) is written straight
// into UTF-8 without Qt's conversion: a short one on the stack for SQLite to copy, a long one
// into a buffer that SQLite takes over.
void bindUtf8(sqlite3_stmt* stmt, int index, const QString& text);
// Column i of the statement's current row as text; a null QString for Null.
QString columnText(sqlite3_stmt* stmt, int i);

// Opens a database file. flags: SQLITE_OPEN_READWRITE, maybe | SQLITE_OPEN_CREATE; a file it
// creates is its owner's only (privatefiles.h).
DbHandle openDatabaseFile(const QString& path, int flags, int busyMs, const ErrorContext& ctx);

class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, const QString& sql, const ErrorContext& ctx);
    ~Statement();
    Statement(Statement&& o) noexcept : db_(o.db_), stmt_(o.stmt_), ctx_(std::move(o.ctx_)) { o.stmt_ = nullptr; }
    Statement& operator=(Statement&& o) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return stmt_; }
    void bind(int index, const QString& text);
    void bind(int index, qint64 value);
    // Steps once: true with a row, false when done. Raises on failure.
    bool step();
    int columnCount() const { return sqlite3_column_count(stmt_); }
    QString text(int i) const;
    qint64 int64(int i) const { return sqlite3_column_int64(stmt_, i); }
    bool isNull(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
    ErrorContext ctx_;
};

// Runs statements without results. Raises on failure.
void exec(sqlite3* db, const QString& sql, const ErrorContext& ctx);

}  // namespace data::embedded
