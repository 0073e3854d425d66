#include "support/embedded_server.h"

#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/recordset.h"

namespace testsupport {

TempEmbeddedServer::TempEmbeddedServer(QString login, QString password)
    : login_(std::move(login)), password_(std::move(password)) {
    connect()->Close();
}

TempEmbeddedServer::~TempEmbeddedServer() = default;

QString TempEmbeddedServer::serverName() const { return QStringLiteral("embedded:") + dir_.path(); }

QString TempEmbeddedServer::databaseFile(const QString& database) const {
    return dir_.path() + u'/' + database + QStringLiteral(".db");
}

std::unique_ptr<data::Connection> TempEmbeddedServer::connect(const QString& database) const {
    auto conn = std::make_unique<data::Connection>();
    conn->setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") +
                              data::quoteConnectionValue(login_) +
                              QStringLiteral(";Initial Catalog=") + database + QStringLiteral(";Data Source=") +
                              serverName());
    conn->Open(QString(), QString(), password_);
    return conn;
}

void TempEmbeddedServer::exec(const QString& database, const QString& sql) const {
    connect(database)->Execute(sql, nullptr, data::ado::adCmdText | data::ado::adExecuteNoRecords);
}

std::vector<std::vector<data::Variant>> TempEmbeddedServer::rows(const QString& database, const QString& sql) const {
    auto conn = connect(database);
    data::Recordset rs;
    rs.Open(sql, *conn, data::ado::adOpenForwardOnly, data::ado::adLockReadOnly, data::ado::adCmdText);
    std::vector<std::vector<data::Variant>> out;
    while (!rs.EOF()) {
        std::vector<data::Variant> row;
        for (long i = 0; i < rs.Fields().Count(); ++i) row.push_back(rs.Fields(i).Value());
        out.push_back(std::move(row));
        rs.MoveNext();
    }
    rs.Close();
    return out;
}

data::Variant TempEmbeddedServer::scalar(const QString& database, const QString& sql) const {
    const auto r = rows(database, sql);
    if (r.empty() || r.front().empty()) return {};
    return r.front().front();
}

std::vector<ColumnInfo> tableColumns(data::Connection& conn, const QString& table) {
    data::Recordset rs;
    rs.Open(QStringLiteral("select * from ") + table + QStringLiteral(" where 1=0"), conn, data::ado::adOpenForwardOnly,
            data::ado::adLockReadOnly, data::ado::adCmdText);
    std::vector<ColumnInfo> out;
    for (long i = 0; i < rs.Fields().Count(); ++i) {
        const data::Field f = rs.Fields(i);
        out.push_back({f.Name(), f.Type(), f.DefinedSize()});
    }
    rs.Close();
    return out;
}

std::vector<QString> helpedStructure(data::Connection& conn, const QString& table) {
    data::Recordset rs = conn.Execute(QStringLiteral("sp_help ") + table);
    std::vector<QString> out;
    for (int list = 0; list < 2; ++list) {
        rs = rs.NextRecordset();  // the column list, then the identity column
        for (; !rs.EOF(); rs.MoveNext()) {
            QStringList row;
            for (long i = 0; i < rs.Fields().Count(); ++i) {
                const data::Variant v = rs.Fields(i).Value();
                row << (v.isNull() ? QStringLiteral("NULL") : v.toString());
            }
            out.push_back(row.join(u'|'));
        }
    }
    return out;
}

}  // namespace testsupport
