#pragma once
// Object rights of a connection, as SQL Server enforces them: the fixed database roles
// (db_owner, db_datareader, db_datawriter, db_denydatareader, db_denydatawriter, db_ddladmin)
// and GRANT, DENY and REVOKE of SELECT, INSERT, UPDATE, DELETE and EXECUTE on one object to a
// user, a role or public. DENY wins over any grant or role; REVOKE removes either. sysadmin
// logins and the database's owner pass everything; a member of db_owner passes everything but
// a DENY.
//
// Where they live: each database's sysprotects (object id and name, user or role, action,
// GRANT 205 or DENY 206), beside its sysusers and sysmembers. Every change of them also changes
// the database's schema, so that every connection (which checks the schema version before a
// statement anyway) forgets what it knew.
//
// Cost: what a statement reads and writes is noted once, when it is prepared (stmtcache.h);
// the rights of each database are read once and kept until the connection's table definitions
// are forgotten, master may have changed (the server's catalogue counter, or 50 ms gone), or the
// connection itself ran a procedure or an administration statement. A sysadmin or an owner
// costs one look-up per statement after that.
//
// Ownership chains: the statements of a stored procedure run with the procedure owner's rights
// (everything belongs to dbo here), so only the right to EXECUTE the procedure is checked;
// schema changes inside it still need the caller's rights.

#include <QHash>
#include <QSet>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "data/embedded/connection/stmtcache.h"

namespace data::embedded {

class Core;
class ServerSignals;
struct Translation;

class Rights {
public:
    explicit Rights(Core& core) : core_(core) {}

    // Raises 229 (or 916 for a database the login has no user in) unless every use of the
    // statement is allowed. What it uses is not asked for when the login passes everything.
    void check(const StatementCache::Lease& st);
    // A schema statement the engine carries out itself (CREATE TABLE, ALTER TABLE, CREATE
    // INDEX, DROP TABLE): 262, 1088 or 3701 without db_owner or db_ddladmin.
    void checkSchemaChange(const Translation& tr);
    // A pass-through statement that changes the schema (CREATE VIEW, DROP VIEW, ...).
    void checkSchemaText(const QString& sql, const ObjectUses& uses);
    // The right to run a stored procedure of the current database.
    void checkExecute(const QString& procedure);
    // A dropped table takes its rights with it: a table made again under its name starts without.
    void dropped(const Translation& tr);
    // The connection itself may have changed rights or roles.
    void forget() { grants_.clear(); }

    // While a stored procedure runs, its statements are covered by the right to run it.
    class Chain {
    public:
        explicit Chain(Rights& r) : r_(r) { ++r_.chained_; }
        ~Chain() { --r_.chained_; }
        Chain(const Chain&) = delete;
        Chain& operator=(const Chain&) = delete;

    private:
        Rights& r_;
    };

private:
    struct Grants {
        bool bypass = false;   // sysadmin or the database's owner
        bool access = false;   // a user (or guest) of the database
        quint8 roleAllow = 0;  // ObjectUse actions every object allows by role
        quint8 roleDeny = 0;
        bool schema = false;   // db_owner or db_ddladmin
        QString database;      // as the catalogue spells it
        QHash<QString, std::pair<quint8, quint8>> objects;  // lower-case name: granted, denied
        bool allows(const QString& object, quint8 action) const;
    };
    const Grants& grants(const QString& database);
    Grants read(const QString& database);
    bool stale();
    bool sysadmin();
    [[noreturn]] void schemaRefusal(const QString& verb, const QString& kind, const QString& object, const QString& database);

    Core& core_;
    QHash<QString, Grants> grants_;  // by "main" or the attached name, lower case
    quint64 generation_ = 0;
    int chained_ = 0;
    std::shared_ptr<ServerSignals> signals_;
    bool signalsTried_ = false;
    std::uint64_t catalogueSeen_ = 0;
    qint64 checkedMs_ = -1;
    qint64 masterVersion_ = -1;
    std::optional<bool> sysadmin_;
};

}  // namespace data::embedded
