// Object rights: the check before a statement runs, and GRANT, DENY and REVOKE.
#include "data/embedded/server/permissions.h"

#include <ctime>

#include "data/embedded/server/admin_common.h"
#include "data/embedded/server/serversignals.h"
#include "data/embedded/translate/tokenops.h"

namespace data::embedded {

using namespace admin;

namespace {

constexpr qint64 kRecheckMs = 50;
constexpr quint8 kWrite = ObjectUse::Insert | ObjectUse::Update | ObjectUse::Delete;
constexpr quint8 kData = ObjectUse::Select | kWrite;

// sysprotects' action numbers, as SQL Server records them.
struct ActionCode {
    quint8 bit;
    int code;
    const char* name;
};
constexpr ActionCode kActions[] = {{ObjectUse::Select, 193, "SELECT"},
                                   {ObjectUse::Insert, 195, "INSERT"},
                                   {ObjectUse::Delete, 196, "DELETE"},
                                   {ObjectUse::Update, 197, "UPDATE"},
                                   {ObjectUse::Execute, 224, "EXECUTE"}};
constexpr int kGrant = 205;
constexpr int kDeny = 206;

qint64 coarseMs() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The catalogue every user may read.
bool systemObject(const QString& name) {
    static const QSet<QString> names = {
        QStringLiteral("sysobjects"),   QStringLiteral("syscolumns"),  QStringLiteral("sysindexes"),
        QStringLiteral("sysusers"),     QStringLiteral("sysmembers"),  QStringLiteral("sysprotects"),
        QStringLiteral("sysdatabases"), QStringLiteral("syslogins"),   QStringLiteral("sysprocesses"),
        QStringLiteral("sysdevices"),   QStringLiteral("systypes"),    QStringLiteral("sysfiles"),
        QStringLiteral("syscomments"),  QStringLiteral("sysreferences"), QStringLiteral("sysconstraints"),
        QStringLiteral("sysforeignkeys"), QStringLiteral("sysindexkeys"), QStringLiteral("syspermissions")};
    return name.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String("tsql_"), Qt::CaseInsensitive) || names.contains(name.toLower());
}

const char* actionName(quint8 bit) {
    for (const auto& a : kActions) {
        if (a.bit == bit) return a.name;
    }
    return "SELECT";
}

[[noreturn]] void denied(quint8 bit, const QString& object, const QString& database) {
    raiseServerError(229, QStringLiteral("The %1 permission was denied on the object '%2', database '%3', schema 'dbo'.")
                              .arg(QString::fromLatin1(actionName(bit)), object, database));
}

QString keyOf(const QString& schema) {
    return schema.isEmpty() || schema.compare(QLatin1String("main"), Qt::CaseInsensitive) == 0 ? QStringLiteral("main")
                                                                                               : schema.toLower();
}

}  // namespace

bool Rights::Grants::allows(const QString& object, quint8 action) const {
    if (bypass) return true;
    const auto it = objects.constFind(object.toLower());
    const quint8 granted = it == objects.cend() ? 0 : it->first;
    const quint8 deniedBits = it == objects.cend() ? 0 : it->second;
    if ((roleDeny | deniedBits) & action) return false;
    return ((roleAllow | granted) & action) != 0;
}

bool Rights::stale() {
    bool changed = false;
    if (core_.schemaGeneration() != generation_) {
        generation_ = core_.schemaGeneration();
        changed = true;
    }
    // Logins, their server roles and the databases' owners live in master.
    if (!signalsTried_) {
        signalsTried_ = true;
        signals_ = ServerSignals::forFolder(core_.server().path());
    }
    const qint64 nowMs = coarseMs();
    bool look = checkedMs_ < 0 || nowMs - checkedMs_ >= kRecheckMs;
    if (signals_) {
        const std::uint64_t v = signals_->value(ServerSignals::Catalogue);
        look = look || v != catalogueSeen_;
        catalogueSeen_ = v;
    }
    if (look) {
        checkedMs_ = nowMs;
        Statement v(core_.admin().master(), QStringLiteral("PRAGMA main.data_version"), ErrorContext{});
        v.step();
        if (v.int64(0) != masterVersion_) {
            masterVersion_ = v.int64(0);
            changed = true;
        }
    }
    if (changed) {
        grants_.clear();
        sysadmin_.reset();
    }
    return changed;
}

