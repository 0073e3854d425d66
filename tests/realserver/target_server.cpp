#include "realserver/target_server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRandomGenerator>
#include <exception>
#include <stdexcept>

#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/recordset.h"
#include "sqltoolkit/CSql.h"
#include "support/company_db.h"
#include "support/embedded_server.h"

namespace realserver {

const char* const kNotSet =
    "VELMORA_TEST_MSSQL is not set: to run these tests against a SQL Server (through FreeTDS), set it to "
    "\"server=<host>[\\<instance>][,<port>];user=<login>;password=<password>\" (or give the password in "
    "VELMORA_TEST_MSSQL_PASSWORD); \"server=embedded:<folder>\" runs them on the embedded engine";

std::optional<Target> Target::fromEnvironment() {
    const QString text = qEnvironmentVariable("VELMORA_TEST_MSSQL");
    const data::ConnectionString cs(text);
    Target t{cs.dataSource().trimmed(), cs.userId(), cs.password()};
    if (qEnvironmentVariableIsSet("VELMORA_TEST_MSSQL_PASSWORD")) {
        t.password = qEnvironmentVariable("VELMORA_TEST_MSSQL_PASSWORD");
    }
    if (t.server.isEmpty()) return std::nullopt;
    return t;
}

std::unique_ptr<data::Connection> Target::connect(const QString& database) const {
    auto conn = std::make_unique<data::Connection>();
    conn->setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") +
                              data::quoteConnectionValue(user) + QStringLiteral(";Initial Catalog=") + database +
                              QStringLiteral(";Data Source=") + data::quoteConnectionValue(server));
    conn->Open(QString(), QString(), password);
    return conn;
}

void Target::exec(const QString& database, const QString& sql) const {
    connect(database)->Execute(sql, nullptr, data::ado::adCmdText | data::ado::adExecuteNoRecords);
}

bool Target::hasDatabase(const QString& name) const {
    auto conn = connect(QStringLiteral("master"));
    return !rowTexts(*conn, QStringLiteral("select name from master..sysdatabases where name = '") + name + u'\'')
                .isEmpty();
}

QString uniqueName(const QString& prefix) {
    return prefix + QString::number(QCoreApplication::applicationPid()) + u'_' +
           QString::number(QRandomGenerator::global()->generate() % 1000000u);
}

ScratchDatabase::ScratchDatabase(const Target& target, QString name, Origin origin)
    : target_(target), name_(std::move(name)) {
    if (origin == Origin::Create) target_.exec(QStringLiteral("master"), QStringLiteral("Create Database ") + name_);
}

ScratchDatabase::~ScratchDatabase() {
    try {
        if (!target_.hasDatabase(name_)) return;
        auto master = target_.connect(QStringLiteral("master"));
        // A connection the program under test left open would keep SQL Server from dropping it;
        // the embedded engine refuses the statement and has nothing to end.
        try {
            master->Execute(QStringLiteral("alter database [") + name_ +
                            QStringLiteral("] set single_user with rollback immediate"));
        } catch (const std::exception&) {
        }
        master->Execute(QStringLiteral("Drop Database [") + name_ + u']');
    } catch (const std::exception& e) {
        ADD_FAILURE() << "the scratch database " << name_.toStdString() << " was not dropped: " << e.what();
    }
}

QStringList rowTexts(data::Connection& conn, const QString& sql) {
    data::Recordset rs;
    rs.Open(sql, conn, data::ado::adOpenForwardOnly, data::ado::adLockReadOnly, data::ado::adCmdText);
    QStringList out;
    for (; !rs.EOF(); rs.MoveNext()) {
        QStringList row;
        for (long i = 0; i < rs.Fields().Count(); ++i) {
            const data::Variant v = rs.Fields(i).Value();
            row << (v.isNull() ? QStringLiteral("NULL") : v.toString());
        }
        out << row.join(u'|');
    }
    rs.Close();
    return out;
}

std::string lines(data::Connection& conn, const QString& sql) {
    return rowTexts(conn, sql).join(u'\n').toStdString();
}

void copyTable(const testsupport::TempEmbeddedServer& from, const QString& fromDatabase, const Target& to,
               const QString& toDatabase, const QString& table, bool createTable, const QStringList& skip) {
    auto source = from.connect(fromDatabase);
    auto target = to.connect(toDatabase);
    if (createTable) {
        const QString script = gobjSql().DuplicateStructure(from.serverName(), from.login(), from.password(),
                                                            fromDatabase, table, table);
        if (script.isEmpty()) throw std::runtime_error("no structure for " + table.toStdString());
        target->Execute(script);
    }
    // The literals write dates as "yyyy-mm-dd hh:mm:ss", which SQL Server reads by the login's
    // date order unless told.
    try {
        target->Execute(QStringLiteral("set dateformat ymd"));
    } catch (const std::exception&) {
    }
    std::vector<int> kept;
    QString names;
    const auto columns = testsupport::tableColumns(*source, table);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (skip.contains(columns[i].name, Qt::CaseInsensitive)) continue;
        kept.push_back(static_cast<int>(i));
        names += (names.isEmpty() ? QString() : QStringLiteral(",")) + columns[i].name;
    }
    for (const auto& row : from.rows(fromDatabase, QStringLiteral("select * from ") + table)) {
        QString values;
        for (const int i : kept) values += (values.isEmpty() ? QString() : QStringLiteral(",")) + testsupport::sqlLiteral(row[i]);
        target->Execute(QStringLiteral("insert into ") + table + QStringLiteral(" (") + names +
                        QStringLiteral(") values (") + values + u')');
    }
}

}  // namespace realserver
