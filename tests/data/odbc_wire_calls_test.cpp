// What the SQL Server provider sends through FreeTDS and what its caller gets back, for the
// places where a driver's defaults would lose or alter data: procedure outputs, long values,
// prepared statements, messages, trigger counts, dates, decimals and connection values.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>

#include "data/command.h"
#include "data/connection.h"
#include "data/odbc_wire_fixture.h"
#include "data/recordset.h"

using namespace data::provider;
using data::Connection;
using data::Currency;
using data::DbError;
using data::Recordset;
using data::Variant;
namespace ado = data::ado;
using wiretest::json;
using wiretest::OdbcWire;

namespace {

Parameter param(const char* name, int type, int direction, long size, const Variant& value = Variant()) {
    return Parameter{QString::fromUtf8(name), type, direction, size, value};
}

QJsonObject lastRpc(const testsupport::TdsTestServer& server) {
    const QJsonArray rpcs = server.requestsOf(QStringLiteral("rpc"));
    return rpcs.isEmpty() ? QJsonObject() : rpcs.last().toObject();
}

// As text for the test's messages.
std::string str(const QJsonValue& v) { return v.toVariant().toString().toStdString(); }

// Output parameters and the return value come back after the procedure's last result, into the
// parameters of the same name: an input-output one carries its value in and the new one out.
TEST_F(OdbcWire, ProcedureOutputsAndReturnValueComeBack) {
    start(R"js({"rules": [
        {"proc": "Troca", "reply": [{"result": {"columns": [{"name": "a", "type": "int"}], "rows": [[1]]}},
            {"return_status": 7}, {"outputs": [{"name": "@Chave", "type": "varchar(100)", "value": "nova"},
                                               {"name": "@Form", "type": "varchar(50)", "value": null}]}]}]})js");
    Request r;
    r.text = QStringLiteral("Troca");
    r.commandType = ado::adCmdStoredProc;
    r.parameters = {param("@RETURN_VALUE", ado::adInteger, ado::adParamReturnValue, 0),
                    param("@Chave", ado::adVarChar, ado::adParamInputOutput, 100, Variant("velha")),
                    param("@Utilizador", ado::adVarChar, ado::adParamInput, 20, Variant("ana")),
                    param("@Form", ado::adVarChar, ado::adParamOutput, 50)};
    const auto results = session_->execute(r);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results.front().rows.size(), 1u);
    const auto& outs = results.back().outputs;
    ASSERT_EQ(outs.size(), 3u);
    EXPECT_EQ(outs[0].value.toInt32(), 7);
    EXPECT_EQ(outs[1].name, QStringLiteral("@Chave"));
    EXPECT_EQ(outs[1].value.toString(), QStringLiteral("nova"));
    EXPECT_TRUE(outs[2].value.isNull());
    const QJsonArray sent = lastRpc(*server_)[QStringLiteral("params")].toArray();
    ASSERT_EQ(sent.size(), 3);
    EXPECT_EQ(str(sent[0][QStringLiteral("value")]), std::string("velha"));
    EXPECT_TRUE(sent[0][QStringLiteral("output")].toBool());
    EXPECT_FALSE(sent[1][QStringLiteral("output")].toBool());
    EXPECT_TRUE(sent[2][QStringLiteral("output")].toBool());
}

// Values beyond 8,000 bytes (4,000 wide characters) go whole, as the (MAX) types.
TEST_F(OdbcWire, LongValuesGoWholeAsMaxTypes) {
    start(R"js({"default": [{"count": 1}]})js");
    const QString narrow(9000, u'a');
    const QString wide(5000, u'é');
    const QByteArray bytes(9000, '\x5A');
    run(QStringLiteral("insert into h (a) values ('%1')").arg(narrow));
    QJsonArray p = lastRpc(*server_)[QStringLiteral("params")].toArray();
    EXPECT_EQ(str(p.last()[QStringLiteral("maxlen")]), std::string("max"));
    EXPECT_EQ(p.last()[QStringLiteral("value")].toString(), narrow);

    run(QStringLiteral("update h set a = ?, b = ? where c = ?"),
        {param("", ado::adVarWChar, ado::adParamInput, 0, Variant(wide)),
         param("", ado::adVarBinary, ado::adParamInput, 0, Variant(bytes)),
         param("", ado::adVarChar, ado::adParamInput, 10, Variant("short"))});
    p = lastRpc(*server_)[QStringLiteral("params")].toArray();
    ASSERT_EQ(p.size(), 5);
    EXPECT_EQ(str(p[1][QStringLiteral("value")]), std::string("@P1 NVARCHAR(MAX),@P2 VARBINARY(MAX),@P3 VARCHAR(10)"));
    EXPECT_EQ(p[2][QStringLiteral("value")].toString(), wide);
    EXPECT_EQ(p[3][QStringLiteral("length")].toInt(), 9000);
}

