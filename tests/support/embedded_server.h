#pragma once
// A new embedded SQL Server in a temporary folder, removed with the object. The first
// connection (to master) creates the server; its login becomes the sysadmin.
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "data/variant.h"

namespace data {
class Connection;
}

namespace testsupport {

class TempEmbeddedServer {
public:
    explicit TempEmbeddedServer(QString login = QStringLiteral("sa"),
                                QString password = QStringLiteral("Pw.Secreta#2024"));
    ~TempEmbeddedServer();
    TempEmbeddedServer(const TempEmbeddedServer&) = delete;
    TempEmbeddedServer& operator=(const TempEmbeddedServer&) = delete;

    QString serverName() const;  // "embedded:<folder>"
    QString folder() const { return dir_.path(); }
    const QString& login() const { return login_; }
    const QString& password() const { return password_; }
    // The file of a database of this server.
    QString databaseFile(const QString& database) const;

    // An open connection to the database (raises DbError when it does not open).
    std::unique_ptr<data::Connection> connect(const QString& database = QStringLiteral("master")) const;
    // Runs statements on the database (raises DbError).
    void exec(const QString& database, const QString& sql) const;
    // Every row of a query, each as its column values.
    std::vector<std::vector<data::Variant>> rows(const QString& database, const QString& sql) const;
    // The first column of the first row of a query (Empty without rows).
    data::Variant scalar(const QString& database, const QString& sql) const;

private:
    QTemporaryDir dir_;
    QString login_;
    QString password_;
};

// The columns of a table as the access layer sees them: name, ADO type and defined size.
struct ColumnInfo {
    QString name;
    int type = 0;
    long size = 0;
    bool operator==(const ColumnInfo&) const = default;
};
std::vector<ColumnInfo> tableColumns(data::Connection& conn, const QString& table);

// A table's structure as sp_help gives it: each row of its column list (name, type, length,
// precision, scale, nullability, ...) and of its identity column, as one text a row.
std::vector<QString> helpedStructure(data::Connection& conn, const QString& table);

}  // namespace testsupport
