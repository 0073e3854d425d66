// Whole databases: DROP DATABASE, sp_helpfile, sp_changedbowner and sp_dboption.
#include <QFile>
#include <QFileInfo>

#include "data/embedded/server/admin_common.h"
#include "data/embedded/server/serversignals.h"
#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/translator.h"
#include "platform/clock.h"

namespace data::embedded::admin {

namespace {

const ErrorContext kMaster{QStringLiteral("master"), QString()};

bool systemDatabase(const QString& name) {
    for (const char* n : {"master", "model", "msdb", "tempdb"}) {
        if (sameName(name, QString::fromLatin1(n))) return true;
    }
    return false;
}

struct Option {
    const char* name;
    qint64 bit;
};

constexpr Option kOptions[] = {
    {"autoclose", 1},
    {"select into/bulkcopy", 4},
    {"trunc. log on chkpt.", 8},
    {"torn page detection", 16},
    {"offline", status::Offline},
    {"read only", status::ReadOnly},
    {"dbo use only", status::DboUseOnly},
    {"single user", status::SingleUser},
    {"autoshrink", 4194304},
};

// SQL Server takes any unique beginning of an option's name.
const Option& optionNamed(const QString& given) {
    const QString g = given.trimmed().toLower();
    for (const auto& o : kOptions) {
        if (g == QLatin1String(o.name)) return o;
    }
    const Option* found = nullptr;
    for (const auto& o : kOptions) {
        if (g.isEmpty() || !QString::fromLatin1(o.name).startsWith(g)) continue;
        if (found) raiseServerError(15242, QStringLiteral("Database option '%1' is not unique.").arg(given));
        found = &o;
    }
    if (!found) {
        raiseServerError(15011, QStringLiteral("Database option '%1' does not exist. Specify a valid database option.").arg(given));
    }
    return *found;
}

[[noreturn]] void noSuchDatabase(const QString& name) {
    raiseServerError(15010, QStringLiteral("The database '%1' does not exist. Supply a valid database name. To see available "
                                           "databases, use sys.databases.")
                                .arg(name));
}

// The database's row in master, made when the file came without one.
DatabaseInfo ensureRow(Core& core, const QString& name) {
    AdminState& state = core.admin();
    if (auto info = databaseInfo(state, name)) return *info;
    const QString file = core.server().databaseFile(name);
    if (file.isEmpty()) noSuchDatabase(name);
    Statement ins(state.master(), QStringLiteral("INSERT INTO sysdatabases (name, crdate, filename) VALUES (?, ?, ?)"), kMaster);
    ins.bind(1, core.server().canonicalName(name));
    ins.bind(2, formatDateTime(platform::now()));
    ins.bind(3, file);
    ins.step();
    return *databaseInfo(state, name);
}

std::vector<QString> namesAfter(const std::vector<Token>& t, size_t from) {
    std::vector<QString> names;
    for (size_t i = from; i < t.size(); ++i) {
        if (t[i].isTrivia() || t[i].isPunct(",")) continue;
        if (!t[i].isName()) raiseServerError(102, msg::syntaxNear(t[i].text));
        names.push_back(t[i].value());
    }
    return names;
}

}  // namespace

provider::Result dropDatabase(Core& core, const Translation& tr) {
    const auto& t = tr.definition;
    size_t i = 0;
    int seen = 0;
    while (i < t.size() && seen < 2) {
        if (!t[i].isTrivia()) ++seen;
        ++i;
    }
    const auto names = namesAfter(t, i);
    if (names.empty()) raiseServerError(102, msg::syntaxNear(QStringLiteral("DATABASE")));
    if (core.inTransaction()) {
        raiseServerError(226, QStringLiteral("DROP DATABASE statement not allowed within multi-statement transaction."));
    }
    AdminState& state = core.admin();
    for (const QString& name : names) {
        const QString file = core.server().databaseFile(name);
        auto refuse = [&] {
            raiseServerError(3701, QStringLiteral("Cannot drop the database '%1', because it does not exist or you do not have "
                                                  "permission.")
                                       .arg(name));
        };
        if (file.isEmpty()) refuse();
        if (systemDatabase(name)) {
            raiseServerError(3708, QStringLiteral("Cannot drop the database '%1' because it is a system database.").arg(name));
        }
        const LoginInfo me = state.login();
        const auto info = databaseInfo(state, name);
        const bool owner = me.sid >= 0 && (info ? info->ownerSid == me.sid : me.sid == 1);
        if (!me.sysadmin() && !me.has("dbcreator") && !owner) refuse();
        if (sameName(core.database(), name) || state.othersIn(name) > 0) {
            raiseServerError(3702, QStringLiteral("Cannot drop database \"%1\" because it is currently in use.").arg(name));
        }
        core.detach(name);
        for (const QString& suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            const QString f = file + suffix;
            if (QFileInfo::exists(f) && !QFile::remove(f)) {
                raiseServerError(5025, QStringLiteral("The file '%1' cannot be removed: %2.").arg(f, QFile(f).errorString()));
            }
        }
        writeTransaction(state.master(), kMaster, [&] {
            Statement del(state.master(), QStringLiteral("DELETE FROM sysdatabases WHERE name = ? COLLATE NOCASE"), kMaster);
            del.bind(1, name);
            del.step();
        });
        catalogueChanged(core.server().path());
    }
    return noRows();
}

namespace {

std::vector<provider::Result> spHelpFile(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("filename")}, QStringLiteral("sp_helpfile"));
    const QString wanted = a.value(QStringLiteral("filename"));
    const QString file = core.server().databaseFile(core.database());
    ResultBuilder b;
    b.wide("name", 128).small("fileid").wide("filename", 260).wide("filegroup", 128).wide("size", 18).wide("maxsize", 18);
    b.wide("growth", 18).text("usage", 9);
    if (wanted.isNull() || sameName(wanted, core.database())) {
        const qint64 kb = (QFileInfo(file).size() + 1023) / 1024;
        b.row({core.database(), static_cast<std::int16_t>(1), file, QStringLiteral("PRIMARY"), QStringLiteral("%1 KB").arg(kb),
               QStringLiteral("Unlimited"), QStringLiteral("10%"), QStringLiteral("data only")});
    }
    std::vector<provider::Result> out;
    out.push_back(b.done());
    return out;
}

