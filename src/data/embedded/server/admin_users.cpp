// Database users and the fixed database roles of the connection's current database:
// sp_adduser, sp_grantdbaccess, sp_revokedbaccess, sp_dropuser, sp_helpuser, sp_addrolemember,
// sp_droprolemember.
#include <algorithm>

#include "data/embedded/server/admin_common.h"
#include "data/embedded/translate/sqltype.h"
#include "platform/clock.h"

namespace data::embedded::admin {

namespace {

constexpr int kFirstUserId = 5;
constexpr int kFirstRoleId = 16384;

[[noreturn]] void notALogin(const QString& name) {
    raiseServerError(15007, QStringLiteral("'%1' is not a valid login or you do not have permission.").arg(name));
}

[[noreturn]] void noSuchUser(const QString& name) {
    raiseServerError(15008, QStringLiteral("User '%1' does not exist in the current database.").arg(name));
}

void requireAccessAdmin(Core& core) {
    if (!rightsHere(core).has("db_accessadmin")) noPermission();
}

DbUsers usersHere(Core& core) { return readUsers(core.db(), QStringLiteral("main"), core.context()); }

int nextUserId(const DbUsers& users) {
    int id = kFirstUserId;
    for (const auto& u : users.users) {
        if (u.uid < kFirstRoleId && u.uid >= id) id = u.uid + 1;
    }
    return id;
}

// Makes a login a user of the current database (sp_adduser and sp_grantdbaccess).
void addUser(Core& core, const QString& login, QString name, const QString& role) {
    AdminState& state = core.admin();
    const auto sid = loginSid(state, login);
    if (name.isNull()) name = sid ? loginName(state, *sid) : login;
    name = trimRight(name);
    DbUsers users = usersHere(core);
    if (sameName(login, QStringLiteral("guest")) && sameName(name, QStringLiteral("guest"))) {
        // Granting access to guest opens the database to every login.
        writeTransaction(core.db(), core.context(), [&] {
            ensureUserTables(core.db(), core.context());
            exec(core.db(), QStringLiteral("UPDATE sysusers SET hasdbaccess = 1 WHERE uid = 2"), core.context());
            rightsChanged(core.db(), core.context());
        });
        return;
    }
    if (!sid) notALogin(login);
    if (users.byName(name)) {
        raiseServerError(15023, QStringLiteral("User, group, or role '%1' already exists in the current database.").arg(name));
    }
    const auto info = databaseInfo(state, core.database());
    if (users.bySid(*sid) || (info && info->ownerSid == *sid) || (!info && *sid == 1)) {
        raiseServerError(15063, QStringLiteral("The login already has an account under a different user name."));
    }
    const DbUser* group = nullptr;
    if (!role.isNull()) {
        group = users.byName(role);
        if (!group || !group->role) {
            raiseServerError(15014, QStringLiteral("The role '%1' does not exist in the current database.").arg(role));
        }
    }
    const int groupUid = group ? group->uid : -1;
    writeTransaction(core.db(), core.context(), [&] {
        ensureUserTables(core.db(), core.context());
        users = usersHere(core);
        const int uid = nextUserId(users);
        const QString now = formatDateTime(platform::now());
        Statement ins(core.db(),
                      QStringLiteral("INSERT INTO sysusers (uid, name, sid, issqluser, issqlrole, hasdbaccess, createdate, "
                                     "updatedate) VALUES (?, ?, ?, 1, 0, 1, ?, ?)"),
                      core.context());
        ins.bind(1, static_cast<qint64>(uid));
        ins.bind(2, name);
        ins.bind(3, *sid);
        ins.bind(4, now);
        ins.bind(5, now);
        ins.step();
        if (groupUid >= 0) {
            Statement m(core.db(), QStringLiteral("INSERT OR IGNORE INTO sysmembers (memberuid, groupuid) VALUES (?, ?)"),
                        core.context());
            m.bind(1, static_cast<qint64>(uid));
            m.bind(2, static_cast<qint64>(groupUid));
            m.step();
        }
        rightsChanged(core.db(), core.context());
    });
}

void removeUser(Core& core, const QString& given) {
    const DbUsers users = usersHere(core);
    const DbUser* u = users.byName(given);
    if (!u || u->role) noSuchUser(trimRight(given));
    if (u->uid == 1) raiseServerError(15150, QStringLiteral("Cannot drop the user '%1'.").arg(u->name));
    const int uid = u->uid;
    writeTransaction(core.db(), core.context(), [&] {
        if (uid == 2) {
            // guest stays, without access
            exec(core.db(), QStringLiteral("UPDATE sysusers SET hasdbaccess = 0 WHERE uid = 2"), core.context());
            rightsChanged(core.db(), core.context());
            return;
        }
        for (const char* sql : {"DELETE FROM sysmembers WHERE memberuid = ?", "DELETE FROM sysusers WHERE uid = ?"}) {
            Statement del(core.db(), QString::fromLatin1(sql), core.context());
            del.bind(1, static_cast<qint64>(uid));
            del.step();
        }
        if (hasTable(core.db(), QStringLiteral("main"), QStringLiteral("sysprotects"))) {
            Statement del(core.db(), QStringLiteral("DELETE FROM main.sysprotects WHERE uid = ?"), core.context());
            del.bind(1, static_cast<qint64>(uid));
            del.step();
        }
        rightsChanged(core.db(), core.context());
    });
}

std::vector<provider::Result> spAddUser(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("loginame"), QStringLiteral("name_in_db"), QStringLiteral("grpname")},
                     QStringLiteral("sp_adduser"));
    const QString login = a.required(QStringLiteral("loginame"));
    notInTransaction(core, QStringLiteral("sp_adduser"));
    requireAccessAdmin(core);
    addUser(core, login, a.value(QStringLiteral("name_in_db")), a.value(QStringLiteral("grpname")));
    return {};
}

