// Logins, passwords and the fixed server roles: sp_addlogin, sp_droplogin, sp_password,
// sp_addsrvrolemember, sp_dropsrvrolemember, sp_helpsrvrolemember, and the catalogue upkeep.
#include "data/embedded/server/admin_common.h"
#include "data/embedded/server/catalog.h"
#include "data/embedded/server/serversignals.h"
#include "data/embedded/translate/sqltype.h"
#include "platform/clock.h"

namespace data::embedded {

using namespace admin;

namespace {

const ErrorContext kMaster{QStringLiteral("master"), QString()};

}  // namespace

void upgradeCatalogue(sqlite3* db, const ErrorContext& ctx) {
    try {
        qint64 version = 0;
        {
            Statement v(db, QStringLiteral("PRAGMA main.user_version"), ctx);
            v.step();
            version = v.int64(0);
            if (version >= 2) return;
        }
        writeTransaction(db, ctx, [&] {
            if (version >= 1) return;
            exec(db,
                 QStringLiteral("CREATE TABLE IF NOT EXISTS sysdevices (name varchar(128) NOT NULL, phyname varchar(260) NOT "
                                "NULL, cntrltype smallint NOT NULL DEFAULT 2, status smallint NOT NULL DEFAULT 16, size int NOT "
                                "NULL DEFAULT 0, low int NULL, high int NULL);"),
                 ctx);
            if (!hasColumn(db, QStringLiteral("sysdatabases"), QStringLiteral("sid"))) {
                exec(db, QStringLiteral("ALTER TABLE sysdatabases ADD COLUMN sid int NOT NULL DEFAULT 1"), ctx);
            }
            if (!hasColumn(db, QStringLiteral("sysdatabases"), QStringLiteral("status"))) {
                exec(db, QStringLiteral("ALTER TABLE sysdatabases ADD COLUMN status int NOT NULL DEFAULT 0"), ctx);
            }
            exec(db, QStringLiteral("PRAGMA main.user_version = 1"), ctx);
        });
        // Every server has sa, as SQL Server has. Where the first login was another, sa is there
        // disabled and without a password: it cannot connect, but it can own databases, which is
        // where the toolkit puts the databases of a login it removes.
        writeTransaction(db, ctx, [&] {
            if (!hasColumn(db, QStringLiteral("syslogins"), QStringLiteral("denylogin"))) {
                exec(db, QStringLiteral("ALTER TABLE syslogins ADD COLUMN denylogin smallint NOT NULL DEFAULT 0"), ctx);
            }
            Statement q(db, QStringLiteral("SELECT count(*) FROM syslogins WHERE name = 'sa' COLLATE NOCASE"), ctx);
            q.step();
            if (q.int64(0) == 0) {
                Statement ins(db,
                              QStringLiteral("INSERT INTO syslogins (name, loginname, password, dbname, createdate, sysadmin, "
                                             "dbcreator, denylogin) VALUES ('sa', 'sa', NULL, 'master', ?, 1, 1, 1)"),
                              ctx);
                ins.bind(1, formatDateTime(platform::now()));
                ins.step();
            }
            exec(db, QStringLiteral("PRAGMA main.user_version = 2"), ctx);
        });
    } catch (const DbError&) {
        // A catalogue that cannot be written still lets its logins in.
    }
}

void setDatabaseOwner(sqlite3* master, const QString& database, const QString& login) {
    try {
        Statement up(master,
                     QStringLiteral("UPDATE sysdatabases SET sid = coalesce((SELECT sid FROM syslogins WHERE name = ? COLLATE "
                                    "NOCASE), 1) WHERE name = ? COLLATE NOCASE"),
                     kMaster);
        up.bind(1, login);
        up.bind(2, database);
        up.step();
    } catch (const DbError&) {
        // Without the owner column the database belongs to the server's first login.
    }
}

namespace admin {

namespace {

bool securityAdmin(const LoginInfo& me) { return me.sysadmin() || me.has("securityadmin"); }

void requireSecurityAdmin(AdminState& state) {
    if (!securityAdmin(state.login())) noPermission();
}

[[noreturn]] void notALogin(const QString& name) {
    raiseServerError(15007, QStringLiteral("'%1' is not a valid login or you do not have permission.").arg(name));
}

QString storedHash(sqlite3* m, qint64 sid) {
    Statement q(m, QStringLiteral("SELECT password FROM syslogins WHERE sid = ?"), kMaster);
    q.bind(1, sid);
    return q.step() ? q.text(0) : QString();
}

void storeHash(sqlite3* m, qint64 sid, const QString& password) {
    Statement up(m, QStringLiteral("UPDATE syslogins SET password = ? WHERE sid = ?"), kMaster);
    up.bind(1, hashPassword(password));
    up.bind(2, sid);
    up.step();
}

QString roleNamed(const QString& given) {
    for (const QString& r : serverRoles()) {
        if (sameName(r, given)) return r;
    }
    return {};
}

std::vector<provider::Result> spAddLogin(Core& core, const Arguments& args) {
    const ProcArgs a(args,
                     {QStringLiteral("loginame"), QStringLiteral("passwd"), QStringLiteral("defdb"), QStringLiteral("deflanguage"),
                      QStringLiteral("sid"), QStringLiteral("encryptopt")},
                     QStringLiteral("sp_addlogin"));
    const QString name = trimRight(a.required(QStringLiteral("loginame")));
    const QString password = a.value(QStringLiteral("passwd"));
    QString defdb = a.value(QStringLiteral("defdb"));
    if (defdb.isNull()) defdb = QStringLiteral("master");
    AdminState& state = core.admin();
    notInTransaction(core, QStringLiteral("sp_addlogin"));
    requireSecurityAdmin(state);
    if (name.trimmed().isEmpty() || name.size() > 128 || name.contains(u'\\')) {
        raiseServerError(15006, QStringLiteral("'%1' is not a valid name because it contains invalid characters.").arg(name));
    }
    if (!databaseInfo(state, defdb)) {
        raiseServerError(15010, QStringLiteral("The database '%1' does not exist. Supply a valid database name. To see available "
                                               "databases, use sys.databases.")
                                    .arg(defdb));
    }
    sqlite3* m = state.master();
    writeTransaction(m, kMaster, [&] {
        if (loginSid(state, name)) raiseServerError(15025, QStringLiteral("The server principal '%1' already exists.").arg(name));
        Statement ins(m,
                      QStringLiteral("INSERT INTO syslogins (name, loginname, password, dbname, createdate) VALUES (?, ?, NULL, "
                                     "?, ?)"),
                      kMaster);
        ins.bind(1, name);
        ins.bind(2, name);
        ins.bind(3, trimRight(defdb));
        ins.bind(4, formatDateTime(platform::now()));
        ins.step();
        storeHash(m, sqlite3_last_insert_rowid(m), password.isNull() ? QString() : password);
    });
    return {};
}

std::vector<provider::Result> spDropLogin(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("loginame")}, QStringLiteral("sp_droplogin"));
    const QString name = a.required(QStringLiteral("loginame"));
    AdminState& state = core.admin();
    notInTransaction(core, QStringLiteral("sp_droplogin"));
    requireSecurityAdmin(state);
    const auto sid = loginSid(state, name);
    if (!sid) notALogin(name);
    if (*sid == 1 || sameName(name, QStringLiteral("sa"))) raiseServerError(15405, QStringLiteral("Cannot use the special principal '%1'.").arg(loginName(state, *sid)));
    for (const auto& d : allDatabases(state)) {
        if (d.ownerSid == *sid) {
            raiseServerError(15174, QStringLiteral("Login '%1' owns one or more database(s). Change the owner of the database(s) "
                                                   "before dropping the login.")
                                        .arg(trimRight(name)));
        }
    }
    for (const auto& p : state.processes()) {
        if (sameName(p.login, name)) {
            raiseServerError(15434,
                             QStringLiteral("Could not drop login '%1' as the user is currently logged in.").arg(trimRight(name)));
        }
    }
    sqlite3* m = state.master();
    writeTransaction(m, kMaster, [&] {
        Statement del(m, QStringLiteral("DELETE FROM syslogins WHERE sid = ?"), kMaster);
        del.bind(1, *sid);
        del.step();
    });
    return {};
}

std::vector<provider::Result> spPassword(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("loginame")},
                     QStringLiteral("sp_password"));
    const QString oldPassword = a.value(QStringLiteral("old"));
    const QString newPassword = a.value(QStringLiteral("new"));
    QString name = a.value(QStringLiteral("loginame"));
    AdminState& state = core.admin();
    notInTransaction(core, QStringLiteral("sp_password"));
    const LoginInfo me = state.login();
    if (name.isNull()) name = me.name;
    const auto sid = loginSid(state, name);
    const bool self = sid && *sid == me.sid;
    auto refuse = [&] {
        raiseServerError(15151, QStringLiteral("Cannot alter the login '%1', because it does not exist or you do not have "
                                               "permission.")
                                    .arg(trimRight(name)));
    };
    if (!sid) refuse();
    // Without the old password only an administrator of logins may set one.
    if (!securityAdmin(me) && (!self || oldPassword.isNull())) refuse();
    sqlite3* m = state.master();
    writeTransaction(m, kMaster, [&] {
        if (!oldPassword.isNull() && !verifyPassword(oldPassword, storedHash(m, *sid))) {
            raiseServerError(15211, QStringLiteral("Old (current) password incorrect for user. The password was not changed."));
        }
        storeHash(m, *sid, newPassword.isNull() ? QString() : newPassword);
    });
    return {};
}

