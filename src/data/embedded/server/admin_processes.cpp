// The connections of every program using a server folder: the registry behind SysProcesses,
// sp_who, sp_lock and Kill, and the checks a connection passes when it opens a database.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSysInfo>
#include <QUrl>
#include <chrono>
#include <thread>
#include <QUuid>
#include <csignal>
#include <mutex>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "data/embedded/server/permissions.h"
#include "data/embedded/server/admin_common.h"
#include "data/embedded/server/serversignals.h"
#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/translator.h"
#include "platform/clock.h"

namespace data::embedded {

using namespace admin;

namespace {

// Runs a registry statement whose one parameter is a connection's token.
void forToken(sqlite3* r, const char* sql, const QString& token) {
    Statement st(r, QString::fromLatin1(sql), ErrorContext{});
    st.bind(1, token);
    st.step();
}

// Every row a connection has in the process list.
constexpr const char* kTokenRows[] = {"DELETE FROM connections WHERE token = ?", "DELETE FROM locks WHERE token = ?",
                                      "DELETE FROM holds WHERE token = ?", "DELETE FROM writers WHERE token = ?",
                                      "DELETE FROM waits WHERE token = ?"};

constexpr int kRegistryBusyMs = 10000;
constexpr int kFirstSpid = 51;
constexpr int kLastSpid = 32767;

// The connections of this program, by registry token, for the liveness test of the rows
// this very process wrote and for releasing a killed connection's locks at once.
std::mutex& liveMutex() {
    static std::mutex m;
    return m;
}
QHash<QString, AdminState*>& liveStates() {
    static QHash<QString, AdminState*> states;
    return states;
}

// The start time of a process (field 22 of /proc/<pid>/stat): with the process id it names a
// process, even after the id was reused. Empty when the process does not exist.
QString processStart(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray line = f.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0) return {};
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

bool procAvailable() {
    static const bool available = QFileInfo::exists(QStringLiteral("/proc/self/stat"));
    return available;
}

bool processAlive(qint64 pid, const QString& started) {
    if (pid <= 0) return false;
    if (procAvailable()) return !started.isEmpty() && processStart(pid) == started;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

const QString& selfStart() {
    static const QString s = processStart(::getpid());
    return s;
}

const QString& hostName() {
    static const QString h = QSysInfo::machineHostName();
    return h;
}

// Every connection of the engine reaches the server folder like a network client: a fixed
// address per machine, so the network test of SysProcesses counts it.
QString netAddress() {
    const QByteArray digest = QCryptographicHash::hash(hostName().toUtf8(), QCryptographicHash::Sha1);
    return QString::fromLatin1(digest.toHex().left(12)).toUpper();
}

QString programName() {
    if (QCoreApplication::instance()) {
        const QString n = QCoreApplication::applicationName();
        if (!n.isEmpty()) return n;
    }
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName();
}

QString padded(const QString& s, int width) { return s.size() >= width ? s : s + QString(width - s.size(), u' '); }

DbError killedError() {
    return DbError(10054, QStringLiteral("General network error. Check your network documentation."), QStringLiteral("08S01"));
}

void spidFunction(sqlite3_context* ctx, int, sqlite3_value**) {
    const auto* state = static_cast<const AdminState*>(sqlite3_user_data(ctx));
    sqlite3_result_int(ctx, state->spid());
}

QString plainObjectName(QString name) {
    name = name.trimmed();
    // [db].[owner].[name], owner.name: the last part names the object.
    const auto tokens = tokenize(name);
    QString last;
    for (const auto& t : tokens) {
        if (t.isName()) last = t.value();
    }
    return last.isEmpty() ? name : last;
}

QStringList objectNames(sqlite3* db) {
    QStringList names;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM main.sqlite_master WHERE type IN ('table', 'view')", -1, &st, nullptr) ==
        SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) names.push_back(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
    }
    sqlite3_finalize(st);
    st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM main.tsql_procedures", -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) names.push_back(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
    }
    sqlite3_finalize(st);
    return names;
}

void objectNameFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const qint64 id = sqlite3_value_int64(argv[0]);
    for (const QString& n : objectNames(sqlite3_context_db_handle(ctx))) {
        if (objectId(n) == id) {
            const QByteArray u = n.toUtf8();
            sqlite3_result_text(ctx, u.constData(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
            return;
        }
    }
    sqlite3_result_null(ctx);
}

void objectIdFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const QString wanted =
        plainObjectName(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])), sqlite3_value_bytes(argv[0])));
    for (const QString& n : objectNames(sqlite3_context_db_handle(ctx))) {
        if (sameName(n, wanted)) {
            sqlite3_result_int64(ctx, objectId(n));
            return;
        }
    }
    sqlite3_result_null(ctx);
}

}  // namespace

void releaseKilled(const QString& token) {
    std::lock_guard<std::mutex> lock(liveMutex());
    AdminState* s = liveStates().value(token, nullptr);
    if (!s || s->thread_ != std::this_thread::get_id()) return;
    s->dead_ = true;
    s->releaseNow();
}

