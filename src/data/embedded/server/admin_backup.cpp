// Backup and restore: sp_addumpdevice, sp_dropdevice, BACKUP DATABASE and RESTORE DATABASE.
// A backup is a copy of the database file made with SQLite's online backup (consistent while
// other connections work), so a backup file is itself a database any SQLite tool opens, and a
// restore puts back exactly the pages that were copied. A file holds one backup: WITH INIT
// replaces it. Relative device and file names are taken from the server folder's "backup"
// folder, as SQL Server takes them from its default backup folder.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cstdio>

#include "data/embedded/server/admin_common.h"
#include "data/embedded/server/privatefiles.h"
#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/translator.h"
#include "platform/clock.h"

namespace data::embedded::admin {

namespace {

const ErrorContext kMaster{QStringLiteral("master"), QString()};

struct Target {
    QString device;  // a dump device's name, or empty
    QString path;    // DISK = '...'
};

struct BackupStatement {
    QString verb;      // "BACKUP" or "RESTORE"
    QString what;      // "DATABASE" or "LOG"
    QString database;
    std::vector<Target> targets;
    bool init = false;
    bool replace = false;
    qint64 file = 1;
};

QString terminating(const BackupStatement& b) {
    return QStringLiteral("%1 %2 is terminating abnormally.").arg(b.verb, b.what);
}

[[noreturn]] void fail(const BackupStatement& b, long number, const QString& text) {
    raiseErrors({{number, text}, {3013, terminating(b)}});
}

BackupStatement parse(const std::vector<Token>& in) {
    std::vector<const Token*> t;
    for (const auto& tok : in) {
        if (!tok.isTrivia()) t.push_back(&tok);
    }
    BackupStatement b;
    size_t i = 0;
    auto syntax = [&](size_t at) -> void {
        raiseServerError(102, msg::syntaxNear(at < t.size() ? t[at]->text : (t.empty() ? QString() : t.back()->text)));
    };
    b.verb = t[i++]->text.toUpper();
    if (i >= t.size() || !(t[i]->isWord("DATABASE") || t[i]->isWord("LOG"))) syntax(i);
    b.what = t[i++]->text.toUpper();
    if (i >= t.size() || !t[i]->isName()) syntax(i);
    b.database = t[i++]->value();
    const char* link = b.verb == u"BACKUP" ? "TO" : "FROM";
    if (i >= t.size() || !t[i]->isWord(link)) syntax(i);
    ++i;
    for (;;) {
        if (i < t.size() && (t[i]->isWord("DISK") || t[i]->isWord("TAPE")) && i + 1 < t.size() && t[i + 1]->isPunct("=")) {
            if (t[i]->isWord("TAPE")) {
                raiseServerError(50000, QStringLiteral("The embedded server backs up to disk files only."));
            }
            if (i + 2 >= t.size() || t[i + 2]->kind != TokenKind::String) syntax(i + 2);
            b.targets.push_back(Target{QString(), t[i + 2]->value()});
            i += 3;
        } else if (i < t.size() && t[i]->isName() && !t[i]->isWord("DISK") && !t[i]->isWord("TAPE")) {
            b.targets.push_back(Target{t[i]->value(), QString()});
            ++i;
        } else {
            syntax(i);
        }
        if (i < t.size() && t[i]->isPunct(",")) {
            ++i;
            continue;
        }
        break;
    }
    if (i < t.size()) {
        if (!t[i]->isWord("WITH")) syntax(i);
        ++i;
        while (i < t.size()) {
            const Token& o = *t[i];
            if (o.isWord("INIT") || o.isWord("FORMAT")) b.init = true;
            if (o.isWord("NOINIT")) b.init = false;
            if (o.isWord("REPLACE")) b.replace = true;
            if (o.isWord("FILE") && i + 2 < t.size() && t[i + 1]->isPunct("=")) {
                b.file = t[i + 2]->text.toLongLong();
                i += 2;
            }
            ++i;
        }
    }
    return b;
}

QString backupFolder(Core& core) { return QDir(core.server().path()).filePath(QStringLiteral("backup")); }

// The file a backup name stands for; the folder of a relative name is made when missing.
QString resolvePath(Core& core, QString path) {
    path.replace(u'\\', u'/');
    if (QDir::isAbsolutePath(path)) return QDir::cleanPath(path);
    makePrivateFolder(backupFolder(core));
    return QDir::cleanPath(QDir(backupFolder(core)).filePath(path));
}

QString targetPath(Core& core, const BackupStatement& b) {
    if (b.targets.size() != 1) {
        raiseServerError(50000, QStringLiteral("The embedded server writes and reads a backup on one file only."));
    }
    const Target& t = b.targets.front();
    if (!t.device.isEmpty()) {
        Statement q(core.admin().master(), QStringLiteral("SELECT phyname FROM sysdevices WHERE name = ? COLLATE NOCASE"),
                    kMaster);
        q.bind(1, trimRight(t.device));
        if (!q.step()) {
            fail(b, 3206, QStringLiteral("No entry in sysdevices for backup device '%1'. Update sysdevices and rerun statement.")
                              .arg(t.device));
        }
        return resolvePath(core, q.text(0));
    }
    if (t.path.trimmed().isEmpty()) fail(b, 3201, QStringLiteral("Cannot open backup device ''. Operating system error 2."));
    return resolvePath(core, t.path);
}

// Copies every page of from into to, waiting out other connections' locks up to the
// command time-out.
void copyPages(Core& core, sqlite3* from, sqlite3* to, const BackupStatement& b, const QString& device) {
    sqlite3_backup* job = sqlite3_backup_init(to, "main", from, "main");
    if (!job) fail(b, 3201, QStringLiteral("Cannot open backup device '%1'. %2").arg(device, QString::fromUtf8(sqlite3_errmsg(to))));
    QElapsedTimer clock;
    clock.start();
    int rc = SQLITE_OK;
    for (;;) {
        rc = sqlite3_backup_step(job, -1);
        if (rc == SQLITE_DONE) break;
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && clock.elapsed() < core.busyMs()) {
            QThread::msleep(20);
            continue;
        }
        break;
    }
    sqlite3_backup_finish(job);
    if (rc == SQLITE_DONE) return;
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) fail(b, 1222, msg::lockTimeout());
    const DbError e = mapSqliteError(to, rc, ErrorContext{b.database, device});
    fail(b, e.number(), e.description());
}