void changeServerRole(Core& core, const Arguments& args, const QString& procedure, bool add) {
    const ProcArgs a(args, {QStringLiteral("loginame"), QStringLiteral("rolename")}, procedure);
    const QString name = a.required(QStringLiteral("loginame"));
    const QString given = a.required(QStringLiteral("rolename"));
    AdminState& state = core.admin();
    notInTransaction(core, procedure);
    const QString role = roleNamed(given);
    if (role.isEmpty()) raiseServerError(15402, QStringLiteral("'%1' is not a fixed server role.").arg(given));
    const LoginInfo me = state.login();
    // A member of a fixed server role may add others to it.
    if (!me.sysadmin() && !me.roles.contains(role)) noPermission();
    const auto sid = loginSid(state, name);
    if (!sid) notALogin(name);
    if (!add && *sid == 1 && role == u"sysadmin") {
        raiseServerError(15405, QStringLiteral("Cannot use the special principal '%1'.").arg(loginName(state, *sid)));
    }
    sqlite3* m = state.master();
    writeTransaction(m, kMaster, [&] {
        Statement up(m, QStringLiteral("UPDATE syslogins SET %1 = ? WHERE sid = ?").arg(role), kMaster);
        up.bind(1, static_cast<qint64>(add ? 1 : 0));
        up.bind(2, *sid);
        up.step();
    });
    // Other connections of the login look at their rights again at once.
    catalogueChanged(core.server().path());
}

