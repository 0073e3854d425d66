#pragma once
// A session of the SQL Server provider on a loopback TDS responder (support/tds_responder.py),
// through the real unixODBC and FreeTDS driver; skipped where either is missing.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <memory>

#include "data/adoconstants.h"
#include "data/dberror.h"
#include "data/odbc/odbc_provider.h"
#include "support/tds_server.h"

namespace wiretest {

using namespace data::provider;
using data::ConnectionString;
using testsupport::TdsTestServer;
inline QJsonObject json(const char* text) { return QJsonDocument::fromJson(QByteArray(text)).object(); }

class OdbcWire : public ::testing::Test {
protected:
    void SetUp() override {
        if (!odbcDriverRegistered(QStringLiteral("FreeTDS")))
            GTEST_SKIP() << "the FreeTDS ODBC driver is not registered in odbcinst.ini";
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) GTEST_SKIP() << "no /usr/bin/python3";
    }

    // A responder with the script (whose logins are sa/secret unless it names its own) and,
    // with connect, a session on it as sa/secret in database db.
    void start(const char* script, bool connect = true) {
        QJsonObject s = json(script);
        if (!s.contains(QStringLiteral("logins"))) s.insert(QStringLiteral("logins"), json(R"js({"sa": "secret"})js"));
        server_ = std::make_unique<TdsTestServer>(s);
        ASSERT_TRUE(server_->ok()) << server_->error().toStdString();
        if (connect) session_ = openOdbcSession(arguments(QStringLiteral("secret")));
    }

    // The connection string of the responder's database db as user sa; dataSource replaces
    // "127.0.0.1,<port>" where given.
    QString connectionString(const QString& dataSource = {}) const {
        return QStringLiteral("Provider=SQLOLEDB;Data Source=") +
               (dataSource.isEmpty() ? server_->serverName() : dataSource) +
               QStringLiteral(";Initial Catalog=db;User ID=sa");
    }

    OpenArguments arguments(const QString& password, const QString& dataSource = {}) const {
        OpenArguments a;
        a.connection = ConnectionString(connectionString(dataSource));
        a.password = password;
        a.connectionTimeout = 10;
        a.commandTimeout = 10;
        return a;
    }

    std::vector<Result> run(const QString& text, std::vector<Parameter> params = {}) {
        Request r;
        r.text = text;
        r.parameters = std::move(params);
        return session_->execute(r);
    }

    std::unique_ptr<TdsTestServer> server_;
    std::unique_ptr<Session> session_;
};

}  // namespace wiretest
