// Replacing a database's stored procedures with those of a batch script.
#include <gtest/gtest.h>

#include <algorithm>

#include "csql_test_support.h"
#include "data/recordset.h"
#include "support/borvia_config.h"

using testsupport::TempEmbeddedServer;

namespace {

std::vector<QString> procedures(const TempEmbeddedServer& server, const QString& db) {
    auto conn = server.connect(db);
    data::Recordset rs = conn->Execute("sp_stored_procedures");
    std::vector<QString> out;
    while (!rs.EOF()) {
        const QString name = rs.Fields("Procedure_Name").Value().toString();
        if (!name.startsWith("sp_", Qt::CaseInsensitive)) out.push_back(name.left(name.size() - 2));
        rs.MoveNext();
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(CSqlProcedimentos, TheDatabaseEndsWithExactlyTheScriptsProcedures) {
    TempEmbeddedServer server;
    server.exec("master", "Create Database Loja");
    server.exec("Loja", "create table empresas (codigo varchar(4) null)");
    server.exec("Loja", "Create Procedure Antiga AS RETURN 0");
    auto conn = server.connect("Loja");
    CSql& s = gobjSql();

    const QString script =
        "-- comentario antes\r\nSET NOCOUNT ON\r\nCREATE Procedure Um AS RETURN 1\r\nGO\r\n"
        "\r\nGO\r\n"                                   // an empty part adds nothing
        "Create Procedure Dois AS RETURN 2\r\ngo\r\n"  // lower case does not split
        "Create Procedure Tres AS RETURN 3\r\nGO\r\n"
        "sem palavra de criacao\r\nGO\r\n"
        "Create Procedure Quatro AS RETURN 4\r\nGO  \r\n"  // blanks after GO: no split
        "Create Procedure Cinco AS RETURN 5\r\nGO\r\n"
        "Create Procedure Seis AS RETURN 6\r\nGO\r\n";
    EXPECT_TRUE(s.CreateStoredProcedures(*conn, script).isEmpty());
    const auto made = procedures(server, "Loja");
    auto has = [&](const char* name) { return std::find(made.begin(), made.end(), name) != made.end(); };
    EXPECT_TRUE(has("Um")) << "sent from its creation keyword on";
    EXPECT_TRUE(has("Seis"));
    EXPECT_FALSE(has("Antiga")) << "the database's procedures were dropped first";
    EXPECT_FALSE(has("Tres")) << "a lower-case go does not split";
    EXPECT_FALSE(has("Cinco")) << "nor does a GO followed by blanks";

    s.CreateStoredProcedures(*conn, testsupport::BorviaConfig::scriptProcedimentos());
    EXPECT_EQ(procedures(server, "Loja"),
              (std::vector<QString>{"GetAcessoIndependente", "GetAcessoPrincipal", "VerSeExisteCopiaAcessosBase"}));

    s.CreateStoredProcedures(*conn, "   ");
    EXPECT_TRUE(procedures(server, "Loja").empty()) << "the earlier ones are gone even when none is created";
    data::Connection closed;
    EXPECT_TRUE(s.CreateStoredProcedures(closed, "Create Procedure X AS RETURN 0").isEmpty());
}
