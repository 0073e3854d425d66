#pragma once
// The embedded server: a folder holding one SQLite file per database, "<database>.db", with
// database names compared without case. "master.db" holds the server's catalogue:
//   syslogins     the logins, each with a salted PBKDF2-SHA256 hash of its password (never the
//                 password itself) and its server roles (sysadmin, dbcreator, ...);
//   sysdatabases  the databases, kept in step with the files in the folder.
// A server folder is made on the first connection to it, and its first login becomes its
// sysadmin. Every server also has the login sa, as SQL Server has: when the first login is
// another, sa is a sysadmin that cannot connect (18470, disabled, without a password) but can
// own databases. Any file "<name>.db" put into the folder (made with the sqlite3 tool, say) is a
// database of the server.

#include <QString>
#include <QStringList>

namespace data::embedded {

class ServerFolder {
public:
    // dataSource: "embedded:<folder>"; a relative folder is taken from the program's folder.
    static ServerFolder fromDataSource(const QString& dataSource);
    explicit ServerFolder(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }
    QString masterPath() const;
    // The file of a database, found without case; empty when the server has none.
    QString databaseFile(const QString& name) const;
    // The database's name as its file spells it.
    QString canonicalName(const QString& name) const;
    QStringList databases() const;

private:
    QString path_;
};

struct Login {
    QString name;
    bool sysadmin = false;
    bool dbcreator = false;
};

// Checks a login and its password against the server's catalogue, making the folder and the
// catalogue first when the server is new (the login then becomes its sysadmin). Raises
// DbError: 18456 for an unknown login or a wrong password, file errors otherwise.
Login logIn(const ServerFolder& server, const QString& login, const QString& password, int busyMs);

// Makes the database file and its catalogue row. Raises 1801 when the database exists.
void createDatabase(const ServerFolder& server, const QString& name, const Login& login, int busyMs);

// The stored form of a password and its test, exposed for tests.
QString hashPassword(const QString& password);
bool verifyPassword(const QString& password, const QString& stored);

}  // namespace data::embedded
