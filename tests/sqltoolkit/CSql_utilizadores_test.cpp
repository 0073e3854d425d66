// Roles and users: server and database role membership, access to a database, the user test
// and the removal of a login's user from every database.
#include <gtest/gtest.h>

#include "csql_test_support.h"
#include "platform/messagebox.h"

using csqltest::ConfiguredLogin;
using csqltest::PointerRecorder;
using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;

namespace {

const std::vector<std::int16_t> kBusyThenDefault{util::vbHourglass, util::vbDefault};

class CSqlUtilizadoresTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec("master", "Create Database Loja");
        ASSERT_TRUE(s_.CreateLogin("ana", "Pw.1", 5));
        pointer_.values.clear();
    }
    bool inServerRole(const QString& login, const QString& role) {
        return csqltest::listing(server_, "master", "sp_helpsrvrolemember '" + role + "'").contains(login + "|");
    }
    bool inDbRole(const QString& db, const QString& user, const QString& role) {
        return csqltest::listing(server_, db, "sp_helpuser '" + user + "'").contains(role + "|");
    }
    TempEmbeddedServer server_;
    ConfiguredLogin cfg_{server_};
    CSql& s_ = gobjSql();
    MessageBoxRecorder boxes_;
    PointerRecorder pointer_;
};

}  // namespace

TEST_F(CSqlUtilizadoresTest, ServerRoleMembershipIsAddedOnlyForOneAndDroppedOtherwise) {
    EXPECT_TRUE(s_.SetServerRoleMember("ana", 4, 1));
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    EXPECT_TRUE(inServerRole("ana", "processadmin"));
    EXPECT_TRUE(s_.SetServerRoleMember("ana", 4, 2));
    EXPECT_FALSE(inServerRole("ana", "processadmin"));
    EXPECT_TRUE(s_.SetServerRoleMember("ana", 0, 1));
    EXPECT_TRUE(s_.ValidarLoginSysAdmin("ana"));
    EXPECT_TRUE(s_.SetServerRoleMember("ana", 0, 0));
    EXPECT_FALSE(s_.ValidarLoginSysAdmin("ana"));
    EXPECT_TRUE(boxes_.shown.empty());

    // Role code 7 names no role: the server's refusal, number and text run together.
    pointer_.values.clear();
    EXPECT_FALSE(s_.SetServerRoleMember("ana", 7, 1));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::OKOnly);
    EXPECT_FALSE(boxes_.shown[0].text.contains(u'\r'));
    EXPECT_EQ(pointer_.values, kBusyThenDefault);

    // A configured login that is not sysadmin is refused before any statement.
    ConfiguredLogin ana(server_.serverName(), "ana", "Pw.1");
    pointer_.values.clear();
    EXPECT_FALSE(s_.SetServerRoleMember("ana", 0, 1));
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[1].text, "Sem Permissão para executar esta operação");
    EXPECT_EQ(boxes_.shown[1].style, platform::mb::Critical);
    EXPECT_TRUE(pointer_.values.empty());
    EXPECT_FALSE(s_.SetDBRoleMember("Loja", "ana", 0, 1));
    EXPECT_EQ(boxes_.shown.back().text, "Sem Permissão para executar esta operação");
    EXPECT_FALSE(s_.ValidarLoginSysAdmin("ana"));
}

TEST_F(CSqlUtilizadoresTest, AccessAndDatabaseRolesOfOneDatabase) {
    EXPECT_FALSE(s_.CheckUserInDB("Loja", "ana"));
    EXPECT_TRUE(s_.GrantAcess("Loja", "ana"));
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    EXPECT_TRUE(s_.CheckUserInDB("Loja", "ANA "));
    EXPECT_TRUE(inDbRole("Loja", "ana", "db_datawriter"));
    EXPECT_TRUE(inDbRole("Loja", "ana", "db_owner"));

    EXPECT_TRUE(s_.SetDBRoleMember("Loja", "ana", 0, 0)) << "\"db_owner \" with its trailing blank";
    EXPECT_FALSE(inDbRole("Loja", "ana", "db_owner"));
    EXPECT_TRUE(s_.SetDBRoleMember("Loja", "ana", 6, 1));
    EXPECT_TRUE(inDbRole("Loja", "ana", "db_backupoperator"));
    EXPECT_FALSE(s_.SetDBRoleMember("Loja", "ana", 9, 1));
    ASSERT_EQ(boxes_.shown.size(), 1u);

    pointer_.values.clear();
    EXPECT_TRUE(s_.RevokeAccess("Loja", "ana"));
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    EXPECT_FALSE(s_.CheckUserInDB("Loja", "ana"));

    ASSERT_TRUE(s_.GrantAcess("Loja", "ana"));
    EXPECT_TRUE(s_.DropUserFromDB("Loja", "ana"));
    EXPECT_FALSE(s_.CheckUserInDB("Loja", "ana"));

    // Errors are passed over, statement by statement, and nothing is shown.
    EXPECT_TRUE(s_.GrantAcess("NaoHa", "ana"));
    EXPECT_TRUE(s_.DropUserFromDB("Loja", "ninguem"));
    EXPECT_FALSE(s_.CheckUserInDB("NaoHa", "ana"));
    EXPECT_EQ(boxes_.shown.size(), 1u);
}

namespace {

class Panel : public csql::PainelEstado {
public:
    void setText(const QString& t) override { texts.push_back(t); }
    std::vector<QString> texts;
};

}  // namespace

TEST_F(CSqlUtilizadoresTest, DeleteUserFromAllDatabasesGivesBackTheLoginsDatabasesAndDropsItsUsers) {
    ASSERT_TRUE(s_.CreateLogin("rui", "Pw.2", 5));
    server_.exec("master", "Create Database DaAna");
    server_.exec("master", "Create Database DoRui");
    ASSERT_TRUE(s_.GrantAcess("Loja", "ana"));
    ASSERT_TRUE(s_.GrantAcess("DoRui", "ana"));
    {
        auto conn = server_.connect("DaAna");
        ASSERT_TRUE(s_.ChangeDatabaseOwner(*conn, "DaAna", "", "ana"));
        auto rui = server_.connect("DoRui");
        ASSERT_TRUE(s_.ChangeDatabaseOwner(*rui, "DoRui", "", "rui"));
    }
    ASSERT_EQ(csqltest::databaseOwner(server_, "DaAna"), "ana");

    Panel panel;
    EXPECT_TRUE(s_.DeleteUserFromAllDatabases("ana", &panel));
    EXPECT_FALSE(s_.CheckUserInDB("Loja", "ana"));
    EXPECT_FALSE(s_.CheckUserInDB("DoRui", "ana"));
    EXPECT_FALSE(s_.CheckUserInDB("master", "ana"));
    EXPECT_EQ(csqltest::databaseOwner(server_, "DaAna"), "sa");
    EXPECT_EQ(csqltest::databaseOwner(server_, "DoRui"), "rui") << "another login's database keeps its owner";
    ASSERT_FALSE(panel.texts.empty());
    const auto names = server_.rows("master", "Select Name from SysDataBases");
    EXPECT_EQ(panel.texts.back(), names.back()[0].toString()) << "the panel ends on the last database read";
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_TRUE(s_.DeleteUserFromAllDatabases("ana")) << "without a panel";
}
