#include "data/embedded/server/admin_common.h"

#include "data/embedded/translate/sqltype.h"
#include "platform/clock.h"

namespace data::embedded::admin {

namespace {

struct FixedRole {
    const char* name;
    int uid;
};

constexpr FixedRole kFixedRoles[] = {
    {"public", 0},
    {"db_owner", 16384},
    {"db_accessadmin", 16385},
    {"db_securityadmin", 16386},
    {"db_ddladmin", 16387},
    {"db_backupoperator", 16389},
    {"db_datareader", 16390},
    {"db_datawriter", 16391},
    {"db_denydatareader", 16392},
    {"db_denydatawriter", 16393},
};

}  // namespace

QString trimRight(const QString& s) {
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ') --n;
    return s.left(n);
}

bool sameName(const QString& a, const QString& b) { return trimRight(a).compare(trimRight(b), Qt::CaseInsensitive) == 0; }

ProcArgs::ProcArgs(const Arguments& args, QStringList order, const QString& procedure)
    : args_(args), order_(std::move(order)), procedure_(procedure) {
    qsizetype positional = 0;
    for (const auto& a : args_) {
        if (a.first.isEmpty()) {
            ++positional;
            continue;
        }
        if (!order_.contains(a.first, Qt::CaseInsensitive)) {
            raiseServerError(8145, QStringLiteral("@%1 is not a parameter for procedure %2.").arg(a.first, procedure_));
        }
    }
    if (positional > order_.size() || static_cast<qsizetype>(args_.size()) > order_.size()) {
        raiseServerError(8144, QStringLiteral("Procedure or function %1 has too many arguments specified.").arg(procedure_));
    }
}

bool ProcArgs::given(const QString& name) const {
    for (const auto& a : args_) {
        if (a.first.compare(name, Qt::CaseInsensitive) == 0) return true;
    }
    const qsizetype position = order_.indexOf(name);
    qsizetype k = 0;
    for (const auto& a : args_) {
        if (!a.first.isEmpty()) continue;
        if (k++ == position) return true;
    }
    return false;
}

QString ProcArgs::value(const QString& name) const {
    for (const auto& a : args_) {
        if (a.first.compare(name, Qt::CaseInsensitive) == 0) return a.second;
    }
    const qsizetype position = order_.indexOf(name);
    qsizetype k = 0;
    for (const auto& a : args_) {
        if (!a.first.isEmpty()) continue;
        if (k++ == position) return a.second;
    }
    return {};
}

QString ProcArgs::required(const QString& name) const {
    const QString v = value(name);
    if (v.isNull()) {
        raiseServerError(201, QStringLiteral("Procedure or function '%1' expects parameter '@%2', which was not supplied.")
                                  .arg(procedure_, name));
    }
    return v;
}

ResultBuilder& ResultBuilder::add(const char* name, int type, long size, int precision, int scale) {
    provider::Column c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.definedSize = size;
    c.precision = precision;
    c.numericScale = scale;
    r_.columns.push_back(c);
    return *this;
}

ResultBuilder& ResultBuilder::text(const char* name, long size) { return add(name, ado::adVarChar, size, 255, 255); }
ResultBuilder& ResultBuilder::wide(const char* name, long size) { return add(name, ado::adVarWChar, size, 255, 255); }
ResultBuilder& ResultBuilder::small(const char* name) { return add(name, ado::adSmallInt, 2, 5, 0); }
ResultBuilder& ResultBuilder::integer(const char* name) { return add(name, ado::adInteger, 4, 10, 0); }
ResultBuilder& ResultBuilder::bytes(const char* name, long size) { return add(name, ado::adVarBinary, size, 255, 255); }
ResultBuilder& ResultBuilder::datetime(const char* name) { return add(name, ado::adDBTimeStamp, 16, 23, 3); }

provider::Result ResultBuilder::done() {
    r_.hasRows = true;
    return std::move(r_);
}

provider::Result noRows(long affected) {
    provider::Result r;
    r.recordsAffected = affected;
    return r;
}

Variant textOrNull(const QString& s) { return s.isNull() ? Variant::null() : Variant(s); }

Variant sidBytes(qint64 sid) {
    if (sid < 0) return Variant::null();
    QByteArray b;
    qint64 v = sid;
    do {
        b.prepend(static_cast<char>(v & 0xff));
        v >>= 8;
    } while (v > 0);
    return b;
}

void raiseErrors(std::vector<std::pair<long, QString>> messages) {
    std::vector<Error> list;
    for (auto& m : messages) list.emplace_back(m.first, m.second, QStringLiteral("42000"));
    throw DbError(std::move(list));
}

void noPermission() { raiseServerError(15247, QStringLiteral("User does not have permission to perform this action.")); }

void notInTransaction(Core& core, const QString& procedure) {
    if (core.inTransaction()) {
        raiseServerError(15002, QStringLiteral("The procedure '%1' cannot be executed within a transaction.").arg(procedure));
    }
}

void writeTransaction(sqlite3* db, const ErrorContext& ctx, const std::function<void()>& fn) {
    exec(db, QStringLiteral("BEGIN IMMEDIATE"), ctx);
    try {
        fn();
        exec(db, QStringLiteral("COMMIT"), ctx);
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

bool hasTable(sqlite3* db, const QString& schema, const QString& table) {
    Statement q(db,
                QStringLiteral("SELECT count(*) FROM ") + schemaRef(schema) +
                    QStringLiteral(".sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"),
                ErrorContext{});
    q.bind(1, table);
    q.step();
    return q.int64(0) > 0;
}

bool hasColumn(sqlite3* db, const QString& table, const QString& column) {
    Statement q(db, QStringLiteral("PRAGMA main.table_info(") + quoteName(table) + u')', ErrorContext{});
    while (q.step()) {
        if (q.text(1).compare(column, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

namespace {

DatabaseInfo readInfo(Statement& q, bool full) {
    DatabaseInfo d;
    d.dbid = q.int64(0);
    d.name = q.text(1);
    if (full) {
        d.ownerSid = q.isNull(2) ? 1 : q.int64(2);
        d.status = q.int64(3);
    }
    return d;
}

QString infoSql(sqlite3* m, bool& full) {
    full = hasColumn(m, QStringLiteral("sysdatabases"), QStringLiteral("status"));
    return full ? QStringLiteral("SELECT dbid, name, sid, status FROM sysdatabases")
                : QStringLiteral("SELECT dbid, name FROM sysdatabases");
}

}  // namespace

std::optional<DatabaseInfo> databaseInfo(AdminState& state, const QString& name) {
    sqlite3* m = state.master();
    bool full = false;
    Statement q(m, infoSql(m, full) + QStringLiteral(" WHERE name = ? COLLATE NOCASE"), ErrorContext{});
    q.bind(1, trimRight(name));
    if (!q.step()) return std::nullopt;
    return readInfo(q, full);
}

std::vector<DatabaseInfo> allDatabases(AdminState& state) {
    sqlite3* m = state.master();
    bool full = false;
    Statement q(m, infoSql(m, full) + QStringLiteral(" ORDER BY dbid"), ErrorContext{});
    std::vector<DatabaseInfo> out;
    while (q.step()) out.push_back(readInfo(q, full));
    return out;
}

QString loginName(AdminState& state, qint64 sid) {
    Statement q(state.master(), QStringLiteral("SELECT name FROM syslogins WHERE sid = ?"), ErrorContext{});
    q.bind(1, sid);
    return q.step() ? q.text(0) : QString();
}

std::optional<qint64> loginSid(AdminState& state, const QString& name) {
    Statement q(state.master(), QStringLiteral("SELECT sid FROM syslogins WHERE name = ? COLLATE NOCASE"), ErrorContext{});
    q.bind(1, trimRight(name));
    if (!q.step()) return std::nullopt;
    return q.int64(0);
}

const DbUser* DbUsers::byName(const QString& name) const {
    for (const auto& u : users) {
        if (sameName(u.name, name)) return &u;
    }
    return nullptr;
}

const DbUser* DbUsers::bySid(qint64 sid) const {
    for (const auto& u : users) {
        if (!u.role && u.sid && *u.sid == sid) return &u;
    }
    return nullptr;
}

bool DbUsers::memberOf(int uid, const QString& role) const {
    const DbUser* r = byName(role);
    if (!r || !r->role) return false;
    for (const auto& m : members) {
        if (m.first == uid && m.second == r->uid) return true;
    }
    return false;
}

DbUsers readUsers(sqlite3* db, const QString& schema, const ErrorContext& ctx) {
    DbUsers out;
    if (!hasTable(db, schema, QStringLiteral("sysusers"))) {
        for (const auto& r : kFixedRoles) out.users.push_back(DbUser{r.uid, QString::fromLatin1(r.name), std::nullopt, true, false});
        out.users.push_back(DbUser{1, QStringLiteral("dbo"), std::nullopt, false, true});
        out.users.push_back(DbUser{2, QStringLiteral("guest"), std::nullopt, false, false});
        return out;
    }
    {
        Statement q(db,
                    QStringLiteral("SELECT uid, name, sid, issqlrole, hasdbaccess FROM ") + schemaRef(schema) +
                        QStringLiteral(".sysusers ORDER BY uid"),
                    ctx);
        while (q.step()) {
            DbUser u;
            u.uid = static_cast<int>(q.int64(0));
            u.name = q.text(1);
            if (!q.isNull(2)) u.sid = q.int64(2);
            u.role = q.int64(3) != 0;
            u.access = q.int64(4) != 0;
            out.users.push_back(u);
        }
    }
    if (hasTable(db, schema, QStringLiteral("sysmembers"))) {
        Statement q(db, QStringLiteral("SELECT memberuid, groupuid FROM ") + schemaRef(schema) + QStringLiteral(".sysmembers"), ctx);
        while (q.step()) out.members.emplace_back(static_cast<int>(q.int64(0)), static_cast<int>(q.int64(1)));
    }
    return out;
}

void ensureUserTables(sqlite3* db, const ErrorContext& ctx) {
    if (hasTable(db, QStringLiteral("main"), QStringLiteral("sysusers"))) return;
    exec(db,
         QStringLiteral("CREATE TABLE sysusers (uid smallint NOT NULL PRIMARY KEY, name varchar(128) NOT NULL, sid int NULL, "
                        "issqluser smallint NOT NULL DEFAULT 0, issqlrole smallint NOT NULL DEFAULT 0, hasdbaccess smallint "
                        "NOT NULL DEFAULT 0, createdate datetime NULL, updatedate datetime NULL);"
                        "CREATE TABLE IF NOT EXISTS sysmembers (memberuid smallint NOT NULL, groupuid smallint NOT NULL, "
                        "PRIMARY KEY (memberuid, groupuid));"),
         ctx);
    const QString now = formatDateTime(platform::now());
    auto add = [&](int uid, const QString& name, bool role, bool access) {
        Statement ins(db,
                      QStringLiteral("INSERT INTO sysusers (uid, name, sid, issqluser, issqlrole, hasdbaccess, createdate, "
                                     "updatedate) VALUES (?, ?, NULL, ?, ?, ?, ?, ?)"),
                      ctx);
        ins.bind(1, static_cast<qint64>(uid));
        ins.bind(2, name);
        ins.bind(3, static_cast<qint64>(role ? 0 : 1));
        ins.bind(4, static_cast<qint64>(role ? 1 : 0));
        ins.bind(5, static_cast<qint64>(access ? 1 : 0));
        ins.bind(6, now);
        ins.bind(7, now);
        ins.step();
    };
    add(1, QStringLiteral("dbo"), false, true);
    add(2, QStringLiteral("guest"), false, false);
    for (const auto& r : kFixedRoles) add(r.uid, QString::fromLatin1(r.name), true, false);
}

DbRights rightsHere(Core& core) {
    DbRights r;
    AdminState& state = core.admin();
    const LoginInfo login = state.login();
    if (login.sysadmin()) {
        r.owner = true;
        return r;
    }
    const auto info = databaseInfo(state, core.database());
    const qint64 owner = info ? info->ownerSid : 1;
    if (login.sid >= 0 && owner == login.sid) {
        r.owner = true;
        return r;
    }
    const DbUsers users = readUsers(core.db(), QStringLiteral("main"), core.context());
    const DbUser* me = login.sid >= 0 ? users.bySid(login.sid) : nullptr;
    if (!me) return r;
    for (const auto& m : users.members) {
        if (m.first != me->uid) continue;
        for (const auto& u : users.users) {
            if (u.uid == m.second && u.role) r.roles.insert(u.name.toLower());
        }
    }
    r.owner = r.roles.contains(QStringLiteral("db_owner"));
    return r;
}

qint64 objectId(const QString& name) {
    quint32 h = 2166136261u;
    for (const QChar c : trimRight(name).toLower()) {
        h ^= c.unicode();
        h *= 16777619u;
    }
    qint64 id = static_cast<qint64>(h & 0x7fffffffu);
    if (id < 1000) id += 1000;
    return id;
}

}  // namespace data::embedded::admin
