#pragma once
// Helpers shared by the administration files: procedure arguments, result sets, SQL Server's
// name comparison, catalogue look-ups and the permission checks.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "data/adoconstants.h"
#include "data/embedded/server/admin.h"
#include "data/embedded/connection/core.h"
#include "data/embedded/connection/errors.h"
#include "data/embedded/procedures/tsql_interpreter.h"

namespace data::embedded::admin {

using Arguments = std::vector<std::pair<QString, QString>>;

// Names compare as SQL Server compares sysname: without case, trailing blanks ignored.
bool sameName(const QString& a, const QString& b);
QString trimRight(const QString& s);

// The arguments of a system procedure, by name or position. Raises 8145 for an unknown name
// and 8144 for too many arguments.
class ProcArgs {
public:
    ProcArgs(const Arguments& args, QStringList order, const QString& procedure);
    // The value; a null QString when not given or NULL.
    QString value(const QString& name) const;
    bool given(const QString& name) const;
    const QString& procedure() const { return procedure_; }
    // Raises 201 when the parameter has no value.
    QString required(const QString& name) const;

private:
    Arguments args_;
    QStringList order_;
    QString procedure_;
};

// A result set built column by column.
class ResultBuilder {
public:
    ResultBuilder& text(const char* name, long size = 128);
    ResultBuilder& wide(const char* name, long size = 128);
    ResultBuilder& small(const char* name);
    ResultBuilder& integer(const char* name);
    ResultBuilder& bytes(const char* name, long size = 85);
    ResultBuilder& datetime(const char* name);
    void row(provider::Row values) { r_.rows.push_back(std::move(values)); }
    provider::Result done();

private:
    ResultBuilder& add(const char* name, int type, long size, int precision, int scale);
    provider::Result r_;
};

provider::Result noRows(long affected = -1);
Variant textOrNull(const QString& s);
Variant sidBytes(qint64 sid);

// Several messages of one failure, as SQL Server sends them.
[[noreturn]] void raiseErrors(std::vector<std::pair<long, QString>> messages);

// 15247, the refusal of a procedure the login lacks the rights for.
[[noreturn]] void noPermission();
// 15002: catalogue procedures cannot run inside a user transaction.
void notInTransaction(Core& core, const QString& procedure);

// Runs fn inside a write transaction on db (BEGIN IMMEDIATE ... COMMIT).
void writeTransaction(sqlite3* db, const ErrorContext& ctx, const std::function<void()>& fn);
bool hasTable(sqlite3* db, const QString& schema, const QString& table);
bool hasColumn(sqlite3* db, const QString& table, const QString& column);

// A database of the server as master records it.
struct DatabaseInfo {
    qint64 dbid = 0;
    QString name;
    qint64 ownerSid = 1;
    qint64 status = 0;
};
std::optional<DatabaseInfo> databaseInfo(AdminState& state, const QString& name);
std::vector<DatabaseInfo> allDatabases(AdminState& state);
QString loginName(AdminState& state, qint64 sid);         // empty when no such login
std::optional<qint64> loginSid(AdminState& state, const QString& name);

// Option bits of sysdatabases.status, as SQL Server numbers them.
namespace status {
inline constexpr qint64 ReadOnly = 1024;
inline constexpr qint64 DboUseOnly = 2048;
inline constexpr qint64 SingleUser = 4096;
inline constexpr qint64 Offline = 512;
}  // namespace status

// Database users of one database (its own sysusers/sysmembers, or only dbo without them).
struct DbUser {
    int uid = 0;
    QString name;
    std::optional<qint64> sid;  // the login; none for roles and orphans
    bool role = false;
    bool access = false;
};
struct DbUsers {
    std::vector<DbUser> users;                 // users and roles
    std::vector<std::pair<int, int>> members;  // member uid, role uid
    const DbUser* byName(const QString& name) const;
    const DbUser* bySid(qint64 sid) const;
    bool memberOf(int uid, const QString& role) const;
};
// The schema is "main" or an attached alias.
DbUsers readUsers(sqlite3* db, const QString& schema, const ErrorContext& ctx);
// Makes sysusers and sysmembers with the fixed roles when the database has none.
void ensureUserTables(sqlite3* db, const ErrorContext& ctx);

// What the login may do in the connection's current database.
struct DbRights {
    bool owner = false;     // sysadmin, the database's owner, or a member of db_owner
    QSet<QString> roles;    // lower-case fixed database roles the login's user belongs to
    bool has(const char* role) const { return owner || roles.contains(QString::fromLatin1(role)); }
};
DbRights rightsHere(Core& core);

// SQL Server's object ids: a stable number for a name of the current database.
qint64 objectId(const QString& name);

// Rights of users and roles changed in the database: every connection forgets what it knew of
// them when it next looks at the schema version (permissions.h).
void rightsChanged(sqlite3* db, const ErrorContext& ctx);

// Administration statement handlers (one file each).
provider::Result permissionStatement(Core& core, const Translation& tr);  // GRANT, DENY, REVOKE
provider::Result dropDatabase(Core& core, const Translation& tr);
provider::Result killProcess(Core& core, const Translation& tr);
provider::Result backupDatabase(Core& core, const Translation& tr);
provider::Result restoreDatabase(Core& core, const Translation& tr);
provider::Result dbcc(Core& core, const Translation& tr);
provider::Result updateStatistics(Core& core, const Translation& tr);
provider::Result dropColumn(Core& core, const Translation& tr);
provider::Result createProcedure(Core& core, const Translation& tr);
provider::Result dropProcedure(Core& core, const Translation& tr);

// System procedure handlers: nullptr when the name is not one of the family's.
using Handler = std::vector<provider::Result> (*)(Core&, const Arguments&);
Handler loginProcedure(const QString& lowerName);
Handler userProcedure(const QString& lowerName);
Handler databaseProcedure(const QString& lowerName);
Handler processProcedure(const QString& lowerName);
Handler backupProcedure(const QString& lowerName);
Handler maintenanceProcedure(const QString& lowerName);
Handler storedProcedureProcedure(const QString& lowerName);

// A stored procedure of the current database, read from its definition; nullopt when absent.
std::optional<tsql::ProcedureDef> loadStoredProcedure(Core& core, const QString& name);
// The database's own stored procedures: nullopt when it has none of that name.
std::optional<std::vector<provider::Result>> runStoredProcedure(Core& core, const QString& name, const Arguments& args,
                                                                const provider::Request* typed, int depth);

}  // namespace data::embedded::admin
