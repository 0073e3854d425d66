#pragma once
// The server administration side of the embedded engine: logins and server roles, database
// users and roles, database options, owners, processes, backup and restore, maintenance and
// stored procedures, answered with SQL Server's meaning, numbers and texts.
//
// Where things live:
// - master.db: syslogins (roles as flags, the salted hash of the password, never the password
//   itself), sysdatabases (owner sid, option bits in status), sysdevices (dump devices);
// - every database: sysusers and sysmembers (its users and the fixed roles they belong to;
//   a database made by another tool has none until a user is added: only its owner, dbo, and
//   the sysadmins reach it), sysprotects (GRANT and DENY on its objects, permissions.h),
//   tsql_procedures (its stored procedures, as written);
// - tsql_processes.sqlite in the server folder: the live connections of every program using
//   the folder (its spid, process id and start time, host, login, current database, a kill
//   mark) and the locks their open transactions hold. A row whose process is gone is removed
//   by the next connection that looks, so a crashed program leaves nothing behind.
//   SysProcesses is a temporary table of each connection, filled from there whenever a
//   statement names it.

#include <QSet>
#include <array>
#include <QString>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "data/embedded/server/serversignals.h"
#include "data/embedded/connection/sqlitedb.h"
#include "data/embedded/translate/tokenizer.h"
#include "data/provider.h"

namespace data::embedded {

class Core;
class Rights;
struct Translation;

// The fixed server roles, in SQL Server's order.
const QStringList& serverRoles();

// The connection's login as the catalogue holds it now (roles change while connected).
struct LoginInfo {
    qint64 sid = -1;  // -1: the login is gone
    QString name;
    QSet<QString> roles;  // lower-case fixed server role names
    bool has(const char* role) const { return roles.contains(QString::fromLatin1(role)); }
    bool sysadmin() const { return has("sysadmin"); }
};

// The per-connection state of the administration side; owned by the connection's Core.
class AdminState {
public:
    explicit AdminState(Core& core);
    ~AdminState();
    AdminState(const AdminState&) = delete;
    AdminState& operator=(const AdminState&) = delete;

    // Opens a database file for the connection after the checks SQL Server makes: offline,
    // single user, read only (the file is then opened read-only, so writes fail with 3906),
    // and the login's access to it (4060 at login, 916 on USE).
    DbHandle open(const QString& name, const QString& file, bool atLogin, int busyMs, const ErrorContext& ctx);
    // The connection is now in its (new) current database.
    void entered();
    // The file name to attach a database under (read-only databases are attached read-only).
    QString attachTarget(const QString& name, const QString& file);

    // Before every statement: a killed connection fails here; SysProcesses is refreshed when
    // the text names it.
    void beforeStatement(const QString& text);
    // A write statement inside a transaction: its table stays locked until the transaction ends.
    void wrote(const QString& schema, const QString& table);
    void transactionEnded();

    int spid() const { return spid_; }
    Core& core() { return core_; }
    // The master catalogue: the connection's own handle when it is in master, else one of its own.
    sqlite3* master();
    LoginInfo login();

    // Registry of live connections.
    struct Process {
        int spid = 0;
        QString token;
        qint64 pid = 0;
        QString host;
        QString login;
        QString program;
        QString database;
        QString loginTime;
        QString lastBatch;
        int openTran = 0;
    };
    std::vector<Process> processes();  // live ones, stale rows removed first
    struct Lock {
        int spid = 0;
        QString database;
        QString object;
    };
    std::vector<Lock> locks();
    // An UPDATE of a client's transaction that changes no value holds its table as SQL Server's
    // row lock would, without the database file's write lock: other connections' writes to
    // the table wait until the transaction ends, writes to other tables go on. The hold shows
    // in sp_lock like a write's lock.
    void holdTable(const QString& schema, const QString& table);
    // Waits while another connection holds the table so; raises 1222 once timedOut() says the
    // statement's time is up, and the connection's KILL as usual.
    void waitWhileHeld(const QString& schema, const QString& table, const std::function<bool()>& timedOut);
    // Whether another connection may hold a table (false from one load of shared memory while
    // nobody has held one since this connection last found none).
    bool holdsMayExist();
    // A wait of this connection's transaction for a lock of another connection: the write lock
    // of the database schema names (object empty), or the table object held so (holdTable).
    // The wait is noted in the process list, where every program using the folder sees it, and
    // the waits are followed from it: a cycle that comes back to it, seen at two looks in a
    // row, can never end by itself. The one of the cycle that has written the fewest tables
    // (the cheapest to roll back; this one when it is among the cheapest) is chosen to end it;
    // true when that is this connection, now or at an earlier look of another. Looks at most
    // every 100 ms; the wait is over at endLockWait().
    bool deadlocked(const QString& schema, const QString& object);
    void endLockWait() {
        if (waitNoted_) forgetWait();
    }
    // The end of a deadlock's victim: its transaction rolled back, 1205 raised.
    [[noreturn]] void deadlockVictim();
    void checkKilled();  // raises the connection's KILL, once another connection has marked it
    // Connections other than this one whose current database is name.
    int othersIn(const QString& database);
    // Marks a connection killed (raises 6104, 6106 as SQL Server does).
    void kill(int spid);