bool Rights::sysadmin() {
    stale();
    if (!sysadmin_) sysadmin_ = core_.admin().login().sysadmin();
    return *sysadmin_;
}

const Rights::Grants& Rights::grants(const QString& database) {
    const auto it = grants_.constFind(database);
    if (it != grants_.cend()) return *it;
    return *grants_.insert(database, read(database));
}

Rights::Grants Rights::read(const QString& key) {
    Grants g;
    AdminState& state = core_.admin();
    const bool main = key == u"main";
    const QString name = main ? core_.database() : key;
    const auto info = databaseInfo(state, name);
    g.database = info ? info->name : name;
    const LoginInfo me = state.login();
    const qint64 owner = info ? info->ownerSid : 1;
    if (me.sysadmin() || (me.sid >= 0 && me.sid == owner)) {
        g.bypass = g.access = true;
        return g;
    }
    const QString schema = main ? QStringLiteral("main") : key;
    const DbUsers users = readUsers(core_.db(), schema, core_.context());
    const DbUser* user = me.sid >= 0 ? users.bySid(me.sid) : nullptr;
    if (user && !user->access) user = nullptr;
    const bool system = sameName(g.database, QStringLiteral("master")) || sameName(g.database, QStringLiteral("tempdb"));
    if (!user) {
        const DbUser* guest = users.byName(QStringLiteral("guest"));
        if ((guest && guest->access) || system) user = guest;
    }
    if (!user && !system) return g;
    g.access = true;
    QSet<int> uids{0, user ? user->uid : 2};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& m : users.members) {
            if (uids.contains(m.first) && !uids.contains(m.second)) {
                uids.insert(m.second);
                grew = true;
            }
        }
    }
    for (const auto& u : users.users) {
        if (!u.role || !uids.contains(u.uid)) continue;
        const QString r = u.name.toLower();
        if (r == u"db_owner") {
            g.roleAllow |= kData | ObjectUse::Execute;
            g.schema = true;
        } else if (r == u"db_ddladmin") {
            g.schema = true;
        } else if (r == u"db_datareader") {
            g.roleAllow |= ObjectUse::Select;
        } else if (r == u"db_datawriter") {
            g.roleAllow |= kWrite;
        } else if (r == u"db_denydatareader") {
            g.roleDeny |= ObjectUse::Select;
        } else if (r == u"db_denydatawriter") {
            g.roleDeny |= kWrite;
        }
    }
    if (hasTable(core_.db(), schema, QStringLiteral("sysprotects"))) {
        Statement q(core_.db(),
                    QStringLiteral("SELECT name, uid, action, protecttype FROM ") + schemaRef(schema) +
                        QStringLiteral(".sysprotects"),
                    core_.context());
        while (q.step()) {
            if (!uids.contains(static_cast<int>(q.int64(1)))) continue;
            quint8 bit = 0;
            for (const auto& a : kActions) {
                if (a.code == q.int64(2)) bit = a.bit;
            }
            auto& entry = g.objects[q.text(0).toLower()];
            (q.int64(3) == kDeny ? entry.second : entry.first) |= bit;
        }
    }
    return g;
}

void Rights::check(const StatementCache::Lease& st) {
    if (chained_ > 0 || sysadmin()) return;
    for (const auto& u : st.uses()) {
        if (u.object.isEmpty() || systemObject(u.object)) continue;
        const Grants& g = grants(u.database);
        if (g.bypass) continue;
        if (!g.access) {
            raiseServerError(916, QStringLiteral("The server principal \"%1\" is not able to access the database \"%2\" "
                                                 "under the current security context.")
                                      .arg(core_.login().name, g.database));
        }
        for (const quint8 bit : {ObjectUse::Select, ObjectUse::Insert, ObjectUse::Update, ObjectUse::Delete}) {
            if ((u.actions & bit) && !g.allows(u.object, bit)) denied(bit, u.object, g.database);
        }
    }
}