bool validName(const QString& name) {
    if (name.trimmed().isEmpty() || name.size() > 128 || name.startsWith(u'.')) return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c == u':' || c.unicode() < 32) return false;
    }
    return true;
}

}  // namespace

provider::Result backupDatabase(Core& core, const Translation& tr) {
    const BackupStatement b = parse(tr.definition);
    AdminState& state = core.admin();
    if (b.what == u"LOG") {
        fail(b, 4208, QStringLiteral("The statement BACKUP LOG is not allowed while the recovery model is SIMPLE. Use BACKUP "
                                     "DATABASE or change the recovery model using ALTER DATABASE."));
    }
    if (core.inTransaction()) fail(b, 3021, QStringLiteral("Cannot perform a backup or restore operation within a transaction."));
    const QString file = core.server().databaseFile(b.database);
    if (file.isEmpty()) fail(b, 911, msg::databaseMissing(b.database));
    const LoginInfo me = state.login();
    const auto info = databaseInfo(state, b.database);
    const bool owner = me.sid >= 0 && (info ? info->ownerSid == me.sid : me.sid == 1);
    const bool here = sameName(core.database(), b.database);
    if (!me.sysadmin() && !owner && !(here && rightsHere(core).has("db_backupoperator"))) {
        fail(b, 262, QStringLiteral("BACKUP DATABASE permission denied in database '%1'.").arg(b.database));
    }
    const QString path = targetPath(core, b);
    const QFileInfo fi(path);
    if (!fi.dir().exists()) {
        fail(b, 3201, QStringLiteral("Cannot open backup device '%1'. Operating system error 3(The system cannot find the path "
                                     "specified.).")
                          .arg(path));
    }
    if (!b.init && fi.exists() && fi.size() > 0) {
        fail(b, 50000, QStringLiteral("The embedded server keeps one backup on a file: back up WITH INIT to replace the backup on "
                                      "'%1'.")
                           .arg(path));
    }
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    try {
        DbHandle from = openDatabaseFile(file, SQLITE_OPEN_READONLY, core.busyMs(), ErrorContext{b.database, file});
        DbHandle to = openDatabaseFile(part, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, core.busyMs(), ErrorContext{b.database, part});
        copyPages(core, from.get(), to.get(), b, path);
    } catch (const DbError& e) {
        QFile::remove(part);
        if (e.errors().size() > 1) throw;
        fail(b, 3201, QStringLiteral("Cannot open backup device '%1'. %2").arg(path, e.description()));
    }
    // The new backup takes the name only when it is whole.
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(part);
        fail(b, 3201, QStringLiteral("Cannot open backup device '%1'. Operating system error 5(Access is denied.).").arg(path));
    }
    return noRows();
}