// A statement shape is prepared once and then executed by its handle, one round trip each;
// texts of several statements or that make a #table go as written, so their counts and
// tables behave as in the text.
TEST_F(OdbcWire, PreparedShapesRunByHandleAndBatchesGoAsWritten) {
    start(R"js({"rules": [{"text": "from u", "times": 1, "reply": [{"count": 0}]}, {"text": "from u", "reply": [{"sleep": 30}]},
        {"text": "select a from t", "reply": [{"result": {"columns": [{"name": "a", "type": "int"}], "rows": [[1]]}}]},
        {"text": "@@IDENTITY", "reply": [{"count": 1}, {"result": {"columns": [{"name": "", "type": "int"}], "rows": [[9]]}}]}],
        "default": [{"count": 1}]})js");
    for (const char* v : {"x", "y", "zz", "x"}) run(QStringLiteral("select a from t where b = '%1'").arg(QLatin1String(v)));
    std::vector<std::string> procs;
    for (const auto& rpc : server_->requestsOf(QStringLiteral("rpc"))) procs.push_back(str(rpc[QStringLiteral("proc")]));
    EXPECT_EQ(procs, std::vector<std::string>({"sp_prepexec", "sp_execute", "sp_execute", "sp_execute"}));

    const auto both = run(QStringLiteral("insert into t (b) values ('5'); Select @@IDENTITY"));
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].recordsAffected, 1);
    EXPECT_EQ(both[1].rows.at(0).at(0).toInt32(), 9);
    run(QStringLiteral("select * into #work from t where b = 'x'"));
    const QJsonArray batches = server_->requestsOf(QStringLiteral("batch"));
    ASSERT_GE(batches.size(), 2);
    EXPECT_EQ(str(batches[batches.size() - 2][QStringLiteral("text")]),
              std::string("insert into t (b) values ('5'); Select @@IDENTITY"));
    EXPECT_EQ(str(batches.last()[QStringLiteral("text")]), std::string("select * into #work from t where b = 'x'"));

    // The time-out is the one of each request, also on a statement prepared before.
    Request r;
    r.text = QStringLiteral("delete from u where b = 'x'");
    session_->execute(r);
    r.commandTimeout = 1;
    EXPECT_THROW(session_->execute(r), DbError);
    EXPECT_EQ(server_->requestsOf(QStringLiteral("attention")).size(), 1);
}

// Informational messages reach Errors and make no result of their own; the counts of a
// trigger's statements give way to the statement's own.
TEST_F(OdbcWire, MessagesGoToErrorsAndTriggerCountsStayOut) {
    start(R"js({"rules": [
        {"text": "print", "reply": [{"info": {"number": 0, "class": 0, "message": "a note"}}, {"done": true},
            {"database": "outra"}, {"done": true},
            {"result": {"columns": [{"name": "a", "type": "int"}], "rows": [[4]]}}]},
        {"text": "update trig", "reply": [{"count": 5, "inproc": true}, {"count": 2}]}]})js",
          false);
    Connection conn;
    conn.Open(connectionString(), QString(), QStringLiteral("secret"));
    Recordset rs = conn.Execute(QStringLiteral("print 'a note'; use outra; select a from t"));
    ASSERT_EQ(rs.State(), ado::adStateOpen);
    EXPECT_EQ(rs.Fields(0L).Value().toInt32(), 4);
    QStringList texts;
    for (long i = 0; i < conn.Errors().Count(); ++i) texts << conn.Errors().Item(i).Description();
    EXPECT_EQ(texts, QStringList({"a note", "Changed database context to 'outra'."}));

    long affected = -1;
    conn.Execute(QStringLiteral("update trig set a = 1"), &affected);
    EXPECT_EQ(affected, 2);
}