std::vector<provider::Result> spChangeDbOwner(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("loginame"), QStringLiteral("map")}, QStringLiteral("sp_changedbowner"));
    const QString login = a.required(QStringLiteral("loginame"));
    notInTransaction(core, QStringLiteral("sp_changedbowner"));
    AdminState& state = core.admin();
    if (systemDatabase(core.database())) {
        raiseServerError(15109, QStringLiteral("Cannot change the owner of the master, model, tempdb or distribution database."));
    }
    if (!state.login().sysadmin()) noPermission();
    const auto sid = loginSid(state, login);
    if (!sid) raiseServerError(15007, QStringLiteral("'%1' is not a valid login or you do not have permission.").arg(login));
    const DbUsers users = readUsers(core.db(), QStringLiteral("main"), core.context());
    if (users.bySid(*sid)) {
        raiseServerError(15110, QStringLiteral("The proposed new database owner is already a user or aliased in the database."));
    }
    writeTransaction(state.master(), kMaster, [&] {
        ensureRow(core, core.database());
        Statement up(state.master(), QStringLiteral("UPDATE sysdatabases SET sid = ? WHERE name = ? COLLATE NOCASE"), kMaster);
        up.bind(1, *sid);
        up.bind(2, core.database());
        up.step();
    });
    return {};
}

