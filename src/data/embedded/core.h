#pragma once
// The state of one embedded connection: its SQLite handle on the connection's database, the
// other databases attached to it, and the caches of translations, table definitions and write
// checks. Shared by the session and by the row writers of its recordsets.
//
// Time-outs: the connection time-out bounds the wait for a locked file while opening; the
// command time-out bounds both a statement's running time (it is then stopped: "Query timeout
// expired") and its wait for another connection's lock (error 1222). A time-out of 0 means no
// limit, except that a lock is waited for at most 600 seconds: a connection of this same
// program holding a lock would otherwise hang the unattended program for good.
//
// Write checks: the refusals of SQL Server's types (varchar width, smallint range, ...) are
// temporary triggers built from each table's declared types on the connection that writes, so
// they also hold for tables made by other tools and are never stored in the database file.

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "data/embedded/catalog.h"
#include "data/embedded/sqlitedb.h"
#include "data/embedded/tabledef.h"
#include "data/embedded/translator.h"
#include "data/provider.h"

namespace data::embedded {

// "main" or the quoted alias of an attached database, for qualifying names in SQL.
QString schemaRef(const QString& schema);

class Core : public std::enable_shared_from_this<Core> {
public:
    Core(ServerFolder server, Login login, long connectionTimeout, long commandTimeout);

    // Opens the named database as the connection's own ("main"). Raises 4060 when the server
    // has no such database, file errors otherwise.
    void openDatabase(const QString& name, bool atLogin);

    sqlite3* db() const { return db_.get(); }
    const QString& database() const { return database_; }
    const ServerFolder& server() const { return server_; }
    const Login& login() const { return login_; }
    ErrorContext context() const { return ErrorContext{database_, path_}; }
    int busyMs() const;
    void setCommandTimeout(long seconds);

    // Statement time limit: armed before running a statement.
    void startClock();

    std::vector<provider::Result> execute(const provider::Request& request);

    // Makes sure the databases are attached under their names. Raises 911 for unknown ones.
    void attach(const QStringList& databases);
    // The definition of a table (nullptr when the schema has no such table).
    const TableDefinition* table(const QString& schema, const QString& name);
    // The table's name as stored; empty when absent.
    QString storedTableName(const QString& schema, const QString& name);
    // Forgets cached definitions and checks (after a schema change).
    void schemaChanged();
    // Makes sure the write checks of a table exist on this connection.
    void ensureChecks(const QString& schema, const QString& table);
    // Whether an unqualified table name finds schema.table on this connection.
    bool resolvesTo(const QString& schema, const QString& table);

    // Reads every row of a prepared statement. keyColumn: the statement's last column is the
    // row key of an updatable query over schema.table.
    provider::Result readRows(sqlite3_stmt* stmt, bool keyColumn, const QString& schema, const QString& table);

    bool inTransaction() const { return sqlite3_get_autocommit(db_.get()) == 0; }

private:
    std::vector<std::shared_ptr<const Translation>> translations(const QString& text);
    provider::Result run(const Translation& tr, const provider::Request& request, size_t& nextParameter);
    provider::Result runPassThrough(const Translation& tr, const provider::Request& request, size_t& nextParameter);
    void installConnection();

    ServerFolder server_;
    Login login_;
    QString database_;
    QString path_;
    DbHandle db_;
    long connectionTimeout_;
    long commandTimeout_;
    QElapsedTimer clock_;
    std::pair<const QElapsedTimer*, const long*> progressClock_{nullptr, nullptr};
    QStringList attached_;  // aliases, most recently used last

    QHash<QString, std::vector<std::shared_ptr<const Translation>>> translationCache_;
    struct CachedTable {
        QString sql;
        TableDefinition def;
    };
    QHash<QString, CachedTable> tables_;
    QHash<QString, qint64> schemaVersions_;
    struct CachedChecks {
        QString sql;
        QString insertTrigger;
        QString updateTrigger;
        bool any = false;
    };
    QHash<QString, CachedChecks> checks_;
    int checkCounter_ = 0;

};

}  // namespace data::embedded