const QStringList& serverRoles() {
    static const QStringList roles{QStringLiteral("sysadmin"),     QStringLiteral("securityadmin"), QStringLiteral("serveradmin"),
                                   QStringLiteral("setupadmin"),   QStringLiteral("processadmin"),  QStringLiteral("diskadmin"),
                                   QStringLiteral("dbcreator"),    QStringLiteral("bulkadmin")};
    return roles;
}

std::shared_ptr<AdminState> makeAdminState(Core& core) { return std::make_shared<AdminState>(core); }

AdminState::AdminState(Core& core)
    : core_(core), thread_(std::this_thread::get_id()), rights_(std::make_unique<Rights>(core)) {}

AdminState::~AdminState() {
    try {
        transactionEnded();
    } catch (...) {
    }
    try {
        unregisterSelf();
    } catch (...) {
    }
}

sqlite3* AdminState::registry() {
    if (registry_) return registry_.get();
    if (registryBroken_) raiseServerError(50000, QStringLiteral("The process list of the embedded server cannot be read."));
    const QString path = QDir(core_.server().path()).filePath(QStringLiteral("tsql_processes.sqlite"));
    try {
        DbHandle h = openDatabaseFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, kRegistryBusyMs,
                                      ErrorContext{QStringLiteral("master"), path});
        // The list only describes live processes (after a crash of the machine none is left and
        // stale rows are removed whenever it is read), so its commits never wait for the disk:
        // with a write-ahead log and NORMAL they are not synchronised, yet a lost power never
        // leaves the file damaged. A connection writes here at every transaction's first write
        // to a table and at its end.
        sqlite3_exec(h.get(), "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
        exec(h.get(),
             QStringLiteral("CREATE TABLE IF NOT EXISTS connections (spid INTEGER PRIMARY KEY, token TEXT NOT NULL UNIQUE, "
                            "pid INTEGER NOT NULL, started TEXT NOT NULL, host TEXT NOT NULL, login TEXT NOT NULL, "
                            "program TEXT NOT NULL, dbname TEXT NOT NULL, login_time TEXT NOT NULL, last_batch TEXT NOT "
                            "NULL, open_tran INTEGER NOT NULL DEFAULT 0, killed INTEGER NOT NULL DEFAULT 0);"
                            "CREATE TABLE IF NOT EXISTS locks (token TEXT NOT NULL, dbname TEXT NOT NULL, object TEXT NOT "
                            "NULL, PRIMARY KEY (token, dbname, object));"
                            "CREATE TABLE IF NOT EXISTS holds (token TEXT NOT NULL, dbname TEXT NOT NULL COLLATE NOCASE, "
                            "object TEXT NOT NULL COLLATE NOCASE, PRIMARY KEY (token, dbname, object));"
                            "CREATE TABLE IF NOT EXISTS writers (token TEXT NOT NULL, dbname TEXT NOT NULL COLLATE NOCASE, "
                            "PRIMARY KEY (token, dbname));"
                            "CREATE TABLE IF NOT EXISTS waits (token TEXT PRIMARY KEY, dbname TEXT NOT NULL COLLATE NOCASE, "
                            "object TEXT NOT NULL COLLATE NOCASE, seen INTEGER NOT NULL, victim INTEGER NOT NULL DEFAULT 0);"),
             ErrorContext{QStringLiteral("master"), path});
        registry_ = std::move(h);
    } catch (const DbError&) {
        registryBroken_ = true;
        throw;
    }
    return registry_.get();
}

void AdminState::removeStale() {
    sqlite3* r = registry();
    QStringList stale;
    {
        Statement q(r, QStringLiteral("SELECT token, pid, started, host FROM connections"), ErrorContext{});
        std::lock_guard<std::mutex> lock(liveMutex());
        while (q.step()) {
            if (q.text(3) != hostName()) continue;  // another machine's connections cannot be tested here
            const QString token = q.text(0);
            const qint64 pid = q.int64(1);
            const QString started = q.text(2);
            bool gone = false;
            if (pid == ::getpid() && started == selfStart()) {
                gone = !liveStates().contains(token);
            } else {
                gone = !processAlive(pid, started);
            }
            if (gone) stale.push_back(token);
        }
    }
    for (const QString& t : stale) {
        for (const char* sql : kTokenRows) forToken(r, sql, t);
    }
}

