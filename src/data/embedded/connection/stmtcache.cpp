#include "data/embedded/connection/stmtcache.h"

#include <algorithm>
#include <cstring>

#include "data/embedded/connection/sqlitedb.h"
#include "data/embedded/translate/namedreads.h"

namespace data::embedded {

namespace {

// What the authorizer is told while a statement of the cache is being prepared.
struct Collecting {
    QStringList* databases;
    ObjectUses* uses;
};
thread_local Collecting* collecting = nullptr;

void noteUse(const char* database, const char* object, quint8 action) {
    const QString db = QString::fromUtf8(database).toLower();
    const QString name = object ? QString::fromUtf8(object) : QString();
    for (auto& u : *collecting->uses) {
        if (u.database == db && u.object.compare(name, Qt::CaseInsensitive) == 0) {
            u.actions |= action;
            return;
        }
    }
    collecting->uses->push_back(ObjectUse{db, name, action});
}

int noteDatabase(void*, int code, const char* a1, const char*, const char* database, const char* inner) {
    if (!collecting || !database) return SQLITE_OK;
    const bool temp = std::strcmp(database, "temp") == 0;
    if (std::strcmp(database, "main") != 0 && !temp) {
        const QString name = QString::fromUtf8(database).toLower();
        if (!collecting->databases->contains(name)) collecting->databases->push_back(name);
    }
    if (temp) return SQLITE_OK;
    // What a trigger does is the trigger owner's business (the engine's own write checks are
    // triggers too). What a view reads is covered by the right to read the view, which has the
    // same owner (dbo), as SQL Server's ownership chain has it; the view itself, like every
    // object a FROM clause names, is found in the text (namedReads). Inside a view or a
    // subquery SQLite names the view or the subquery's alias, so such reads are left to it.
    switch (code) {
        case SQLITE_READ:
            if (!inner && a1) noteUse(database, a1, ObjectUse::Select);
            break;
        case SQLITE_INSERT:
            if (!inner) noteUse(database, a1, ObjectUse::Insert);
            break;
        case SQLITE_UPDATE:
            if (!inner) noteUse(database, a1, ObjectUse::Update);
            break;
        case SQLITE_DELETE:
            if (!inner) noteUse(database, a1, ObjectUse::Delete);
            break;
        case SQLITE_CREATE_TABLE:
        case SQLITE_CREATE_INDEX:
        case SQLITE_CREATE_VIEW:
        case SQLITE_CREATE_TRIGGER:
        case SQLITE_DROP_TABLE:
        case SQLITE_DROP_INDEX:
        case SQLITE_DROP_VIEW:
        case SQLITE_DROP_TRIGGER:
        case SQLITE_ALTER_TABLE:
            noteUse(database, nullptr, ObjectUse::Schema);
            break;
        default:
            break;
    }
    return SQLITE_OK;
}

sqlite3_stmt* prepare(sqlite3* db, const QString& sql, const ErrorContext& ctx, QStringList& databases, ObjectUses& uses) {
    const QByteArray s = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    databases.clear();
    uses.clear();
    Collecting into{&databases, &uses};
    collecting = &into;
    const int rc = sqlite3_prepare_v3(db, s.constData(), static_cast<int>(s.size()), SQLITE_PREPARE_PERSISTENT, &stmt,
                                      nullptr);
    collecting = nullptr;
    if (rc != SQLITE_OK) {
        DbError e = mapSqliteError(db, rc, ctx);
        sqlite3_finalize(stmt);
        throw e;
    }
    return stmt;
}

}  // namespace

const ObjectUses& StatementCache::Lease::uses() const {
    ObjectUses& u = entry_ ? entry_->uses : uses_;
    bool& named = entry_ ? entry_->named : named_;
    if (!named && stmt_) {
        named = true;
        for (const NamedObject& o : namedReads(entry_ ? entry_->sql : sql_)) {
            auto same = std::find_if(u.begin(), u.end(), [&](const ObjectUse& x) {
                return x.database == o.database && x.object.compare(o.object, Qt::CaseInsensitive) == 0;
            });
            if (same != u.end()) {
                same->actions |= ObjectUse::Select;
            } else {
                u.push_back(ObjectUse{o.database, o.object, ObjectUse::Select});
            }
        }
    }
    return u;
}

void StatementCache::watchDatabases(sqlite3* db) { sqlite3_set_authorizer(db, noteDatabase, nullptr); }

StatementCache::Lease& StatementCache::Lease::operator=(Lease&& o) noexcept {
    if (this != &o) {
        release();
        db_ = o.db_;
        stmt_ = o.stmt_;
        entry_ = o.entry_;
        databases_ = std::move(o.databases_);
        uses_ = std::move(o.uses_);
        named_ = o.named_;
        sql_ = std::move(o.sql_);
        ctx_ = std::move(o.ctx_);
        o.stmt_ = nullptr;
        o.entry_ = nullptr;
    }
    return *this;
}

void StatementCache::Lease::release() {
    if (!stmt_) return;
    if (entry_ && entry_->orphan) {
        sqlite3_finalize(stmt_);
        entry_->stmt = nullptr;
        entry_->busy = false;
    } else if (entry_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        entry_->busy = false;
    } else {
        sqlite3_finalize(stmt_);
    }
    stmt_ = nullptr;
    entry_ = nullptr;
}

bool StatementCache::Lease::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    DbError e = mapSqliteError(db_, rc, ctx_);
    sqlite3_reset(stmt_);
    throw e;
}

