#include "data/embedded/connection/sqlitedb.h"

#include "data/embedded/server/privatefiles.h"

namespace data::embedded {

namespace {

// SQLite counts every allocation under a process-wide lock unless told not to; the engine never
// asks for the counts. Only possible before the library's first use, and harmless after it.
void configureOnce() {
    static const bool done = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    (void)done;
}

}  // namespace

DbHandle openDatabaseFile(const QString& path, int flags, int busyMs, const ErrorContext& ctx) {
    configureOnce();
    // SQLite would make a new file readable by everyone (0644 less the umask).
    const bool onDisk = !path.isEmpty() && path != u":memory:" && !path.startsWith(u"file:");
    if ((flags & SQLITE_OPEN_CREATE) && !(flags & SQLITE_OPEN_MEMORY) && onDisk) createPrivateFile(path);
    sqlite3* raw = nullptr;
    const QByteArray p = path.toUtf8();
    const int rc = sqlite3_open_v2(p.constData(), &raw, flags, nullptr);
    DbHandle db(raw);
    if (rc != SQLITE_OK) {
        ErrorContext c = ctx;
        if (c.path.isEmpty()) c.path = path;
        throw mapSqliteError(raw, rc, c);
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, busyMs);
    return db;
}

Statement::Statement(sqlite3* db, const QString& sql, const ErrorContext& ctx) : db_(db), ctx_(ctx) {
    const QByteArray s = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db, s.constData(), static_cast<int>(s.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        DbError e = mapSqliteError(db, rc, ctx_);
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        throw e;
    }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::operator=(Statement&& o) noexcept {
    if (this != &o) {
        sqlite3_finalize(stmt_);
        db_ = o.db_;
        stmt_ = o.stmt_;
        ctx_ = std::move(o.ctx_);
        o.stmt_ = nullptr;
    }
    return *this;
}

void bindUtf8(sqlite3_stmt* stmt, int index, const QString& text) {
    const qsizetype n = text.size();
    // Not utf16(): for a literal's read-only text that copies the text to end it with a NUL.
    const auto* p = reinterpret_cast<const char16_t*>(text.constData());
    // A short text is copied by SQLite into its own small allocations, which are cheaper than
    // a buffer of the heap handed over.
    constexpr qsizetype kShort = 256;
    char local[kShort];
    char* buffer = n <= kShort ? local : static_cast<char*>(sqlite3_malloc64(static_cast<sqlite3_uint64>(n) + 1));
    if (buffer) {
        qsizetype i = 0;
        while (i < n && p[i] < 0x80) {
            buffer[i] = static_cast<char>(p[i]);
            ++i;
        }
        if (i == n) {
            if (buffer == local) {
                sqlite3_bind_text64(stmt, index, buffer, static_cast<sqlite3_uint64>(n), SQLITE_TRANSIENT, SQLITE_UTF8);
            } else {
                sqlite3_bind_text64(stmt, index, buffer, static_cast<sqlite3_uint64>(n), sqlite3_free, SQLITE_UTF8);
            }
            return;
        }
        if (buffer != local) sqlite3_free(buffer);
    }
    const QByteArray u = text.toUtf8();
    sqlite3_bind_text(stmt, index, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
}

void Statement::bind(int index, const QString& text) { bindUtf8(stmt_, index, text); }

void Statement::bind(int index, qint64 value) { sqlite3_bind_int64(stmt_, index, value); }

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    DbError e = mapSqliteError(db_, rc, ctx_);
    sqlite3_reset(stmt_);
    throw e;
}

QString columnText(sqlite3_stmt* stmt, int i) {
    const auto* p = static_cast<const char*>(static_cast<const void*>(sqlite3_column_text(stmt, i)));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt, i)) : QString();
}

QString Statement::text(int i) const { return columnText(stmt_, i); }

void exec(sqlite3* db, const QString& sql, const ErrorContext& ctx) {
    char* err = nullptr;
    const QByteArray s = sql.toUtf8();
    const int rc = sqlite3_exec(db, s.constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString m = err ? QString::fromUtf8(err) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(err);
        throw mapSqliteMessage(sqlite3_extended_errcode(db), m, ctx);
    }
}

}  // namespace data::embedded