void AdminState::registerSelf() {
    if (!token_.isEmpty()) return;
    sqlite3* r = registry();
    const QString token = QUuid::createUuid().toString(QUuid::WithoutBraces);
    int spid = 0;
    {
        // The token counts as live before its row exists, so no other connection of this
        // program takes the fresh row for a leftover.
        std::lock_guard<std::mutex> lock(liveMutex());
        liveStates().insert(token, this);
    }
    try {
        writeTransaction(r, ErrorContext{}, [&] {
            removeStale();
            QSet<int> used;
            {
                Statement q(r, QStringLiteral("SELECT spid FROM connections"), ErrorContext{});
                while (q.step()) used.insert(static_cast<int>(q.int64(0)));
            }
            spid = kFirstSpid;
            while (used.contains(spid) && spid < kLastSpid) ++spid;
            const QString now = formatDateTime(platform::now());
            Statement ins(r,
                          QStringLiteral("INSERT INTO connections (spid, token, pid, started, host, login, program, dbname, "
                                         "login_time, last_batch) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                          ErrorContext{});
            ins.bind(1, static_cast<qint64>(spid));
            ins.bind(2, token);
            ins.bind(3, static_cast<qint64>(::getpid()));
            ins.bind(4, selfStart());
            ins.bind(5, hostName());
            ins.bind(6, core_.login().name);
            ins.bind(7, programName());
            ins.bind(8, core_.database());
            ins.bind(9, now);
            ins.bind(10, now);
            ins.step();
        });
    } catch (...) {
        std::lock_guard<std::mutex> lock(liveMutex());
        liveStates().remove(token);
        throw;
    }
    token_ = token;
    spid_ = spid;
}

void AdminState::unregisterSelf() {
    aliveQuery_ = Statement();
    if (token_.isEmpty()) return;
    const QString token = token_;
    token_.clear();
    {
        std::lock_guard<std::mutex> lock(liveMutex());
        liveStates().remove(token);
    }
    if (!registry_) return;
    sqlite3* r = registry_.get();
    sqlite3_exec(r, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (const char* sql : kTokenRows) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(r, sql, -1, &st, nullptr) == SQLITE_OK) {
            const QByteArray t = token.toUtf8();
            sqlite3_bind_text(st, 1, t.constData(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
            sqlite3_step(st);
        }
        sqlite3_finalize(st);
    }
    // A row left behind here (the registry locked for too long) is taken for a leftover by the
    // next connection that looks, since its token is no longer live.
    if (sqlite3_exec(r, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) sqlite3_exec(r, "ROLLBACK", nullptr, nullptr, nullptr);
}

void AdminState::releaseNow() {
    if (core_.db() && core_.inTransaction()) sqlite3_exec(core_.db(), "ROLLBACK", nullptr, nullptr, nullptr);
    try {
        transactionEnded();
    } catch (const DbError&) {
    }
}

sqlite3* AdminState::master() {
    if (core_.db() && sameName(core_.database(), QStringLiteral("master"))) return core_.db();
    if (!master_) {
        master_ = openDatabaseFile(core_.server().masterPath(), SQLITE_OPEN_READWRITE, core_.busyMs(),
                                   ErrorContext{QStringLiteral("master"), core_.server().masterPath()});
    }
    return master_.get();
}

LoginInfo AdminState::login() {
    LoginInfo info;
    Statement q(master(),
                QStringLiteral("SELECT sid, name, sysadmin, securityadmin, serveradmin, setupadmin, processadmin, diskadmin, "
                               "dbcreator, bulkadmin FROM syslogins WHERE name = ? COLLATE NOCASE"),
                ErrorContext{});
    q.bind(1, core_.login().name);
    if (!q.step()) return info;
    info.sid = q.int64(0);
    info.name = q.text(1);
    for (int i = 0; i < serverRoles().size(); ++i) {
        if (q.int64(2 + i) != 0) info.roles.insert(serverRoles()[i]);
    }
    return info;
}

DbHandle AdminState::open(const QString& name, const QString& file, bool atLogin, int busyMs, const ErrorContext& ctx) {
    const auto info = databaseInfo(*this, name);
    const qint64 st = info ? info->status : 0;
    const QString shown = info ? info->name : name;
    auto refuse = [&](long number, const QString& text) {
        if (atLogin) raiseErrors({{number, text}, {4060, msg::cannotOpenDatabase(name)}});
        raiseServerError(number, text);
    };
    if (st & status::Offline) {
        refuse(942, QStringLiteral("Database '%1' cannot be opened because it is offline.").arg(shown));
    }
    if ((st & status::SingleUser) && othersIn(shown) > 0) {
        refuse(924, QStringLiteral("Database '%1' is already open and can only have one user at a time.").arg(shown));
    }
    // A connection is used by one thread at a time: SQLite need not lock it for every call.
    const int flags =
        ((st & status::ReadOnly) ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
    DbHandle h = openDatabaseFile(file, flags, busyMs, ctx);
    {
        // Reading the schema finds a damaged or foreign file, or a lock held too long, now.
        Statement probe(h.get(), QStringLiteral("SELECT count(*) FROM sqlite_master"), ctx);
        probe.step();
    }
    const bool system = sameName(shown, QStringLiteral("master")) || sameName(shown, QStringLiteral("tempdb"));
    const LoginInfo me = login();
    if (system || me.sysadmin()) return h;
    if (me.sid >= 0 && info && info->ownerSid == me.sid) return h;
    if (!info && me.sid == 1) return h;
    const DbUsers users = readUsers(h.get(), QStringLiteral("main"), ctx);
    const DbUser* user = me.sid >= 0 ? users.bySid(me.sid) : nullptr;
    const DbUser* guest = users.byName(QStringLiteral("guest"));
    if ((user && user->access) || (guest && guest->access)) return h;
    if (atLogin) raiseErrors({{4060, msg::cannotOpenDatabase(name)}, {18456, msg::loginFailed(core_.login().name)}});
    raiseServerError(916, QStringLiteral("The server principal \"%1\" is not able to access the database \"%2\" under the "
                                         "current security context.")
                              .arg(core_.login().name, shown));
}

void AdminState::entered() {
    sqlite3* db = core_.db();
    sqlite3_create_function(db, "tsql_spid", 0, SQLITE_UTF8, this, spidFunction, nullptr, nullptr);
    sqlite3_create_function(db, "object_name", 1, SQLITE_UTF8, nullptr, objectNameFunction, nullptr, nullptr);
    sqlite3_create_function(db, "object_id", 1, SQLITE_UTF8, nullptr, objectIdFunction, nullptr, nullptr);
    try {
        if (token_.isEmpty()) {
            registerSelf();
        } else {
            Statement up(registry(), QStringLiteral("UPDATE connections SET dbname = ?, last_batch = ? WHERE token = ?"),
                         ErrorContext{});
            up.bind(1, core_.database());
            up.bind(2, formatDateTime(platform::now()));
            up.bind(3, token_);
            up.step();
        }
    } catch (const DbError&) {
        // A folder whose process list cannot be written still serves its databases.
    }
}

namespace {

qint64 dataVersion(sqlite3* db) {
    Statement v(db, QStringLiteral("PRAGMA main.data_version"), ErrorContext{});
    v.step();
    return v.int64(0);
}

}  // namespace

// Asked before every statement of a connection with attached databases: the query is kept
// prepared on the connection's own master handle.
qint64 AdminState::masterDataVersion() {
    sqlite3* m = master();
    if (m != master_.get()) return dataVersion(m);
    if (!masterVersionQuery_.get()) {
        masterVersionQuery_ = Statement(m, QStringLiteral("PRAGMA main.data_version"), ErrorContext{});
    }
    masterVersionQuery_.step();
    const qint64 v = masterVersionQuery_.int64(0);
    sqlite3_reset(masterVersionQuery_.get());
    return v;
}

QString AdminState::attachTarget(const QString& name, const QString& file) {
    if (masterVersion_ < 0) masterVersion_ = dataVersion(master());
    const auto info = databaseInfo(*this, name);
    if (!info) return file;
    if (info->status & status::Offline) {
        raiseServerError(942, QStringLiteral("Database '%1' cannot be opened because it is offline.").arg(info->name));
    }
    if (!(info->status & status::ReadOnly)) return file;
    return QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(file, "/")) + QStringLiteral("?mode=ro");
}

namespace {

constexpr qint64 kRecheckMs = 50;

qint64 coarseMs() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

// Reading the list takes a lock and several system calls; most statements run long before anyone
// kills anything. A KILL raises the folder's shared kill counter, so the list is read again when
// the counter moved and, for rows gone by other means, at least every 50 ms. Where the counter
// cannot be had, a change of the list's file tells instead (a file's times are only as fine as
// the kernel's clock tick, hence the 50 ms there too).
bool AdminState::registryMayHaveChanged() {
    const qint64 nowMs = coarseMs();
    bool changed = false;
    if (ServerSignals* signal = serverSignals()) {
        const std::uint64_t kills = signal->value(ServerSignals::Kills);
        changed = kills != killsSeen_;
        killsSeen_ = kills;
    } else {
        auto stampOf = [](const QByteArray& path) {
            FileStamp stamp;
            struct stat st {};
            if (::stat(path.constData(), &st) == 0) {
                stamp = FileStamp{qint64(st.st_ino), qint64(st.st_size),
                                  qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                                  qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
            }
            return stamp;
        };
        if (registryFile_.isEmpty()) {
            registryFile_ = QDir(core_.server().path()).filePath(QStringLiteral("tsql_processes.sqlite")).toLocal8Bit();
        }
        // A commit reaches the list's write-ahead log at once and its file only at a checkpoint.
        const FileStamp stamp = stampOf(registryFile_);
        const FileStamp log = stampOf(registryFile_ + "-wal");
        changed = stamp != registryStamp_ || log != registryLogStamp_;
        registryStamp_ = stamp;
        registryLogStamp_ = log;
    }
    if (!changed && registryCheckedMs_ >= 0 && nowMs - registryCheckedMs_ < kRecheckMs) return false;
    registryCheckedMs_ = nowMs;
    return true;
}

// The engine raises the catalogue counter when it drops a database or changes its state; any
// other write to the catalogue (a statement of a connection in master) is seen within 50 ms.
bool AdminState::catalogueMayHaveChanged() {
    ServerSignals* signal = serverSignals();
    if (!signal) return true;
    const qint64 nowMs = coarseMs();
    const std::uint64_t changes = signal->value(ServerSignals::Catalogue);
    const bool changed = changes != catalogueSeen_;
    catalogueSeen_ = changes;
    if (!changed && catalogueCheckedMs_ >= 0 && nowMs - catalogueCheckedMs_ < kRecheckMs) return false;
    catalogueCheckedMs_ = nowMs;
    return true;
}

ServerSignals* AdminState::serverSignals() {
    if (!signalsTried_) {
        signalsTried_ = true;
        signals_ = ServerSignals::forFolder(core_.server().path());
    }
    return signals_.get();
}

void AdminState::beforeStatement(const QString& text) {
    checkKilled();
    if (!heldLocks_.isEmpty() && !core_.inTransaction()) transactionEnded();
    // Another connection changed the catalogue: databases attached before may have become
    // read-only or offline since, so they are attached again as they are now.
    if (core_.hasAttached() && !core_.inTransaction() && catalogueMayHaveChanged()) {
        const qint64 v = masterDataVersion();
        if (masterVersion_ >= 0 && v != masterVersion_) core_.detachAll();
        masterVersion_ = v;
    }
    if (containsNoCase(text, "sysprocesses")) refreshSysProcesses();
}

void AdminState::checkKilled() {
    if (!dead_ && !token_.isEmpty() && registryMayHaveChanged()) {
        try {
            if (!aliveQuery_.get()) {
                aliveQuery_ = Statement(registry(), QStringLiteral("SELECT killed FROM connections WHERE token = ?"), ErrorContext{});
                aliveQuery_.bind(1, token_);
            }
            const bool row = aliveQuery_.step();
            const bool killed = !row || aliveQuery_.int64(0) != 0;
            sqlite3_reset(aliveQuery_.get());
            if (killed) {
                dead_ = true;
                releaseNow();
            }
        } catch (const DbError&) {
            // The list being busy says nothing about this connection.
        }
    }
    if (dead_) {
        try {
            unregisterSelf();
        } catch (...) {
        }
        throw killedError();
    }
}

void AdminState::wrote(const QString& schema, const QString& table) { noteLock(schema, table, true); }

void AdminState::noteLock(const QString& schema, const QString& table, bool writes) {
    if (token_.isEmpty() || table.isEmpty() || !core_.inTransaction()) return;
    // A temporary table is the connection's own: nobody else can wait for it.
    if (schema.compare(QLatin1String("temp"), Qt::CaseInsensitive) == 0) return;
    const QString database = databaseOf(schema);
    for (const auto& w : lastWrote_) {
        if (w.second == table && w.first == database) return;
    }
    auto remember = [&] {
        lastWrote_[nextWrote_] = {database, table};
        nextWrote_ = (nextWrote_ + 1) % lastWrote_.size();
    };
    const QString key = database.toLower() + u'.' + table.toLower();
    if (heldLocks_.contains(key)) {
        remember();
        return;
    }
    try {
        sqlite3* r = registry();
        writeTransaction(r, ErrorContext{}, [&] {
            Statement ins(r, QStringLiteral("INSERT OR IGNORE INTO locks (token, dbname, object) VALUES (?, ?, ?)"),
                          ErrorContext{});
            ins.bind(1, token_);
            ins.bind(2, database);
            ins.bind(3, storedName(schema, table));
            ins.step();
            forToken(r, "UPDATE connections SET open_tran = 1 WHERE token = ?", token_);
            if (writes) {
                Statement writer(r, QStringLiteral("INSERT OR IGNORE INTO writers (token, dbname) VALUES (?, ?)"),
                                 ErrorContext{});
                writer.bind(1, token_);
                writer.bind(2, database);
                writer.step();
            }
        });
        // A held table's lock is noted again when the table is written.
        if (!writes) return;
        heldLocks_.insert(key);
        remember();
    } catch (const DbError&) {
    }
}

void AdminState::transactionEnded() {
    lastWrote_ = {};
    nextWrote_ = 0;
    endLockWait();
    if (heldLocks_.isEmpty() || token_.isEmpty() || !registry_) {
        heldLocks_.clear();
        return;
    }
    heldLocks_.clear();
    sqlite3* r = registry_.get();
    writeTransaction(r, ErrorContext{}, [&] {
        forToken(r, "DELETE FROM locks WHERE token = ?", token_);
        if (holdsTables_) forToken(r, "DELETE FROM holds WHERE token = ?", token_);
        forToken(r, "DELETE FROM writers WHERE token = ?", token_);
        forToken(r, "UPDATE connections SET open_tran = 0 WHERE token = ?", token_);
    });
    if (holdsTables_) {
        holdsTables_ = false;
        if (ServerSignals* signal = serverSignals()) signal->raise(ServerSignals::Holds);
    }
}

QString AdminState::databaseOf(const QString& schema) const {
    return schema.isEmpty() || (schema.size() == 4 && schema.compare(QLatin1String("main"), Qt::CaseInsensitive) == 0)
               ? core_.database()
               : schema;
}

QString AdminState::storedName(const QString& schema, const QString& table) const {
    const QString stored = core_.storedTableName(schema, table);
    return stored.isEmpty() ? table : stored;
}

void AdminState::holdTable(const QString& schema, const QString& table) {
    if (token_.isEmpty() || table.isEmpty()) return;
    const QString database = databaseOf(schema);
    const QString stored = storedName(schema, table);
    const QString key = u'!' + database.toLower() + u'.' + stored.toLower();
    if (heldLocks_.contains(key)) return;  // held already in this transaction
    sqlite3* r = registry();
    writeTransaction(r, ErrorContext{}, [&] {
        Statement ins(r, QStringLiteral("INSERT OR IGNORE INTO holds (token, dbname, object) VALUES (?, ?, ?)"), ErrorContext{});
        ins.bind(1, token_);
        ins.bind(2, database);
        ins.bind(3, stored);
        ins.step();
    });
    holdsTables_ = true;
    if (ServerSignals* signal = serverSignals()) signal->raise(ServerSignals::Holds);
    // Shown by sp_lock and released at the transaction's end like a write's lock.
    noteLock(schema, table, false);
    heldLocks_.insert(key);
}

bool AdminState::holdsMayExist() {
    ServerSignals* signal = serverSignals();
    return !signal || signal->value(ServerSignals::Holds) != noHoldsAt_;
}

void AdminState::waitWhileHeld(const QString& schema, const QString& table, const std::function<bool()>& timedOut) {
    if (token_.isEmpty() || table.isEmpty() || schema.compare(QLatin1String("temp"), Qt::CaseInsensitive) == 0) return;
    ServerSignals* signal = serverSignals();
    // Nobody has held a table since this connection last found none: one load of shared memory.
    const std::uint64_t seen = signal ? signal->value(ServerSignals::Holds) : 1;
    if (signal && seen == noHoldsAt_) return;
    const QString database = databaseOf(schema);
    const QString stored = storedName(schema, table);
    sqlite3* r = registry();
    // A connection that holds nothing but waits is no link of a cycle.
    const bool holding = core_.inTransaction();
    struct WaitEnds {
        AdminState& state;
        ~WaitEnds() { state.endLockWait(); }
    } ends{*this};
    for (;;) {
        bool heldHere = false;
        bool heldAnywhere = false;
        writeTransaction(r, ErrorContext{}, [&] {
            removeStale();
            Statement q(r,
                        QStringLiteral("SELECT max(dbname = ? AND object = ?) FROM holds WHERE token <> ? AND token IN "
                                       "(SELECT token FROM connections WHERE killed = 0)"),
                        ErrorContext{});
            q.bind(1, database);
            q.bind(2, stored);
            q.bind(3, token_);
            if (q.step() && !q.isNull(0)) {
                heldAnywhere = true;
                heldHere = q.int64(0) != 0;
            }
        });
        if (!heldAnywhere && signal) noHoldsAt_ = seen;
        if (!heldHere) return;
        if (timedOut()) raiseServerError(1222, QStringLiteral("Lock request time out period exceeded."));
        checkKilled();  // a KILL meanwhile ends the wait
        if (holding && deadlocked(schema, stored)) deadlockVictim();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<AdminState::Process> AdminState::processes() {
    sqlite3* r = registry();
    writeTransaction(r, ErrorContext{}, [&] { removeStale(); });
    std::vector<Process> out;
    Statement q(r,
                QStringLiteral("SELECT spid, token, pid, host, login, program, dbname, login_time, last_batch, open_tran FROM "
                               "connections WHERE killed = 0 ORDER BY spid"),
                ErrorContext{});
    while (q.step()) {
        Process p;
        p.spid = static_cast<int>(q.int64(0));
        p.token = q.text(1);
        p.pid = q.int64(2);
        p.host = q.text(3);
        p.login = q.text(4);
        p.program = q.text(5);
        p.database = q.text(6);
        p.loginTime = q.text(7);
        p.lastBatch = q.text(8);
        p.openTran = static_cast<int>(q.int64(9));
        out.push_back(p);
    }
    return out;
}

std::vector<AdminState::Lock> AdminState::locks() {
    sqlite3* r = registry();
    writeTransaction(r, ErrorContext{}, [&] { removeStale(); });
    std::vector<Lock> out;
    Statement q(r,
                QStringLiteral("SELECT c.spid, l.dbname, l.object FROM locks l JOIN connections c ON c.token = l.token WHERE "
                               "c.killed = 0 ORDER BY c.spid, l.dbname, l.object"),
                ErrorContext{});
    while (q.step()) out.push_back(Lock{static_cast<int>(q.int64(0)), q.text(1), q.text(2)});
    return out;
}

int AdminState::othersIn(const QString& database) {
    int n = 0;
    for (const auto& p : processes()) {
        if (p.token != token_ && sameName(p.database, database)) ++n;
    }
    return n;
}

void AdminState::kill(int spid) {
    if (spid == spid_) raiseServerError(6104, QStringLiteral("Cannot use KILL to kill your own process."));
    if (spid < 1 || spid > kLastSpid) {
        raiseServerError(6101, QStringLiteral("Process ID %1 is not a valid process ID. Choose a number between 1 and %2.")
                                   .arg(spid)
                                   .arg(kLastSpid));
    }
    sqlite3* r = registry();
    QString victim;
    writeTransaction(r, ErrorContext{}, [&] {
        removeStale();
        Statement q(r, QStringLiteral("SELECT token FROM connections WHERE spid = ? AND killed = 0"), ErrorContext{});
        q.bind(1, static_cast<qint64>(spid));
        if (!q.step()) raiseServerError(6106, QStringLiteral("Process ID %1 is not an active process ID.").arg(spid));
        victim = q.text(0);
        forToken(r, "UPDATE connections SET killed = 1 WHERE token = ?", victim);
    });
    if (ServerSignals* signal = serverSignals()) signal->raise(ServerSignals::Kills);
    // A connection of this program gives its locks back now; one of another program does so at
    // its next statement.
    releaseKilled(victim);
}

void AdminState::refreshSysProcesses() {
    std::vector<Process> list;
    try {
        list = processes();
    } catch (const DbError&) {
        return;
    }
    QHash<QString, qint64> dbids;
    for (const auto& d : allDatabases(*this)) dbids.insert(d.name.toLower(), d.dbid);
    sqlite3* db = core_.db();
    const ErrorContext ctx = core_.context();
    exec(db,
         QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS sysprocesses (spid smallint NOT NULL, kpid smallint NOT NULL, blocked "
                        "smallint NOT NULL, waittype binary(2) NOT NULL, waittime bigint NOT NULL, lastwaittype nchar(32) NOT "
                        "NULL, waitresource nchar(256) NOT NULL, dbid smallint NOT NULL, uid smallint NULL, cpu int NOT NULL, "
                        "physical_io bigint NOT NULL, memusage int NOT NULL, login_time datetime NOT NULL, last_batch datetime "
                        "NOT NULL, ecid smallint NOT NULL, open_tran smallint NOT NULL, status nchar(30) NOT NULL, sid "
                        "binary(86) NULL, hostname nchar(128) NOT NULL, program_name nchar(128) NOT NULL, hostprocess "
                        "nchar(10) NOT NULL, cmd nchar(16) NOT NULL, nt_domain nchar(128) NOT NULL, nt_username nchar(128) NOT "
                        "NULL, net_address nchar(12) NOT NULL, net_library nchar(12) NOT NULL, loginame nchar(128) NOT NULL); "
                        "DELETE FROM temp.sysprocesses;"),
         ctx);
    QHash<QString, qint64> sids;
    {
        Statement q(master(), QStringLiteral("SELECT name, sid FROM syslogins"), ErrorContext{});
        while (q.step()) sids.insert(q.text(0).toLower(), q.int64(1));
    }
    Statement ins(db,
                  QStringLiteral("INSERT INTO temp.sysprocesses VALUES (?, 0, 0, x'0000', 0, ?, ?, ?, 1, 0, 0, 0, ?, ?, 0, ?, ?, "
                                 "?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                  ctx);
    for (const auto& p : list) {
        const bool self = p.token == token_;
        sqlite3_reset(ins.get());
        int k = 1;
        ins.bind(k++, static_cast<qint64>(p.spid));
        ins.bind(k++, padded(QStringLiteral("MISCELLANEOUS"), 32));
        ins.bind(k++, padded(QString(), 256));
        ins.bind(k++, dbids.value(p.database.toLower(), 0));
        ins.bind(k++, p.loginTime);
        ins.bind(k++, p.lastBatch);
        ins.bind(k++, static_cast<qint64>(p.openTran));
        ins.bind(k++, padded(self ? QStringLiteral("runnable") : QStringLiteral("sleeping"), 30));
        const Variant sid = sidBytes(sids.value(p.login.toLower(), -1));
        if (sid.isNull()) {
            sqlite3_bind_null(ins.get(), k++);
        } else {
            const QByteArray b = sid.toBytes();
            sqlite3_bind_blob(ins.get(), k++, b.constData(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
        }
        ins.bind(k++, padded(p.host, 128));
        ins.bind(k++, padded(p.program, 128));
        ins.bind(k++, padded(QString::number(p.pid), 10));
        ins.bind(k++, padded(self ? QStringLiteral("SELECT") : QStringLiteral("AWAITING COMMAND"), 16));
        ins.bind(k++, padded(QString(), 128));
        ins.bind(k++, padded(QString(), 128));
        ins.bind(k++, padded(netAddress(), 12));
        ins.bind(k++, padded(QStringLiteral("LPC"), 12));
        ins.bind(k++, padded(p.login, 128));
        ins.step();
    }
}

namespace admin {

provider::Result killProcess(Core& core, const Translation& tr) {
    const auto& t = tr.definition;
    size_t i = 0;
    while (i < t.size() && (t[i].isTrivia() || t[i].isWord("KILL"))) ++i;
    if (i >= t.size() || t[i].kind != TokenKind::Number) {
        raiseServerError(102, msg::syntaxNear(i < t.size() ? t[i].text : QStringLiteral("KILL")));
    }
    bool ok = false;
    const qint64 spid = t[i].text.toLongLong(&ok);
    for (size_t j = i + 1; j < t.size(); ++j) {
        if (!t[j].isTrivia()) raiseServerError(102, msg::syntaxNear(t[j].text));
    }
    AdminState& state = core.admin();
    const LoginInfo me = state.login();
    if (!me.sysadmin() && !me.has("processadmin")) {
        raiseServerError(6102, QStringLiteral("User does not have permission to use the KILL statement."));
    }
    state.kill(ok && spid <= kLastSpid ? static_cast<int>(spid) : 0);
    return noRows();
}

namespace {

std::vector<provider::Result> spLock(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("spid1"), QStringLiteral("spid2")}, QStringLiteral("sp_lock"));
    QSet<int> wanted;
    for (const char* n : {"spid1", "spid2"}) {
        const QString v = a.value(QString::fromLatin1(n));
        if (!v.isNull()) wanted.insert(v.trimmed().toInt());
    }
    AdminState& state = core.admin();
    QHash<QString, qint64> dbids;
    for (const auto& d : allDatabases(state)) dbids.insert(d.name.toLower(), d.dbid);
    ResultBuilder b;
    b.small("spid").small("dbid").integer("ObjId").small("IndId").text("Type", 4).text("Resource", 32).text("Mode", 8).text(
        "Status", 5);
    const auto locks = state.locks();
    for (const auto& p : state.processes()) {
        if (!wanted.isEmpty() && !wanted.contains(p.spid)) continue;
        const Variant dbid = static_cast<std::int16_t>(dbids.value(p.database.toLower(), 0));
        b.row({static_cast<std::int16_t>(p.spid), dbid, static_cast<std::int32_t>(0), static_cast<std::int16_t>(0),
               QStringLiteral("DB"), QString(), QStringLiteral("S"), QStringLiteral("GRANT")});
        for (const auto& l : locks) {
            if (l.spid != p.spid) continue;
            const Variant ldb = static_cast<std::int16_t>(dbids.value(l.database.toLower(), 0));
            const auto id = static_cast<std::int32_t>(objectId(l.object));
            b.row({static_cast<std::int16_t>(p.spid), ldb, id, static_cast<std::int16_t>(0), QStringLiteral("TAB"), QString(),
                   QStringLiteral("IX"), QStringLiteral("GRANT")});
            b.row({static_cast<std::int16_t>(p.spid), ldb, id, static_cast<std::int16_t>(0), QStringLiteral("RID"),
                   QStringLiteral("1:1:0"), QStringLiteral("X"), QStringLiteral("GRANT")});
        }
    }
    std::vector<provider::Result> out;
    out.push_back(b.done());
    return out;
}

std::vector<provider::Result> spWho(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("loginame")}, QStringLiteral("sp_who"));
    const QString filter = a.value(QStringLiteral("loginame"));
    AdminState& state = core.admin();
    ResultBuilder b;
    b.small("spid").small("ecid").wide("status", 30).wide("loginame", 128).wide("hostname", 128).text("blk", 5).wide("dbname",
                                                                                                                      128);
    b.wide("cmd", 16).integer("request_id");
    for (const auto& p : state.processes()) {
        if (!filter.isNull() && !sameName(filter, p.login) && filter.trimmed() != QString::number(p.spid) &&
            filter.compare(QLatin1String("active"), Qt::CaseInsensitive) != 0) {
            continue;
        }
        const bool self = p.spid == state.spid();
        b.row({static_cast<std::int16_t>(p.spid), static_cast<std::int16_t>(0),
               self ? QStringLiteral("runnable") : QStringLiteral("sleeping"), p.login, p.host, QStringLiteral("0    "),
               p.database, self ? QStringLiteral("SELECT") : QStringLiteral("AWAITING COMMAND"), static_cast<std::int32_t>(0)});
    }
    std::vector<provider::Result> out;
    out.push_back(b.done());
    return out;
}

}  // namespace

Handler processProcedure(const QString& n) {
    if (n == u"sp_lock") return spLock;
    if (n == u"sp_who") return spWho;
    return nullptr;
}

}  // namespace admin

}  // namespace data::embedded
