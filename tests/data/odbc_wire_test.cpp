// The SQL Server provider on the wire: the real unixODBC and FreeTDS driver talk TDS 7.4 to a
// loopback responder (support/tds_responder.py) that answers canned replies and logs what it
// received, so what the provider sends and how it reads SQL Server's answers are both checked.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <functional>

#include "data/adoconstants.h"
#include "data/dberror.h"
#include "data/odbc/odbc_provider.h"
#include "support/tds_server.h"

using namespace data;
using namespace data::provider;
using testsupport::TdsTestServer;

namespace {

QJsonObject json(const char* text) { return QJsonDocument::fromJson(QByteArray(text)).object(); }

class OdbcWire : public ::testing::Test {
protected:
    void SetUp() override {
        if (!odbcDriverRegistered(QStringLiteral("FreeTDS")))
            GTEST_SKIP() << "the FreeTDS ODBC driver is not registered in odbcinst.ini";
        if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) GTEST_SKIP() << "no /usr/bin/python3";
    }

    // A responder with the script and a session on it as sa/secret in database db.
    void start(const char* script) {
        QJsonObject s = json(script);
        s.insert(QStringLiteral("logins"), json(R"js({"sa": "secret"})js"));
        server_ = std::make_unique<TdsTestServer>(s);
        ASSERT_TRUE(server_->ok()) << server_->error().toStdString();
        session_ = openOdbcSession(arguments(QStringLiteral("secret")));
    }

    OpenArguments arguments(const QString& password) const {
        OpenArguments a;
        a.connection = ConnectionString(QStringLiteral("Provider=SQLOLEDB;Data Source=") + server_->serverName() +
                                        QStringLiteral(";Initial Catalog=db;User ID=sa"));
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

// One row of every common column type and one of nulls, as the caller reads them.
TEST_F(OdbcWire, CannedResultArrivesWithItsTypes) {
    start(R"js({"rules": [{"text": "from t", "reply": [{"result": {"columns": [
        {"name": "i", "type": "int"}, {"name": "n", "type": "nvarchar(10)"}, {"name": "l", "type": "varchar(max)"},
        {"name": "m", "type": "money"}, {"name": "d", "type": "decimal(18,6)"}, {"name": "dt", "type": "datetime"},
        {"name": "b", "type": "varbinary(max)"}],
        "rows": [[-7, "ação", "long text", 12.34, "1234.000125", "2017-01-05 10:11:12.003", "0x00FF10"],
                 [null, null, null, null, null, null, null]]}}]}]})js");
    const auto results = run(QStringLiteral("select * from t"));
    ASSERT_EQ(results.size(), 1u);
    const Result& r = results.front();
    ASSERT_EQ(r.columns.size(), 7u);
    EXPECT_EQ(r.columns[1].name, QStringLiteral("n"));
    ASSERT_EQ(r.rows.size(), 2u);
    const Row row = r.rows.at(0);
    EXPECT_EQ(row.at(0).toInt32(), -7);
    EXPECT_EQ(row.at(1).toString(), QStringLiteral("ação"));
    EXPECT_EQ(row.at(2).toString(), QStringLiteral("long text"));
    EXPECT_EQ(row.at(3).toCurrency(), Currency::fromRaw(123400));
    EXPECT_DOUBLE_EQ(row.at(4).toDouble(), 1234.000125);
    EXPECT_EQ(row.at(5).toDateTime(), QDateTime(QDate(2017, 1, 5), QTime(10, 11, 12, 3), Qt::UTC));
    EXPECT_EQ(row.at(6).toBytes(), QByteArray::fromHex("00FF10"));
    for (const Variant& v : r.rows.at(1)) EXPECT_TRUE(v.isNull());
    const QJsonArray batches = server_->requestsOf(QStringLiteral("batch"));
    ASSERT_FALSE(batches.isEmpty());
    EXPECT_EQ(batches.last()[QStringLiteral("text")].toString(), QStringLiteral("select * from t"));
}

// A statement whose only values are text literals runs prepared, its literal a parameter; every
// execution carries its own value and every handle the provider releases is one it was given.
TEST_F(OdbcWire, TextLiteralsTravelAsParametersOfAPreparedStatement) {
    start(R"js({"rules": [{"text": "from t where", "reply": [{"result": {"columns": [{"name": "a", "type": "int"}], "rows": [[1]]}}]}]})js");
    for (const char* literal : {"x", "y"}) {
        const auto results = run(QStringLiteral("select a from t where b = '%1'").arg(QLatin1String(literal)));
        ASSERT_EQ(results.size(), 1u);
        ASSERT_EQ(results.front().rows.size(), 1u) << literal;
        EXPECT_EQ(results.front().rows.at(0).at(0).toInt32(), 1);
        const QJsonArray rpcs = server_->requestsOf(QStringLiteral("rpc"));
        ASSERT_FALSE(rpcs.isEmpty());
        const QJsonObject last = rpcs.last().toObject();
        EXPECT_TRUE(last[QStringLiteral("proc")] == QStringLiteral("sp_prepexec") ||
                    last[QStringLiteral("proc")] == QStringLiteral("sp_execute"));
        EXPECT_EQ(last[QStringLiteral("text")].toString(), QStringLiteral("select a from t where b = @P1"));
        EXPECT_EQ(last[QStringLiteral("params")].toArray().last()[QStringLiteral("value")].toString(),
                  QLatin1String(literal));
    }
    const QJsonArray rpcs = server_->requestsOf(QStringLiteral("rpc"));
    int prepared = 0;
    for (const auto& rpc : rpcs) {
        const QString proc = rpc[QStringLiteral("proc")].toString();
        if (proc == QStringLiteral("sp_prepexec")) ++prepared;
        if (proc == QStringLiteral("sp_unprepare")) {
            const int handle = rpc[QStringLiteral("params")][0][QStringLiteral("value")].toInt();
            EXPECT_TRUE(handle >= 1 && handle <= prepared) << handle;
        }
    }
    EXPECT_GE(prepared, 1);
}

