#pragma once
// The server these tests run against, named by the environment:
//
//   VELMORA_TEST_MSSQL="server=<host>[\<instance>][,<port>];user=<login>;password=<password>"
//
// read as a connection string (values holding ";" in double quotes; "server" may also be
// written "Data Source", "user" "UID", "password" "PWD"). VELMORA_TEST_MSSQL_PASSWORD, when
// set, gives the password instead, so it need not appear in the string. A server name
// "embedded:<folder>" is the embedded engine (a new folder makes a new server whose first
// login becomes its administrator).
//
// The tests work only in databases they create under unique names and drop again, and in the
// staging database Velmora, which they create and drop only when the server has none.

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/variant.h"

namespace data {
class Connection;
}
namespace testsupport {
class TempEmbeddedServer;
}

namespace realserver {

// Why the tests are skipped without the variable, and how to set it.
extern const char* const kNotSet;

struct Target {
    QString server;
    QString user;
    QString password;

    // The server of VELMORA_TEST_MSSQL, or nothing when it is unset or names no server.
    static std::optional<Target> fromEnvironment();

    // An open connection to the database (raises DbError).
    std::unique_ptr<data::Connection> connect(const QString& database) const;
    void exec(const QString& database, const QString& sql) const;
    bool hasDatabase(const QString& name) const;
};

// A database name no other run of the tests uses: the prefix, the process and a random part.
QString uniqueName(const QString& prefix);

// A database on the target for as long as the object lives: created by the object, or adopted
// as the one the program under test is about to create; dropped (when there) as the object
// goes, after a failure too.
class ScratchDatabase {
public:
    enum class Origin { Create, Adopt };
    ScratchDatabase(const Target& target, QString name, Origin origin = Origin::Create);
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    const QString& name() const { return name_; }

private:
    const Target& target_;
    QString name_;
};

// Each row of a query as one text, its values joined by "|" (NULL for Null), so two servers'
// answers compare readably.
QStringList rowTexts(data::Connection& conn, const QString& sql);
// The same rows as one text, a line each, for comparisons that fail readably.
std::string lines(data::Connection& conn, const QString& sql);

// Copies a table of an embedded database, made there by the tests' own builders, to the
// target: its structure as the toolkit duplicates one (unless the target has the table
// already) and every row, except the columns named in `skip` (the target's identity).
void copyTable(const testsupport::TempEmbeddedServer& from, const QString& fromDatabase, const Target& to,
               const QString& toDatabase, const QString& table, bool createTable,
               const QStringList& skip = QStringList());

}  // namespace realserver
