// The access-right members that read a procedure's output parameter or return value, against
// SQL Server's answers on the wire (a loopback TDS responder through unixODBC and FreeTDS).

#include "data/connection.h"
#include "data/odbc_wire_fixture.h"
#include "util/EDiv.h"

namespace {

using wiretest::OdbcWire;

TEST_F(OdbcWire, AccessMembersReadTheProceduresOutputs) {
    start(R"js({"rules": [
        {"proc": "GetAcessoPrincipal", "reply": [{"return_status": 0},
            {"outputs": [{"name": "@Empresa", "type": "varchar(4)", "value": "E01"}]}]},
        {"proc": "GetAcessoIndependente", "reply": [{"return_status": 3}]}]})js",
          false);
    data::Connection conn;
    conn.Open(connectionString(), QString(), QStringLiteral("secret"));
    EXPECT_EQ(eFun().GetAcessoPrincipal(conn), QStringLiteral("E01"));
    const QJsonArray rpcs = server_->requestsOf(QStringLiteral("rpc"));
    ASSERT_EQ(rpcs.size(), 1);
    EXPECT_EQ(rpcs[0][QStringLiteral("proc")].toString(), QStringLiteral("GetAcessoPrincipal"));
    const QJsonArray params = rpcs[0][QStringLiteral("params")].toArray();
    ASSERT_EQ(params.size(), 1);
    EXPECT_TRUE(params[0][QStringLiteral("output")].toBool());
    EXPECT_EQ(params[0][QStringLiteral("maxlen")].toInt(), 4);
    EXPECT_EQ(eFun().GetAcessoIndependente(conn, QStringLiteral("E01")), 3);
}

}  // namespace