void StatementCache::Lease::bind(int index, const QString& text) { bindUtf8(stmt_, index, text); }

void StatementCache::Lease::bind(int index, qint64 value) { sqlite3_bind_int64(stmt_, index, value); }

StatementCache::Lease StatementCache::acquire(sqlite3* db, const QString& sql, const ErrorContext& ctx) {
    Lease lease;
    lease.db_ = db;
    lease.ctx_ = ctx;
    std::list<Entry>::iterator it = entries_.end();
    if (auto same = byCharacters_.constFind(sql.constData());
        same != byCharacters_.cend() && (*same)->sql.size() == sql.size()) {
        it = *same;
    } else if (auto found = index_.constFind(sql); found != index_.cend()) {
        it = *found;
    }
    if (it != entries_.end()) {
        if (!it->busy && sqlite3_db_handle(it->stmt) == db) {
            entries_.splice(entries_.begin(), entries_, it);
            it->busy = true;
            lease.stmt_ = it->stmt;
            lease.entry_ = &*it;
            return lease;
        }
        // Lent out already: this user gets a statement of its own.
        lease.stmt_ = prepare(db, sql, ctx, lease.databases_, lease.uses_);
        lease.sql_ = sql;
        return lease;
    }
    QStringList databases;
    ObjectUses uses;
    sqlite3_stmt* stmt = prepare(db, sql, ctx, databases, uses);
    while (entries_.size() >= capacity_) {
        // The least recently used statement that nobody holds makes room.
        auto victim = entries_.end();
        for (auto it = entries_.end(); it != entries_.begin();) {
            --it;
            if (!it->busy) {
                victim = it;
                break;
            }
        }
        if (victim == entries_.end()) break;
        index_.remove(victim->sql);
        byCharacters_.remove(victim->sql.constData());
        sqlite3_finalize(victim->stmt);
        entries_.erase(victim);
    }
    entries_.push_front(Entry{sql, stmt, true, false, nullptr, std::move(databases), std::move(uses), false});
    index_.insert(sql, entries_.begin());
    byCharacters_.insert(entries_.front().sql.constData(), entries_.begin());
    lease.stmt_ = stmt;
    lease.entry_ = &entries_.front();
    return lease;
}

StatementCache::Lease StatementCache::own(sqlite3* db, const QString& sql, const ErrorContext& ctx) {
    Lease lease;
    lease.db_ = db;
    lease.ctx_ = ctx;
    lease.stmt_ = prepare(db, sql, ctx, lease.databases_, lease.uses_);
    lease.sql_ = sql;
    return lease;
}

void StatementCache::clear() {
    index_.clear();
    byCharacters_.clear();
    for (auto it = entries_.begin(); it != entries_.end();) {
        auto next = std::next(it);
        if (it->busy) {
            // Still lent out: the lease finalizes it when it comes back.
            it->orphan = true;
            orphans_.splice(orphans_.end(), entries_, it);
        } else {
            sqlite3_finalize(it->stmt);
            entries_.erase(it);
        }
        it = next;
    }
    orphans_.remove_if([](const Entry& e) { return !e.busy; });
}

}  // namespace data::embedded