    // The connection's object rights (permissions.h).
    Rights& rights() { return *rights_; }

    // Output parameters and return value of the last stored procedure this connection ran.
    std::vector<provider::Parameter> lastOutputs;

private:
    void registerSelf();
    void unregisterSelf();
    sqlite3* registry();
    void removeStale();
    void refreshSysProcesses();
    void releaseNow();
    // Notes that the transaction holds a table's lock; writes: by a write, which holds the
    // database's write lock too.
    void noteLock(const QString& schema, const QString& table, bool writes);
    void forgetWait();
    // One look of deadlocked(), in one transaction of the process list.
    void look(const QString& database, const QString& object, qint64 nowMs, bool& victim);
    // The database a statement's schema names ("main" or nothing: the connection's own), and a
    // table's name as its database stores it (as given when it is not found).
    QString databaseOf(const QString& schema) const;
    QString storedName(const QString& schema, const QString& table) const;
    bool registryMayHaveChanged();
    ServerSignals* serverSignals();
    bool catalogueMayHaveChanged();
    qint64 masterDataVersion();

    Core& core_;
    int spid_ = 0;
    QString token_;
    bool dead_ = false;
    qint64 masterVersion_ = -1;  // master's data version when the attached databases were checked
    bool registryBroken_ = false;
    DbHandle registry_;
    Statement aliveQuery_;  // on registry_: prepared once, run when the list may have changed
    // What the process list's file looked like at the last look, and when that was.
    struct FileStamp {
        qint64 inode = -1, size = -1, mtimeNs = -1, ctimeNs = -1;
        bool operator==(const FileStamp&) const = default;
    };
    QByteArray registryFile_;
    FileStamp registryStamp_;
    FileStamp registryLogStamp_;  // of its write-ahead log
    qint64 registryCheckedMs_ = -1;
    DbHandle master_;
    Statement masterVersionQuery_;  // on master_, so declared after it
    std::shared_ptr<ServerSignals> signals_;
    bool signalsTried_ = false;
    std::uint64_t killsSeen_ = 0;
    std::uint64_t catalogueSeen_ = 0;
    qint64 catalogueCheckedMs_ = -1;
    QSet<QString> heldLocks_;
    bool holdsTables_ = false;      // this connection holds a table (holdTable) in its transaction
    std::uint64_t noHoldsAt_ = 0;   // the Holds counter when no other connection held a table
    // Database and table of the last locks found held, as the statements named them: a
    // transaction of row-by-row writes names the same few tables statement after statement.
    std::array<std::pair<QString, QString>, 4> lastWrote_;
    bool waitNoted_ = false;      // the process list shows a wait of this connection
    bool cycleSeen_ = false;      // its last look found it in a cycle of waits
    qint64 waitLookedMs_ = 0;
    size_t nextWrote_ = 0;
    std::thread::id thread_;
    std::unique_ptr<Rights> rights_;
    friend void releaseKilled(const QString& token);
};

std::shared_ptr<AdminState> makeAdminState(Core& core);

// Splits a batch into statements; CREATE PROCEDURE takes the rest of its batch.
std::vector<std::vector<Token>> splitBatch(const std::vector<Token>& tokens);

// Recognises the administration statements (DROP DATABASE, KILL, BACKUP, RESTORE, DBCC,
// UPDATE STATISTICS, ALTER TABLE ... DROP COLUMN, CREATE/ALTER/DROP PROCEDURE).
bool translateAdmin(const std::vector<Token>& statement, size_t first, Translation& tr);
// T-SQL's "SELECT name = expression" in a select list becomes "expression AS name".
std::vector<Token> aliasAssignments(std::vector<Token> select);
provider::Result runAdmin(Core& core, const Translation& tr);

// Runs a procedure call: the system procedures and the database's own stored procedures.
// One result per result set the procedure returns.
std::vector<provider::Result> runProcedure(Core& core, const Translation& tr, const provider::Request& request);

// Catalogue upkeep at login: the tables and columns the administration side needs. Quietly
// does nothing when master cannot be written.
void upgradeCatalogue(sqlite3* master, const ErrorContext& ctx);
// Records the creator of a new database as its owner.
void setDatabaseOwner(sqlite3* master, const QString& database, const QString& login);

}  // namespace data::embedded