// Dates go as text that compares as datetime; decimals as their exact digits.
TEST_F(OdbcWire, DatesAndDecimalsKeepTheirValues) {
    start(R"js({"default": [{"count": 1}]})js");
    run(QStringLiteral("update t set d = ?, n = ?, m = ?, f = ? where k = ?"),
        {param("", ado::adDBTimeStamp, ado::adParamInput, 0,
               Variant(QDateTime(QDate(2017, 1, 5), QTime(10, 11, 12, 3), Qt::UTC))),
         param("", ado::adNumeric, ado::adParamInput, 0, Variant("12345678901234567.123456")),
         param("", ado::adCurrency, ado::adParamInput, 0, Variant(Currency::fromRaw(-12345))),
         param("", ado::adNumeric, ado::adParamInput, 0, Variant(0.1)),
         param("", ado::adNumeric, ado::adParamInput, 0, Variant(std::int64_t(9007199254740993)))});
    const QJsonArray p = lastRpc(*server_)[QStringLiteral("params")].toArray();
    ASSERT_EQ(p.size(), 7);
    EXPECT_EQ(str(p[1][QStringLiteral("value")]),
              std::string("@P1 VARCHAR(23),@P2 NUMERIC(23,6),@P3 DECIMAL(19,4),@P4 NUMERIC(1,1),@P5 NUMERIC(16,0)"));
    const char* expected[] = {"2017-01-05T10:11:12.003", "12345678901234567.123456", "-1.2345", "0.1", "9007199254740993"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(str(p[i + 2][QStringLiteral("value")]), expected[i]) << i;
}

// Connection values reach the server as written: braces in a password, an instance with a
// port, no forced language, and the driver found by its library when it is not registered.
TEST_F(OdbcWire, ConnectionValuesArriveAsWritten) {
    start(R"js({"logins": {"sa": "p}w;d"}})js", false);
    auto s = openOdbcSession(arguments(QStringLiteral("p}w;d"), QStringLiteral("127.0.0.1\\INST,") +
                                                                     QString::number(server_->port())));
    QJsonObject login = server_->requestsOf(QStringLiteral("login")).last().toObject();
    EXPECT_EQ(str(login[QStringLiteral("password")]), std::string("p}w;d"));
    EXPECT_EQ(str(login[QStringLiteral("language")]), "");
    EXPECT_THROW(openOdbcSession(arguments(QStringLiteral("p}};d"))), DbError);
    EXPECT_EQ(server_->requestsOf(QStringLiteral("login")).size(), 1);

}

// On a machine where the driver is installed but not registered, it is found by its library.
// The driver manager reads where its registry is once per process, so a child process runs
// the check.
TEST(OdbcWireDriver, FoundByItsLibraryWhenNotRegistered) {
    if (qEnvironmentVariableIsSet("VELMORA_WIRE_CHILD")) {
        ASSERT_FALSE(odbcDriverRegistered(QStringLiteral("FreeTDS")));
        testsupport::TdsTestServer server(json(R"js({"logins": {"sa": "secret"}})js"));
        ASSERT_TRUE(server.ok());
        OpenArguments a;
        a.connection = data::ConnectionString(QStringLiteral("Data Source=") + server.serverName() +
                                              QStringLiteral(";User ID=sa"));
        a.password = QStringLiteral("secret");
        EXPECT_NO_THROW(openOdbcSession(a));
        EXPECT_EQ(server.requestsOf(QStringLiteral("login")).size(), 1);
        return;
    }
    if (!odbcDriverRegistered(QStringLiteral("FreeTDS")) || !QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) {
        GTEST_SKIP() << "needs the FreeTDS ODBC driver and /usr/bin/python3";
    }
    QTemporaryDir noDrivers;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ODBCSYSINI"), noDrivers.path());
    env.insert(QStringLiteral("ODBCINSTINI"), QStringLiteral("odbcinst.ini"));
    env.insert(QStringLiteral("VELMORA_WIRE_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(),
                {QStringLiteral("--gtest_filter=OdbcWireDriver.FoundByItsLibraryWhenNotRegistered")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

}  // namespace