std::vector<provider::Result> spAddSrvRoleMember(Core& core, const Arguments& args) {
    changeServerRole(core, args, QStringLiteral("sp_addsrvrolemember"), true);
    return {};
}

std::vector<provider::Result> spDropSrvRoleMember(Core& core, const Arguments& args) {
    changeServerRole(core, args, QStringLiteral("sp_dropsrvrolemember"), false);
    return {};
}

std::vector<provider::Result> spHelpSrvRoleMember(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("srvrolename")}, QStringLiteral("sp_helpsrvrolemember"));
    const QString given = a.value(QStringLiteral("srvrolename"));
    QStringList roles = serverRoles();
    if (!given.isNull()) {
        const QString role = roleNamed(given);
        if (role.isEmpty()) raiseServerError(15412, QStringLiteral("'%1' is not a known fixed role.").arg(given));
        roles = QStringList{role};
    }
    ResultBuilder b;
    b.wide("ServerRole", 128).wide("MemberName", 128).bytes("MemberSID", 85);
    sqlite3* m = core.admin().master();
    for (const QString& role : roles) {
        Statement q(m, QStringLiteral("SELECT name, sid FROM syslogins WHERE %1 <> 0 ORDER BY name COLLATE NOCASE").arg(role),
                    kMaster);
        while (q.step()) b.row({role, q.text(0), sidBytes(q.int64(1))});
    }
    std::vector<provider::Result> out;
    out.push_back(b.done());
    return out;
}

}  // namespace

Handler loginProcedure(const QString& n) {
    if (n == u"sp_addlogin") return spAddLogin;
    if (n == u"sp_droplogin") return spDropLogin;
    if (n == u"sp_password") return spPassword;
    if (n == u"sp_addsrvrolemember") return spAddSrvRoleMember;
    if (n == u"sp_dropsrvrolemember") return spDropSrvRoleMember;
    if (n == u"sp_helpsrvrolemember") return spHelpSrvRoleMember;
    return nullptr;
}

}  // namespace admin

}  // namespace data::embedded