provider::Result restoreDatabase(Core& core, const Translation& tr) {
    const BackupStatement b = parse(tr.definition);
    AdminState& state = core.admin();
    if (b.what == u"LOG") {
        fail(b, 3117, QStringLiteral("The log or differential backup cannot be restored because no files are ready to rollforward."));
    }
    if (core.inTransaction()) fail(b, 3021, QStringLiteral("Cannot perform a backup or restore operation within a transaction."));
    if (sameName(b.database, QStringLiteral("master"))) {
        fail(b, 3108, QStringLiteral("To restore the master database, the server must be running in single-user mode."));
    }
    if (!validName(b.database)) fail(b, 102, msg::syntaxNear(b.database));
    const QString existing = core.server().databaseFile(b.database);
    const LoginInfo me = state.login();
    const auto info = databaseInfo(state, b.database);
    const bool owner = !existing.isEmpty() && me.sid >= 0 && (info ? info->ownerSid == me.sid : me.sid == 1);
    if (!me.sysadmin() && !me.has("dbcreator") && !owner) {
        fail(b, 3110, QStringLiteral("User does not have permission to RESTORE database '%1'.").arg(b.database));
    }
    const QString path = targetPath(core, b);
    if (!QFileInfo::exists(path)) {
        fail(b, 3201, QStringLiteral("Cannot open backup device '%1'. Operating system error 2(The system cannot find the file "
                                     "specified.).")
                          .arg(path));
    }
    if (b.file != 1) {
        fail(b, 3246, QStringLiteral("The backup set at position %1 on device '%2' does not exist: the file holds one backup.")
                          .arg(b.file)
                          .arg(path));
    }
    DbHandle from;
    try {
        from = openDatabaseFile(path, SQLITE_OPEN_READONLY, core.busyMs(), ErrorContext{b.database, path});
        Statement probe(from.get(), QStringLiteral("SELECT count(*) FROM sqlite_master"), ErrorContext{b.database, path});
        probe.step();
    } catch (const DbError&) {
        fail(b, 3241, QStringLiteral("The media family on device '%1' is incorrectly formed. SQL Server cannot process this media "
                                     "family.")
                          .arg(path));
    }
    if (sameName(core.database(), b.database) || state.othersIn(b.database) > 0) {
        fail(b, 3101, QStringLiteral("Exclusive access could not be obtained because the database is in use."));
    }
    core.detach(b.database);
    const QString name = existing.isEmpty() ? b.database : core.server().canonicalName(b.database);
    const QString file = existing.isEmpty() ? QDir(core.server().path()).filePath(name + QStringLiteral(".db")) : existing;
    {
        DbHandle to = openDatabaseFile(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, core.busyMs(), ErrorContext{name, file});
        copyPages(core, from.get(), to.get(), b, path);
    }
    if (!info) {
        writeTransaction(state.master(), kMaster, [&] {
            Statement ins(state.master(),
                          QStringLiteral("INSERT INTO sysdatabases (name, crdate, filename, sid) VALUES (?, ?, ?, ?)"), kMaster);
            ins.bind(1, name);
            ins.bind(2, formatDateTime(platform::now()));
            ins.bind(3, file);
            ins.bind(4, me.sid >= 0 ? me.sid : 1);
            ins.step();
        });
    }
    return noRows();
}

