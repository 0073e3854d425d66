#include "data/embedded/server/catalog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

#include "data/embedded/server/admin.h"
#include "data/embedded/server/admin_common.h"
#include "data/embedded/connection/errors.h"
#include "data/embedded/server/privatefiles.h"
#include "data/embedded/connection/sqlitedb.h"
#include "data/embedded/translate/sqltype.h"
#include "platform/appdir.h"
#include "platform/clock.h"

namespace data::embedded {

namespace {

constexpr int kIterations = 10000;
const QString kPrefix = QStringLiteral("embedded:");

QByteArray pbkdf2(const QByteArray& password, const QByteArray& salt, int iterations) {
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, password);
    mac.addData(salt);
    mac.addData(QByteArray("\0\0\0\1", 4));
    QByteArray u = mac.result();
    QByteArray t = u;
    for (int i = 1; i < iterations; ++i) {
        mac.reset();
        mac.addData(u);
        u = mac.result();
        for (qsizetype k = 0; k < t.size(); ++k) t[k] = static_cast<char>(t[k] ^ u[k]);
    }
    return t;
}

const char* const kCatalogue = R"(
CREATE TABLE IF NOT EXISTS syslogins (
  sid INTEGER PRIMARY KEY AUTOINCREMENT,
  name varchar(128) NOT NULL,
  loginname varchar(128) NOT NULL,
  password varchar(256) NULL,
  dbname varchar(128) NULL,
  createdate datetime NULL,
  isntgroup smallint NOT NULL DEFAULT 0,
  isntuser smallint NOT NULL DEFAULT 0,
  sysadmin smallint NOT NULL DEFAULT 0,
  securityadmin smallint NOT NULL DEFAULT 0,
  serveradmin smallint NOT NULL DEFAULT 0,
  setupadmin smallint NOT NULL DEFAULT 0,
  processadmin smallint NOT NULL DEFAULT 0,
  diskadmin smallint NOT NULL DEFAULT 0,
  dbcreator smallint NOT NULL DEFAULT 0,
  bulkadmin smallint NOT NULL DEFAULT 0,
  denylogin smallint NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS sysdatabases (
  dbid INTEGER PRIMARY KEY AUTOINCREMENT,
  name varchar(128) NOT NULL,
  crdate datetime NULL,
  filename varchar(260) NULL);
)";

bool validDatabaseName(const QString& name) {
    if (name.trimmed().isEmpty() || name.size() > 128 || name.startsWith(u'.')) return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 32 || c == u':') return false;
    }
    return true;
}

ErrorContext masterContext(const ServerFolder& s) { return ErrorContext{QStringLiteral("master"), s.masterPath()}; }