void Rights::schemaRefusal(const QString& verb, const QString& kind, const QString& object, const QString& database) {
    if (verb == u"CREATE" && !(kind == u"INDEX")) {
        raiseServerError(262, QStringLiteral("CREATE %1 permission denied in database '%2'.").arg(kind, database));
    }
    if (verb == u"DROP" && kind != u"INDEX") {
        raiseServerError(3701, QStringLiteral("Cannot drop the %1 '%2', because it does not exist or you do not have "
                                              "permission.")
                                   .arg(kind.toLower(), object));
    }
    raiseServerError(1088, QStringLiteral("Cannot find the object \"%1\" because it does not exist or you do not have "
                                          "permissions.")
                               .arg(object));
}

void Rights::checkSchemaChange(const Translation& tr) {
    if (tr.schema.compare(QLatin1String("temp"), Qt::CaseInsensitive) == 0 || tr.table.startsWith(u'#')) return;
    if (sysadmin()) return;
    const Grants& g = grants(keyOf(tr.schema));
    if (g.bypass || g.schema) return;
    switch (tr.kind) {
        case StatementKind::CreateTable:
            schemaRefusal(QStringLiteral("CREATE"), QStringLiteral("TABLE"), tr.table, g.database);
        case StatementKind::DropTable:
            schemaRefusal(QStringLiteral("DROP"), QStringLiteral("TABLE"), tr.table, g.database);
        default:
            schemaRefusal(QStringLiteral("ALTER"), QStringLiteral("TABLE"), tr.table, g.database);
    }
}

void Rights::checkSchemaText(const QString& sql, const ObjectUses& uses) {
    QString database;
    for (const auto& u : uses) {
        if (u.actions & ObjectUse::Schema) database = u.database;
    }
    if (database.isNull() || sysadmin()) return;
    const Grants& g = grants(database);
    if (g.bypass || g.schema) return;
    // The statement's own words name what it wanted: CREATE VIEW v, DROP TRIGGER t, ...
    QStringList words;
    for (const Token& t : tokenize(sql)) {
        if (t.isTrivia() || t.isPunct(".")) continue;
        if (t.isWord("IF") || t.isWord("NOT") || t.isWord("EXISTS") || t.isWord("UNIQUE") || t.isWord("TEMP") ||
            t.isWord("TEMPORARY")) {
            continue;
        }
        words.push_back(t.value());
        if (words.size() == 3) break;
    }
    while (words.size() < 3) words.push_back(QString());
    schemaRefusal(words[0].toUpper(), words[1].toUpper(), words[2], g.database);
}

void Rights::dropped(const Translation& tr) {
    const QString schema = keyOf(tr.schema);
    if (schema == u"temp" || !hasTable(core_.db(), schema, QStringLiteral("sysprotects"))) return;
    Statement del(core_.db(),
                  QStringLiteral("DELETE FROM ") + schemaRef(schema) + QStringLiteral(".sysprotects WHERE name = ? COLLATE NOCASE"),
                  core_.context());
    del.bind(1, trimRight(tr.table));
    del.step();
}

void Rights::checkExecute(const QString& procedure) {
    if (chained_ > 0 || sysadmin()) return;
    const Grants& g = grants(QStringLiteral("main"));
    if (!g.allows(procedure, ObjectUse::Execute)) denied(ObjectUse::Execute, procedure, g.database);
}