namespace {

std::vector<provider::Result> spAddDumpDevice(Core& core, const Arguments& args) {
    const ProcArgs a(args,
                     {QStringLiteral("devtype"), QStringLiteral("logicalname"), QStringLiteral("physicalname"),
                      QStringLiteral("cntrltype"), QStringLiteral("devstatus")},
                     QStringLiteral("sp_addumpdevice"));
    const QString type = a.required(QStringLiteral("devtype"));
    const QString name = trimRight(a.required(QStringLiteral("logicalname")));
    const QString physical = a.required(QStringLiteral("physicalname"));
    notInTransaction(core, QStringLiteral("sp_addumpdevice"));
    AdminState& state = core.admin();
    const LoginInfo me = state.login();
    if (!me.sysadmin() && !me.has("diskadmin")) noPermission();
    const QString t = type.trimmed().toLower();
    if (t == u"tape") raiseServerError(50000, QStringLiteral("The embedded server backs up to disk files only."));
    if (t != u"disk") raiseServerError(15044, QStringLiteral("'%1' is an unknown device type. Use 'disk' or 'tape'.").arg(type));
    if (name.isEmpty()) raiseServerError(15006, QStringLiteral("'' is not a valid name because it contains invalid characters."));
    sqlite3* m = state.master();
    writeTransaction(m, kMaster, [&] {
        Statement q(m, QStringLiteral("SELECT count(*) FROM sysdevices WHERE name = ? COLLATE NOCASE"), kMaster);
        q.bind(1, name);
        q.step();
        if (q.int64(0) > 0) raiseServerError(15026, QStringLiteral("Logical device '%1' already exists.").arg(name));
        Statement ins(m, QStringLiteral("INSERT INTO sysdevices (name, phyname, cntrltype, status) VALUES (?, ?, 2, 16)"), kMaster);
        ins.bind(1, name);
        ins.bind(2, physical);
        ins.step();
    });
    return {};
}

std::vector<provider::Result> spDropDevice(Core& core, const Arguments& args) {
    const ProcArgs a(args, {QStringLiteral("logicalname"), QStringLiteral("delfile")}, QStringLiteral("sp_dropdevice"));
    const QString name = a.required(QStringLiteral("logicalname"));
    notInTransaction(core, QStringLiteral("sp_dropdevice"));
    AdminState& state = core.admin();
    const LoginInfo me = state.login();
    if (!me.sysadmin() && !me.has("diskadmin")) noPermission();
    sqlite3* m = state.master();
    writeTransaction(m, kMaster, [&] {
        Statement del(m, QStringLiteral("DELETE FROM sysdevices WHERE name = ? COLLATE NOCASE"), kMaster);
        del.bind(1, trimRight(name));
        del.step();
        if (sqlite3_changes(m) == 0) {
            raiseServerError(15012, QStringLiteral("The device '%1' does not exist. Use sp_helpdevice to show available devices.")
                                        .arg(name));
        }
    });
    return {};
}

}  // namespace

Handler backupProcedure(const QString& n) {
    if (n == u"sp_addumpdevice") return spAddDumpDevice;
    if (n == u"sp_dropdevice") return spDropDevice;
    return nullptr;
}

}  // namespace data::embedded::admin