std::vector<provider::Result> spDbOption(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("dbname"), QStringLiteral("optname"), QStringLiteral("optvalue")},
                     QStringLiteral("sp_dboption"));
    const QString db = a.value(QStringLiteral("dbname"));
    const QString optname = a.value(QStringLiteral("optname"));
    const QString optvalue = a.value(QStringLiteral("optvalue"));
    AdminState& state = core.admin();
    std::vector<provider::Result> out;
    if (db.isNull()) {
        ResultBuilder b;
        b.text("Settable database options:", 35);
        for (const auto& o : kOptions) b.row({QString::fromLatin1(o.name)});
        out.push_back(b.done());
        return out;
    }
    if (core.server().databaseFile(db).isEmpty()) noSuchDatabase(db);
    const auto info = databaseInfo(state, db);
    const qint64 current = info ? info->status : 0;
    if (optname.isNull()) {
        ResultBuilder b;
        b.text("The following options are set:", 35);
        for (const auto& o : kOptions) {
            if (current & o.bit) b.row({QString::fromLatin1(o.name)});
        }
        out.push_back(b.done());
        return out;
    }
    const Option& option = optionNamed(optname);
    if (optvalue.isNull()) {
        ResultBuilder b;
        b.text("OptionName", 35).text("CurrentSetting", 3);
        b.row({QString::fromLatin1(option.name), (current & option.bit) ? QStringLiteral("on") : QStringLiteral("off")});
        out.push_back(b.done());
        return out;
    }
    const QString v = optvalue.trimmed().toLower();
    if (v != u"true" && v != u"on" && v != u"false" && v != u"off") {
        raiseServerError(15241, QStringLiteral("Usage: sp_dboption [dbname [,optname [,'true' | 'false']]]"));
    }
    const bool on = v == u"true" || v == u"on";
    notInTransaction(core, QStringLiteral("sp_dboption"));
    const QString name = core.server().canonicalName(db);
    if (sameName(name, QStringLiteral("master"))) {
        raiseServerError(5058, QStringLiteral("Option '%1' cannot be set in database 'master'.").arg(QString::fromLatin1(option.name)));
    }
    const LoginInfo me = state.login();
    const bool owner = me.sysadmin() || (me.sid >= 0 && (info ? info->ownerSid == me.sid : me.sid == 1)) ||
                       (sameName(core.database(), name) && rightsHere(core).owner);
    if (!owner) noPermission();
    const bool exclusive = option.bit == status::ReadOnly || option.bit == status::SingleUser || option.bit == status::Offline;
    const bool selfInside = sameName(core.database(), name);
    if (exclusive && ((current & option.bit) != 0) != on &&
        (state.othersIn(name) > 0 || (option.bit == status::Offline && selfInside))) {
        raiseErrors({{5070, QStringLiteral("Database state cannot be changed while other users are using the database '%1'").arg(name)},
                     {5069, QStringLiteral("ALTER DATABASE statement failed.")}});
    }
    writeTransaction(state.master(), kMaster, [&] {
        ensureRow(core, name);
        Statement up(state.master(),
                     on ? QStringLiteral("UPDATE sysdatabases SET status = status | ? WHERE name = ? COLLATE NOCASE")
                        : QStringLiteral("UPDATE sysdatabases SET status = status & ~? WHERE name = ? COLLATE NOCASE"),
                     kMaster);
        up.bind(1, option.bit);
        up.bind(2, name);
        up.step();
    });
    catalogueChanged(core.server().path());
    // The connection takes the new mode at once: a database attached or open read-write
    // before it became read-only would still accept writes.
    core.detach(name);
    if (option.bit == status::ReadOnly && selfInside) core.openDatabase(core.database(), false);
    return out;
}

}  // namespace

Handler databaseProcedure(const QString& n) {
    if (n == u"sp_helpfile") return spHelpFile;
    if (n == u"sp_changedbowner") return spChangeDbOwner;
    if (n == u"sp_dboption") return spDbOption;
    return nullptr;
}

}  // namespace data::embedded::admin