// Keeps sysdatabases in step with the files of the folder; quietly skipped when the catalogue
// cannot be written (a read-only folder still serves its databases).
void syncDatabases(sqlite3* db, const ServerFolder& server) {
    try {
        const ErrorContext ctx = masterContext(server);
        exec(db, QStringLiteral("BEGIN IMMEDIATE"), ctx);
        QStringList listed;
        {
            Statement q(db, QStringLiteral("SELECT name FROM sysdatabases"), ctx);
            while (q.step()) listed.push_back(q.text(0));
        }
        const QStringList present = server.databases();
        const QString now = formatDateTime(platform::now());
        for (const QString& name : present) {
            bool known = false;
            for (const auto& l : listed) known = known || l.compare(name, Qt::CaseInsensitive) == 0;
            if (known) continue;
            Statement ins(db, QStringLiteral("INSERT INTO sysdatabases (name, crdate, filename) VALUES (?, ?, ?)"), ctx);
            ins.bind(1, name);
            ins.bind(2, now);
            ins.bind(3, server.databaseFile(name));
            ins.step();
        }
        for (const QString& name : listed) {
            bool there = false;
            for (const auto& p : present) there = there || p.compare(name, Qt::CaseInsensitive) == 0;
            if (there) continue;
            Statement del(db, QStringLiteral("DELETE FROM sysdatabases WHERE name = ?"), ctx);
            del.bind(1, name);
            del.step();
        }
        exec(db, QStringLiteral("COMMIT"), ctx);
    } catch (const DbError&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

}  // namespace

ServerFolder ServerFolder::fromDataSource(const QString& dataSource) {
    QString folder = dataSource.trimmed();
    if (folder.startsWith(kPrefix, Qt::CaseInsensitive)) folder = folder.mid(kPrefix.size()).trimmed();
    if (folder.isEmpty()) {
        raiseServerError(17, QStringLiteral("SQL Server does not exist or access denied: the embedded server \"%1\" names "
                                            "no folder.")
                                 .arg(dataSource));
    }
    if (QDir::isRelativePath(folder)) folder = QDir(platform::appFolder()).filePath(folder);
    return ServerFolder(QDir::cleanPath(folder));
}

QString ServerFolder::masterPath() const { return QDir(path_).filePath(QStringLiteral("master.db")); }

QStringList ServerFolder::databases() const {
    QStringList names;
    const QDir dir(path_);
    const auto files = dir.entryInfoList({QStringLiteral("*.db"), QStringLiteral("*.DB"), QStringLiteral("*.Db"),
                                          QStringLiteral("*.dB")},
                                         QDir::Files | QDir::Readable, QDir::Name);
    for (const auto& fi : files) {
        const QString n = fi.fileName().chopped(3);
        if (!n.isEmpty()) names.push_back(n);
    }
    return names;
}

QString ServerFolder::canonicalName(const QString& name) const {
    for (const QString& n : databases()) {
        if (n.compare(name, Qt::CaseInsensitive) == 0) return n;
    }
    return {};
}

QString ServerFolder::databaseFile(const QString& name) const {
    if (!validDatabaseName(name)) return {};
    const QDir dir(path_);
    const auto files = dir.entryInfoList(QDir::Files, QDir::Name);
    for (const auto& fi : files) {
        const QString f = fi.fileName();
        if (f.size() < 4 || f.right(3).compare(QLatin1String(".db"), Qt::CaseInsensitive) != 0) continue;
        if (f.chopped(3).compare(name, Qt::CaseInsensitive) == 0) return fi.absoluteFilePath();
    }
    return {};
}

QString hashPassword(const QString& password) {
    QByteArray salt(16, '\0');
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    const QByteArray hash = pbkdf2(password.toUtf8(), salt, kIterations);
    return QStringLiteral("pbkdf2-sha256$%1$%2$%3")
        .arg(kIterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(hash.toBase64()));
}

bool verifyPassword(const QString& password, const QString& stored) {
    const QStringList parts = stored.split(u'$');
    if (parts.size() != 4 || parts[0] != u"pbkdf2-sha256") return false;
    bool ok = false;
    const int iterations = parts[1].toInt(&ok);
    if (!ok || iterations < 1 || iterations > 10'000'000) return false;
    const QByteArray salt = QByteArray::fromBase64(parts[2].toLatin1());
    const QByteArray expected = QByteArray::fromBase64(parts[3].toLatin1());
    const QByteArray got = pbkdf2(password.toUtf8(), salt, iterations);
    if (got.size() != expected.size()) return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < got.size(); ++i) diff |= static_cast<unsigned char>(got[i] ^ expected[i]);
    return diff == 0;
}