std::vector<provider::Result> spGrantDbAccess(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("loginame"), QStringLiteral("name_in_db")}, QStringLiteral("sp_grantdbaccess"));
    const QString login = a.required(QStringLiteral("loginame"));
    notInTransaction(core, QStringLiteral("sp_grantdbaccess"));
    requireAccessAdmin(core);
    addUser(core, login, a.value(QStringLiteral("name_in_db")), QString());
    return {};
}

std::vector<provider::Result> spRevokeDbAccess(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("name_in_db")}, QStringLiteral("sp_revokedbaccess"));
    const QString name = a.required(QStringLiteral("name_in_db"));
    notInTransaction(core, QStringLiteral("sp_revokedbaccess"));
    requireAccessAdmin(core);
    removeUser(core, name);
    return {};
}

std::vector<provider::Result> spDropUser(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("name_in_db")}, QStringLiteral("sp_dropuser"));
    const QString name = a.required(QStringLiteral("name_in_db"));
    notInTransaction(core, QStringLiteral("sp_dropuser"));
    requireAccessAdmin(core);
    removeUser(core, name);
    return {};
}

void changeRole(Core& core, const Arguments& args, const QString& procedure, bool add) {
    const ProcArgs a(args, {QStringLiteral("rolename"), QStringLiteral("membername")}, procedure);
    const QString roleName = a.required(QStringLiteral("rolename"));
    const QString memberName = a.required(QStringLiteral("membername"));
    notInTransaction(core, procedure);
    const DbUsers users = usersHere(core);
    const DbUser* role = users.byName(roleName);
    if (!role || !role->role) {
        raiseServerError(15014, QStringLiteral("The role '%1' does not exist in the current database.").arg(roleName));
    }
    // The fixed roles are given and taken by the database's owners.
    if (!rightsHere(core).owner) noPermission();
    const DbUser* member = users.byName(memberName);
    if (!member) {
        raiseServerError(15410, QStringLiteral("User or role '%1' does not exist in this database.").arg(trimRight(memberName)));
    }
    if (member->uid == 1 || role->uid == 0) {
        raiseServerError(15405, QStringLiteral("Cannot use the special principal '%1'.").arg(member->uid == 1 ? member->name : role->name));
    }
    const int memberUid = member->uid;
    const int roleUid = role->uid;
    writeTransaction(core.db(), core.context(), [&] {
        ensureUserTables(core.db(), core.context());
        Statement st(core.db(),
                     add ? QStringLiteral("INSERT OR IGNORE INTO sysmembers (memberuid, groupuid) VALUES (?, ?)")
                         : QStringLiteral("DELETE FROM sysmembers WHERE memberuid = ? AND groupuid = ?"),
                     core.context());
        st.bind(1, static_cast<qint64>(memberUid));
        st.bind(2, static_cast<qint64>(roleUid));
        st.step();
        rightsChanged(core.db(), core.context());
    });
}