// GRANT, DENY and REVOKE of object rights.
namespace admin {

namespace {

struct PermissionStatement {
    QString verb;  // GRANT, DENY or REVOKE
    bool all = false;
    bool grantOptionOnly = false;  // REVOKE GRANT OPTION FOR: the rights themselves stay
    quint8 actions = 0;
    QString object;
    QStringList principals;
};

[[noreturn]] void syntaxAt(const std::vector<Token>& t, size_t i) {
    raiseServerError(102, msg::syntaxNear(i < t.size() ? t[i].text : QString()));
}

PermissionStatement parsePermission(const std::vector<Token>& t) {
    PermissionStatement p;
    size_t i = nextAt(t, 0);
    p.verb = t[i].text.toUpper();
    i = nextAt(t, i + 1);
    if (p.verb == u"REVOKE" && wordAt(t, i, "GRANT")) {
        p.grantOptionOnly = true;
        i = nextAt(t, i + 1);
        if (!wordAt(t, i, "OPTION")) syntaxAt(t, i);
        i = nextAt(t, nextAt(t, i + 1) + 1);
    }
    for (;;) {
        if (wordAt(t, i, "ALL")) {
            p.all = true;
            i = nextAt(t, i + 1);
            if (wordAt(t, i, "PRIVILEGES")) i = nextAt(t, i + 1);
        } else {
            bool known = false;
            for (const auto& a : kActions) {
                if (wordAt(t, i, a.name)) {
                    p.actions |= a.bit;
                    known = true;
                }
            }
            if (wordAt(t, i, "EXEC")) {
                p.actions |= ObjectUse::Execute;
                known = true;
            }
            if (wordAt(t, i, "REFERENCES")) known = true;  // no foreign keys are enforced here
            if (!known) syntaxAt(t, i);
            i = nextAt(t, i + 1);
        }
        if (i < t.size() && t[i].isPunct(",")) {
            i = nextAt(t, i + 1);
            continue;
        }
        break;
    }
    // Rights to run statements (GRANT CREATE TABLE ...) are not kept: only the fixed roles give them.
    if (!wordAt(t, i, "ON")) syntaxAt(t, i);
    i = nextAt(t, i + 1);
    if (wordAt(t, i, "OBJECT")) {
        const size_t c = nextAt(t, i + 1);
        if (c < t.size() && t[c].isPunct("::")) i = nextAt(t, c + 1);
    }
    // [db.][owner.]object: the last part names it.
    while (i < t.size() && t[i].isName()) {
        p.object = t[i].value();
        const size_t dot = nextAt(t, i + 1);
        if (dot < t.size() && t[dot].isPunct(".")) {
            i = nextAt(t, dot + 1);
            while (i < t.size() && t[i].isPunct(".")) i = nextAt(t, i + 1);
            continue;
        }
        i = dot;
        break;
    }
    if (p.object.isEmpty()) syntaxAt(t, i);
    const bool to = wordAt(t, i, "TO") || (p.verb == u"REVOKE" && wordAt(t, i, "FROM"));
    if (!to) syntaxAt(t, i);
    i = nextAt(t, i + 1);
    while (i < t.size() && t[i].isName()) {
        p.principals.push_back(t[i].value());
        i = nextAt(t, i + 1);
        if (i < t.size() && t[i].isPunct(",")) {
            i = nextAt(t, i + 1);
            continue;
        }
        break;
    }
    if (p.principals.isEmpty()) syntaxAt(t, i);
    // WITH GRANT OPTION, CASCADE and AS name change nothing about the right itself.
    for (;;) {
        if (wordAt(t, i, "WITH") || wordAt(t, i, "GRANT") || wordAt(t, i, "OPTION") || wordAt(t, i, "CASCADE")) {
            i = nextAt(t, i + 1);
        } else if (wordAt(t, i, "AS")) {
            i = nextAt(t, nextAt(t, i + 1) + 1);
        } else {
            break;
        }
    }
    if (i < t.size() && !t[i].isPunct(";")) syntaxAt(t, i);
    return p;
}

// The object as the database spells it, and whether it is a procedure; empty when absent.
std::pair<QString, bool> findObject(Core& core, const QString& name) {
    {
        Statement q(core.db(),
                    QStringLiteral("SELECT name FROM main.sqlite_master WHERE type IN ('table', 'view') AND name = ? "
                                   "COLLATE NOCASE"),
                    core.context());
        q.bind(1, trimRight(name));
        if (q.step()) return {q.text(0), false};
    }
    if (const auto def = loadStoredProcedure(core, trimRight(name))) return {def->name.isEmpty() ? name : def->name, true};
    return {};
}

void ensureProtects(sqlite3* db, const ErrorContext& ctx) {
    exec(db,
         QStringLiteral("CREATE TABLE IF NOT EXISTS sysprotects (id int NOT NULL, uid smallint NOT NULL, action tinyint "
                        "NOT NULL, protecttype tinyint NOT NULL, grantor smallint NULL, name varchar(128) NOT NULL)"),
         ctx);
}

}  // namespace

provider::Result permissionStatement(Core& core, const Translation& tr) {
    const PermissionStatement p = parsePermission(tr.definition);
    // Named, not a structured binding: the lambdas below capture them.
    const std::pair<QString, bool> found = findObject(core, p.object);
    const QString& object = found.first;
    const bool procedure = found.second;
    const DbRights mine = rightsHere(core);
    auto notFound = [&] {
        raiseServerError(15151, QStringLiteral("Cannot find the object '%1', because it does not exist or you do not have "
                                               "permission.")
                                    .arg(trimRight(p.object)));
    };
    if (object.isEmpty() || !mine.has("db_securityadmin")) notFound();
    const quint8 applicable = procedure ? quint8(ObjectUse::Execute) : kData;
    const quint8 actions = p.all ? applicable : p.actions;
    if (actions & ~applicable) {
        for (const auto& a : kActions) {
            if (actions & a.bit & ~applicable) {
                raiseServerError(4606, QStringLiteral("Granted or revoked privilege %1 is not compatible with object.")
                                           .arg(QString::fromLatin1(a.name)));
            }
        }
    }
    const DbUsers users = readUsers(core.db(), QStringLiteral("main"), core.context());
    std::vector<int> uids;
    for (const QString& name : p.principals) {
        const DbUser* u = users.byName(name);
        if (!u || (!u->role && !u->access && u->uid != 2)) {
            raiseServerError(15151, QStringLiteral("Cannot find the user '%1', because it does not exist or you do not have "
                                                   "permission.")
                                        .arg(trimRight(name)));
        }
        if (u->uid == 1) raiseServerError(15405, QStringLiteral("Cannot use the special principal '%1'.").arg(u->name));
        uids.push_back(u->uid);
    }
    // Nobody here grants on another's behalf, so taking back the right to do so changes nothing.
    if (p.grantOptionOnly) return noRows();
    const DbUser* grantor = core.admin().login().sid >= 0 ? users.bySid(core.admin().login().sid) : nullptr;
    const qint64 grantorUid = grantor ? grantor->uid : 1;
    auto write = [&] {
        ensureUserTables(core.db(), core.context());
        ensureProtects(core.db(), core.context());
        for (const int uid : uids) {
            for (const auto& a : kActions) {
                if (!(actions & a.bit)) continue;
                Statement del(core.db(),
                              QStringLiteral("DELETE FROM main.sysprotects WHERE uid = ? AND action = ? AND name = ? "
                                             "COLLATE NOCASE"),
                              core.context());
                del.bind(1, static_cast<qint64>(uid));
                del.bind(2, static_cast<qint64>(a.code));
                del.bind(3, object);
                del.step();
                if (p.verb == u"REVOKE") continue;
                Statement ins(core.db(),
                              QStringLiteral("INSERT INTO main.sysprotects (id, uid, action, protecttype, grantor, name) "
                                             "VALUES (?, ?, ?, ?, ?, ?)"),
                              core.context());
                ins.bind(1, objectId(object));
                ins.bind(2, static_cast<qint64>(uid));
                ins.bind(3, static_cast<qint64>(a.code));
                ins.bind(4, static_cast<qint64>(p.verb == u"DENY" ? kDeny : kGrant));
                ins.bind(5, grantorUid);
                ins.bind(6, object);
                ins.step();
            }
        }
        rightsChanged(core.db(), core.context());
    };
    if (core.inTransaction()) {
        exec(core.db(), QStringLiteral("SAVEPOINT tsql_rights"), core.context());
        try {
            write();
            exec(core.db(), QStringLiteral("RELEASE tsql_rights"), core.context());
        } catch (...) {
            sqlite3_exec(core.db(), "ROLLBACK TO tsql_rights; RELEASE tsql_rights", nullptr, nullptr, nullptr);
            throw;
        }
    } else {
        writeTransaction(core.db(), core.context(), write);
    }
    core.schemaChanged();
    return noRows();
}

void rightsChanged(sqlite3* db, const ErrorContext& ctx) {
    exec(db, QStringLiteral("CREATE TABLE main.tsql_rights_touch (x); DROP TABLE main.tsql_rights_touch;"), ctx);
}

}  // namespace admin

}  // namespace data::embedded