Login logIn(const ServerFolder& server, const QString& login, const QString& password, int busyMs) {
    if (login.isEmpty()) raiseServerError(18456, msg::loginFailed(login));
    const ErrorContext ctx = masterContext(server);
    const QFileInfo folder(server.path());
    if (folder.exists() && !folder.isDir()) {
        raiseServerError(5123, QStringLiteral("CREATE FILE encountered an operating system error while attempting to "
                                              "open or create the physical file '%1': '%2' is not a folder.")
                                   .arg(server.masterPath(), server.path()));
    }
    if (!folder.exists() && !makePrivateFolder(server.path())) {
        raiseServerError(5123, QStringLiteral("CREATE FILE encountered an operating system error while attempting to "
                                              "open or create the physical file '%1': the folder cannot be made.")
                                   .arg(server.masterPath()));
    }
    DbHandle db = openDatabaseFile(server.masterPath(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, busyMs, ctx);

    bool disabled = false;
    auto lookUp = [&](Login& out, QString& hash) {
        const bool deny = admin::hasColumn(db.get(), QStringLiteral("syslogins"), QStringLiteral("denylogin"));
        Statement q(db.get(),
                    QStringLiteral("SELECT name, password, sysadmin, dbcreator, %1 FROM syslogins WHERE name = ? COLLATE "
                                   "NOCASE")
                        .arg(deny ? QStringLiteral("denylogin") : QStringLiteral("0")),
                    ctx);
        q.bind(1, login);
        if (!q.step()) return false;
        out.name = q.text(0);
        hash = q.text(1);
        out.sysadmin = q.int64(2) != 0;
        out.dbcreator = q.int64(3) != 0;
        disabled = q.int64(4) != 0;
        return true;
    };
    auto catalogueReady = [&] {
        Statement q(db.get(), QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'syslogins'"), ctx);
        q.step();
        if (q.int64(0) == 0) return false;
        Statement c(db.get(), QStringLiteral("SELECT count(*) FROM syslogins"), ctx);
        c.step();
        return c.int64(0) > 0;
    };

    Login result;
    QString hash;
    if (!catalogueReady()) {
        // A new server: its first login becomes its sysadmin. The check is repeated inside the
        // write transaction, so two first connections cannot both take the role.
        exec(db.get(), QStringLiteral("BEGIN IMMEDIATE"), ctx);
        try {
            exec(db.get(), QString::fromLatin1(kCatalogue), ctx);
            Statement c(db.get(), QStringLiteral("SELECT count(*) FROM syslogins"), ctx);
            c.step();
            if (c.int64(0) == 0) {
                Statement ins(db.get(),
                              QStringLiteral("INSERT INTO syslogins (name, loginname, password, dbname, createdate, "
                                             "sysadmin, dbcreator) VALUES (?, ?, ?, 'master', ?, 1, 1)"),
                              ctx);
                ins.bind(1, login);
                ins.bind(2, login);
                ins.bind(3, hashPassword(password));
                ins.bind(4, formatDateTime(platform::now()));
                ins.step();
            }
            exec(db.get(), QStringLiteral("COMMIT"), ctx);
        } catch (...) {
            sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
    upgradeCatalogue(db.get(), ctx);
    if (!lookUp(result, hash) || !verifyPassword(password, hash)) raiseServerError(18456, msg::loginFailed(login));
    if (disabled) {
        raiseServerError(18470, QStringLiteral("Login failed for user '%1'. Reason: The account is disabled.").arg(result.name));
    }
    syncDatabases(db.get(), server);
    return result;
}

void createDatabase(const ServerFolder& server, const QString& name, const Login& login, int busyMs) {
    if (!validDatabaseName(name)) raiseServerError(102, msg::syntaxNear(name));
    if (!login.sysadmin && !login.dbcreator) {
        raiseServerError(262, QStringLiteral("CREATE DATABASE permission denied in database 'master'."));
    }
    if (!server.databaseFile(name).isEmpty() || name.compare(QLatin1String("master"), Qt::CaseInsensitive) == 0) {
        raiseServerError(1801, msg::databaseExists(name));
    }
    const QString path = QDir(server.path()).filePath(name + QStringLiteral(".db"));
    const ErrorContext ctx{name, path};
    {
        DbHandle db = openDatabaseFile(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, busyMs, ctx);
        // Writing the header makes the file a database at once, not an empty file.
        exec(db.get(), QStringLiteral("PRAGMA user_version = 0; CREATE TABLE tsql_init (x); DROP TABLE tsql_init;"), ctx);
    }
    DbHandle master = openDatabaseFile(server.masterPath(), SQLITE_OPEN_READWRITE, busyMs, masterContext(server));
    syncDatabases(master.get(), server);
    setDatabaseOwner(master.get(), name, login.name);
}

}  // namespace data::embedded