std::vector<provider::Result> spAddRoleMember(Core& core, const Arguments& args) {
    changeRole(core, args, QStringLiteral("sp_addrolemember"), true);
    return {};
}

std::vector<provider::Result> spDropRoleMember(Core& core, const Arguments& args) {
    changeRole(core, args, QStringLiteral("sp_droprolemember"), false);
    return {};
}

std::vector<provider::Result> spHelpUser(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("name_in_db")}, QStringLiteral("sp_helpuser"));
    const QString wanted = a.value(QStringLiteral("name_in_db"));
    AdminState& state = core.admin();
    const DbUsers users = usersHere(core);
    const auto info = databaseInfo(state, core.database());
    const qint64 ownerSid = info ? info->ownerSid : 1;

    const DbUser* named = wanted.isNull() ? nullptr : users.byName(wanted);
    if (!wanted.isNull() && !named) {
        raiseServerError(15198,
                         QStringLiteral("The name supplied (%1) is not a user, role, or aliased login.").arg(trimRight(wanted)));
    }
    std::vector<provider::Result> out;
    if (named && named->role) {
        ResultBuilder b;
        b.wide("Role_name", 128).small("Role_id").wide("Users_in_role", 128).small("Userid");
        for (const auto& m : users.members) {
            if (m.second != named->uid) continue;
            for (const auto& u : users.users) {
                if (u.uid == m.first) {
                    b.row({named->name, static_cast<std::int16_t>(named->uid), u.name, static_cast<std::int16_t>(u.uid)});
                }
            }
        }
        out.push_back(b.done());
        return out;
    }
    struct Row {
        QString user;
        QString role;
        QString login;
        QString defdb;
        int uid;
        qint64 sid;
    };
    std::vector<Row> rows;
    auto loginOf = [&](qint64 sid, QString& defdb) {
        Statement q(state.master(), QStringLiteral("SELECT name, dbname FROM syslogins WHERE sid = ?"), ErrorContext{});
        q.bind(1, sid);
        if (!q.step()) return QString();
        defdb = q.text(1);
        return q.text(0);
    };
    for (const auto& u : users.users) {
        if (u.role) continue;
        if (named && named->uid != u.uid) continue;
        if (!named && !u.access) continue;
        const qint64 sid = u.uid == 1 ? ownerSid : (u.sid ? *u.sid : -1);
        QString defdb;
        const QString login = sid >= 0 ? loginOf(sid, defdb) : QString();
        QStringList roles;
        if (u.uid == 1) roles.push_back(QStringLiteral("db_owner"));
        for (const auto& m : users.members) {
            if (m.first != u.uid) continue;
            for (const auto& r : users.users) {
                if (r.uid == m.second && r.role && !roles.contains(r.name)) roles.push_back(r.name);
            }
        }
        if (roles.isEmpty()) roles.push_back(QStringLiteral("public"));
        for (const QString& r : roles) rows.push_back(Row{u.name, r, login, defdb, u.uid, sid});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& x, const Row& y) {
        const int c = x.user.compare(y.user, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : x.role.compare(y.role, Qt::CaseInsensitive) < 0;
    });
    ResultBuilder b;
    b.wide("UserName", 128).wide("RoleName", 128).wide("LoginName", 128).wide("DefDBName", 128).wide("DefSchemaName", 128);
    b.small("UserID").bytes("SID", 85);
    for (const auto& r : rows) {
        b.row({r.user, r.role, textOrNull(r.login.isEmpty() ? QString() : r.login), textOrNull(r.defdb.isEmpty() ? QString() : r.defdb),
               QStringLiteral("dbo"), static_cast<std::int16_t>(r.uid), sidBytes(r.sid)});
    }
    out.push_back(b.done());
    return out;
}

}  // namespace

Handler userProcedure(const QString& n) {
    if (n == u"sp_adduser") return spAddUser;
    if (n == u"sp_grantdbaccess") return spGrantDbAccess;
    if (n == u"sp_revokedbaccess") return spRevokeDbAccess;
    if (n == u"sp_dropuser") return spDropUser;
    if (n == u"sp_helpuser") return spHelpUser;
    if (n == u"sp_addrolemember") return spAddRoleMember;
    if (n == u"sp_droprolemember") return spDropRoleMember;
    return nullptr;
}

}  // namespace data::embedded::admin