// A command's parameters reach the server through sp_executesql with their declared types.
TEST_F(OdbcWire, CommandParametersTravelWithTheirTypes) {
    start(R"js({"rules": [{"proc": "sp_executesql", "reply": [{"count": 3}]}]})js");
    Parameter number{QString(), ado::adInteger, ado::adParamInput, 0, Variant(std::int32_t(7))};
    Parameter text{QString(), ado::adVarWChar, ado::adParamInput, 20, Variant("zé")};
    const auto results = run(QStringLiteral("update t set a = ? where b = ?"), {number, text});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results.front().recordsAffected, 3);
    const QJsonArray rpcs = server_->requestsOf(QStringLiteral("rpc"));
    ASSERT_EQ(rpcs.size(), 1);
    EXPECT_EQ(rpcs[0][QStringLiteral("text")].toString(), QStringLiteral("update t set a = @P1 where b = @P2"));
    const QJsonArray params = rpcs[0][QStringLiteral("params")].toArray();
    ASSERT_EQ(params.size(), 4);
    EXPECT_EQ(params[1][QStringLiteral("value")].toString(), QStringLiteral("@P1 INT,@P2 NVARCHAR(20)"));
    EXPECT_EQ(params[2][QStringLiteral("type")].toString(), QStringLiteral("int"));
    EXPECT_EQ(params[2][QStringLiteral("value")].toInt(), 7);
    EXPECT_EQ(params[3][QStringLiteral("type")].toString(), QStringLiteral("nvarchar"));
    EXPECT_EQ(params[3][QStringLiteral("value")].toString(), QStringLiteral("zé"));
}

// The login carries the user, the password and the database; a wrong password is refused with
// SQL Server's number, and a server's error comes back with its own.
TEST_F(OdbcWire, LoginAndErrorsCarryTheServersNumbers) {
    start(R"js({"rules": [{"text": "bad", "reply": [{"error": {"number": 208, "class": 16,
        "message": "Invalid object name 'bad'."}}]}]})js");
    const QJsonArray logins = server_->requestsOf(QStringLiteral("login"));
    ASSERT_EQ(logins.size(), 1);
    EXPECT_EQ(logins[0][QStringLiteral("user")].toString(), QStringLiteral("sa"));
    EXPECT_EQ(logins[0][QStringLiteral("password")].toString(), QStringLiteral("secret"));
    EXPECT_EQ(logins[0][QStringLiteral("database")].toString(), QStringLiteral("db"));
    EXPECT_EQ(logins[0][QStringLiteral("tds_version")].toString(), QStringLiteral("0x74000004"));

    const struct {
        std::function<void()> act;
        long number;
        QString text;
    } cases[] = {
        {[&] { run(QStringLiteral("select * from bad")); }, 208, QStringLiteral("Invalid object name 'bad'.")},
        {[&] { openOdbcSession(arguments(QStringLiteral("wrong"))); }, 18456,
         QStringLiteral("Login failed for user 'sa'.")},
    };
    for (const auto& c : cases) {
        try {
            c.act();
            ADD_FAILURE() << "no error for " << c.number;
        } catch (const DbError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_TRUE(e.description().contains(c.text)) << e.description().toStdString();
        }
    }
}

// A statement that outlives the command time-out is cancelled with an attention, and the session
// goes on answering.
TEST_F(OdbcWire, TimedOutStatementIsCancelledAndTheSessionGoesOn) {
    start(R"js({"rules": [{"text": "slow", "reply": [{"sleep": 30}, {"count": 1}]},
        {"text": "quick", "reply": [{"result": {"columns": [{"name": "a", "type": "int"}], "rows": [[2]]}}]}]})js");
    session_->setCommandTimeout(1);
    EXPECT_THROW(run(QStringLiteral("update slow set a = 1")), DbError);
    EXPECT_EQ(server_->requestsOf(QStringLiteral("attention")).size(), 1);
    const auto results = run(QStringLiteral("select quick"));
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results.front().rows.size(), 1u);
    EXPECT_EQ(results.front().rows.at(0).at(0).toInt32(), 2);
}

}  // namespace
