#include "data/embedded/connection/core.h"

#include "data/embedded/server/admin.h"
#include "data/embedded/translate/columnrules.h"
#include "data/embedded/translate/semantics.h"

namespace data::embedded {

namespace {

constexpr long kNoLimitSeconds = 600;  // what "no time-out" waits for a lock at most
constexpr int kMaxAttached = 9;

// Every database the engine opens keeps a write-ahead log, so a commit costs one append
// instead of a rewritten journal, and readers on other connections never block the writer.
// NORMAL syncs the log at checkpoints only: a commit survives the process being killed (the
// log is in the file system), and a power loss may lose the last commits but never corrupts
// the database. A read-only file, or one that another connection holds in another mode,
// keeps its mode.
void useWriteAheadLog(sqlite3* db, const QString& schema) {
    const QByteArray s = schemaRef(schema).toUtf8();
    sqlite3_exec(db, ("PRAGMA " + s + ".journal_mode = WAL").constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, ("PRAGMA " + s + ".synchronous = NORMAL").constData(), nullptr, nullptr, nullptr);
    // A connection's own database keeps up to 16 MB of its pages: a run looks rows up by key
    // all over its tables, and SQLite's 2 MB let most look-ups read their pages again from the
    // file. Attached databases keep the default, their pages being dropped whenever another
    // connection writes them.
    if (schema == QLatin1String("main")) {
        sqlite3_exec(db, "PRAGMA main.cache_size = -16384", nullptr, nullptr, nullptr);
    }
}

// SQLite's Bloom filters (3.38 and later) hash a text by its length: two texts that the
// engine's collation holds equal but that differ in length ('abc' and 'ABC ', a date and the
// same date with its time) then never meet, and a join silently loses rows. The bits are
// SQLite's own optimisation flags (SQLITE_BloomFilter, SQLITE_BloomPulldown); the call sets
// the connection's whole set of disabled optimisations.
constexpr unsigned kCollationUnsafeOptimisations = 0x00080000u | 0x00100000u;

// Indexes kept in the collation TSQL_TEXT are in its order, which once sorted accented letters
// after 'z'. A file whose indexes may be in an older order has them rebuilt once, when it is
// first opened: the order's version is kept in the upper half of the file's user_version (the
// server catalogue uses the lower half). A file that cannot be written now is looked at again
// next time.
constexpr qint64 kCollationOrder = 1;

void followCollationOrder(sqlite3* db, const QString& schema, const ErrorContext& ctx) {
    const QString s = schemaRef(schema);
    try {
        qint64 version = 0;
        {
            Statement v(db, QStringLiteral("PRAGMA ") + s + QStringLiteral(".user_version"), ctx);
            v.step();
            version = v.int64(0);
        }
        if ((version >> 16) >= kCollationOrder) return;
        QStringList indexes;
        {
            Statement q(db,
                        QStringLiteral("SELECT name FROM ") + s +
                            QStringLiteral(".sqlite_master WHERE type = 'index' AND sql LIKE '%TSQL_TEXT%'"),
                        ctx);
            while (q.step()) indexes << q.text(0);
        }
        exec(db, QStringLiteral("SAVEPOINT tsql_order"), ctx);
        try {
            for (const QString& index : indexes) exec(db, QStringLiteral("REINDEX ") + s + u'.' + quoteName(index), ctx);
            exec(db, QStringLiteral("PRAGMA %1.user_version = %2").arg(s).arg((kCollationOrder << 16) | (version & 0xffff)), ctx);
            exec(db, QStringLiteral("RELEASE tsql_order"), ctx);
        } catch (const DbError&) {
            exec(db, QStringLiteral("ROLLBACK TO tsql_order; RELEASE tsql_order"), ctx);
            throw;
        }
    } catch (const DbError&) {
        // Read only, or held by another connection: the old order stays until a later opening.
    }
}

int progressHandler(void* p) {
    auto* clock = static_cast<std::pair<const QElapsedTimer*, const long*>*>(p);
    const long limit = *clock->second;
    return (limit > 0 && clock->first->isValid() && clock->first->elapsed() > limit * 1000) ? 1 : 0;
}

}  // namespace

QString schemaRef(const QString& schema) {
    return schema.compare(QLatin1String("main"), Qt::CaseInsensitive) == 0 ? QStringLiteral("main") : quoteName(schema);
}

Core::Core(ServerFolder server, Login login, long connectionTimeout, long commandTimeout)
    : server_(std::move(server)), login_(std::move(login)), connectionTimeout_(connectionTimeout),
      commandTimeout_(commandTimeout), admin_(makeAdminState(*this)) {}

int Core::busyMs() const {
    const long s = commandTimeout_ > 0 ? commandTimeout_ : kNoLimitSeconds;
    return static_cast<int>(std::min<long>(s, 24L * 3600) * 1000);
}

void Core::setCommandTimeout(long seconds) { commandTimeout_ = seconds; }

int Core::onBusy(void* core, int count) { return static_cast<Core*>(core)->waitForLock(count); }

int Core::waitForLock(int count) {
    // SQLite's own steps for a busy time-out.
    static constexpr int delays[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    if (count == 0) lockClock_.start();
    const qint64 waited = lockClock_.elapsed();
    const int limit = busyMs();
    if (waited >= limit) {
        lockGaveUp_ = true;
        return 0;
    }
    if (inTransaction() && admin_->deadlocked(lockSchema_, QString())) {
        deadlockVictim_ = true;
        return 0;
    }
    const int delay = delays[std::min<size_t>(static_cast<size_t>(count), std::size(delays) - 1)];
    sqlite3_sleep(static_cast<int>(std::min<qint64>(delay, limit - waited)));
    return 1;
}

void Core::startClock() { clock_.start(); }

void Core::openDatabase(const QString& requested, bool atLogin) {
    const QString name = requested.isEmpty() ? QStringLiteral("master") : requested;
    const QString file = server_.databaseFile(name);
    if (file.isEmpty()) {
        if (atLogin) raiseServerError(4060, msg::cannotOpenDatabase(name));
        raiseServerError(911, msg::databaseMissing(name));
    }
    const ErrorContext ctx{name, file};
    const long openSeconds = connectionTimeout_ > 0 ? connectionTimeout_ : kNoLimitSeconds;
    // Options (offline, single user, read only) and the login's access are checked there.
    DbHandle h = admin_->open(name, file, atLogin, static_cast<int>(std::min<long>(openSeconds, 86400) * 1000), ctx);
    statements_.clear();  // they belong to the handle that is replaced now
    streams_.cutOff();
    transactionMayHaveChanged();
    db_ = std::move(h);
    database_ = server_.canonicalName(name);
    if (database_.isEmpty()) database_ = name;
    path_ = file;
    attached_.clear();
    translationCache_.clear();
    shapeCache_.clear();
    recentShapes_ = {};
    schemaChanged();
    checks_.clear();
    schemaVersions_.clear();
    installConnection();
    admin_->entered();
}

void Core::installConnection() {
    sqlite3* db = db_.get();
    installSemantics(db);
    installColumnRules(db);
    sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db, kCollationUnsafeOptimisations);
    StatementCache::watchDatabases(db);
    sqlite3_busy_handler(db, onBusy, this);
    sqlite3_exec(db, "PRAGMA recursive_triggers = OFF", nullptr, nullptr, nullptr);
    useWriteAheadLog(db, QStringLiteral("main"));
    followCollationOrder(db, QStringLiteral("main"), context());
    progressClock_ = {&clock_, &commandTimeout_};
    sqlite3_progress_handler(db, 10000, progressHandler, &progressClock_);
    // The triggers of ensureChecks are made inside whatever transaction is open; a rollback
    // takes them back with it, so what was verified before has to be looked at again.
    sqlite3_rollback_hook(
        db,
        [](void* core) {
            ++static_cast<Core*>(core)->rollbacks_;
            static_cast<Core*>(core)->transactionMayHaveChanged();
        },
        this);
    sqlite3_commit_hook(
        db,
        [](void* core) {
            static_cast<Core*>(core)->transactionMayHaveChanged();
            return 0;
        },
        this);
}

void Core::attach(const QStringList& databases) {
    for (const QString& name : databases) {
        bool present = false;
        for (qsizetype i = 0; i < attached_.size(); ++i) {
            if (attached_[i].compare(name, Qt::CaseInsensitive) == 0) {
                attached_.move(i, attached_.size() - 1);
                present = true;
                break;
            }
        }
        if (present) continue;
        const QString file = server_.databaseFile(name);
        if (file.isEmpty()) raiseServerError(911, msg::databaseMissing(name));
        while (attached_.size() >= kMaxAttached) {
            qsizetype victim = -1;
            for (qsizetype i = 0; i < attached_.size() && victim < 0; ++i) {
                if (!databases.contains(attached_[i], Qt::CaseInsensitive)) victim = i;
            }
            if (victim < 0) break;
            exec(db(), QStringLiteral("DETACH DATABASE ") + quoteName(attached_[victim]), context());
            attached_.removeAt(victim);
            transactionMayHaveChanged();
        }
        Statement st(db(), QStringLiteral("ATTACH DATABASE ? AS ") + quoteName(name), ErrorContext{name, file});
        st.bind(1, admin_->attachTarget(name, file));
        st.step();
        attached_.push_back(name);
        transactionMayHaveChanged();
        useWriteAheadLog(db(), name);
        followCollationOrder(db(), name, ErrorContext{name, file});
    }
}

void Core::detach(const QString& name) {
    for (qsizetype i = 0; i < attached_.size(); ++i) {
        if (attached_[i].compare(name, Qt::CaseInsensitive) != 0) continue;
        exec(db(), QStringLiteral("DETACH DATABASE ") + quoteName(attached_[i]), context());
        attached_.removeAt(i);
        transactionMayHaveChanged();
        return;
    }
}

void Core::detachAll() {
    while (!attached_.isEmpty()) detach(attached_.back());
}

QString Core::storedTableName(const QString& schema, const QString& name) {
    auto q = prepared(QStringLiteral("SELECT name FROM ") + schemaRef(schema) +
                      QStringLiteral(".sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
    q.bind(1, name);
    return q.step() ? columnText(q.get(), 0) : QString();
}

const TableDefinition* Core::table(const QString& schema, const QString& name) {
    const QString key = schema.toLower() + u'\x1f' + name.toLower();
    auto it = tables_.find(key);
    if (it != tables_.end()) return &it->def;
    Statement q(db(),
                QStringLiteral("SELECT sql FROM ") + schemaRef(schema) +
                    QStringLiteral(".sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"),
                context());
    q.bind(1, name);
    if (!q.step()) return nullptr;
    CachedTable ct{q.text(0), TableDefinition::parse(q.text(0))};
    if (!ct.def.ok) return nullptr;
    it = tables_.insert(key, std::move(ct));
    return &it->def;
}

void Core::schemaChanged() {
    mainSeen_.valid = false;
    tables_.clear();
    // A kept statement learns of the change only when it next steps: until then it would
    // describe the columns it had (a "select *" read after an added column missed it).
    statements_.clear();
    ++generation_;
}

bool Core::resolvesTo(const QString& schema, const QString& table) {
    // Unqualified names look in temp, main, then the attached databases in attachment order.
    Statement list(db(), QStringLiteral("PRAGMA database_list"), context());
    QStringList order;
    while (list.step()) order.push_back(list.text(1));
    for (const QString& s : order) {
        Statement q(db(),
                    QStringLiteral("SELECT count(*) FROM ") + quoteName(s) +
                        QStringLiteral(".sqlite_master WHERE type IN ('table', 'view') AND name = ? COLLATE NOCASE"),
                    context());
        q.bind(1, table);
        q.step();
        if (q.int64(0) > 0) return s.compare(schema, Qt::CaseInsensitive) == 0;
    }
    return false;
}

}  // namespace data::embedded
