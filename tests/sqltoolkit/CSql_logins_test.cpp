// Logins: the sysadmin test, creating, dropping and validating logins, changing passwords.
#include <gtest/gtest.h>

#include "csql_test_support.h"
#include "platform/messagebox.h"

using csqltest::ConfiguredLogin;
using csqltest::PointerRecorder;
using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;

namespace {

const std::vector<std::int16_t> kBusyThenDefault{util::vbHourglass, util::vbDefault};

class CSqlLoginsTest : public ::testing::Test {
protected:
    TempEmbeddedServer server_;
    CSql& s_ = gobjSql();
    MessageBoxRecorder boxes_;
    PointerRecorder pointer_;
};

}  // namespace

TEST_F(CSqlLoginsTest, SysAdminTestUsesTheConfiguredLoginAndComparesWithoutCaseOrBlanks) {
    {
        ConfiguredLogin cfg(server_);
        EXPECT_TRUE(s_.ValidarLoginSysAdmin());
        EXPECT_TRUE(s_.ValidarLoginSysAdmin(" SA ", ""));
        EXPECT_FALSE(s_.ValidarLoginSysAdmin("ninguem", ""));
    }
    // The master connection does not open: the statement's failure reaches the caller.
    ConfiguredLogin wrong(server_.serverName(), "sa", "errada");
    EXPECT_THROW(s_.ValidarLoginSysAdmin(), platform::RuntimeError);
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(CSqlLoginsTest, CreateLoginMakesTheLoginItsMasterUserAndRoleOrShowsTheRefusal) {
    ConfiguredLogin cfg(server_);
    EXPECT_FALSE(s_.CreateLogin("ana", "   ", 0));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, "A Password tem que ser preenchida !");
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::Critical);
    EXPECT_TRUE(pointer_.values.empty());
    EXPECT_FALSE(s_.ValidateLogin("ana", "   "));

    EXPECT_TRUE(s_.CreateLogin("ana", "Pw.1", 5));
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    EXPECT_TRUE(s_.ValidateLogin("ana", "Pw.1", "master"));
    EXPECT_TRUE(s_.CheckUserInDB("master", "ANA")) << "the login is a user of master under its own name";
    EXPECT_FALSE(s_.ValidarLoginSysAdmin("ana", ""));
    EXPECT_EQ(boxes_.shown.size(), 1u);

    // Names and passwords with apostrophes are kept as they are.
    EXPECT_TRUE(s_.CreateLogin("O'Neill", "p'w.1", 0));
    EXPECT_TRUE(s_.ValidateLogin("O'Neill", "p'w.1", "master"));
    EXPECT_TRUE(s_.ValidarLoginSysAdmin("o'neill", ""));

    // An existing login: the server's refusal, number and text on two lines.
    pointer_.values.clear();
    EXPECT_FALSE(s_.CreateLogin("ana", "Outra.2", 1));
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[1].style, platform::mb::Critical);
    EXPECT_TRUE(boxes_.shown[1].text.contains(u'\r'));
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    EXPECT_TRUE(s_.ValidateLogin("ana", "Pw.1", "master")) << "the first password stays";

    // A role code outside 0-6: login and user are made, the role statement fails.
    EXPECT_FALSE(s_.CreateLogin("rui", "Pw.3", 7));
    EXPECT_EQ(boxes_.shown.size(), 3u);
    EXPECT_TRUE(s_.ValidateLogin("rui", "Pw.3", "master"));

    // A login that is not sysadmin cannot add logins.
    ConfiguredLogin ana(server_.serverName(), "ana", "Pw.1");
    EXPECT_FALSE(s_.CreateLogin("eva", "Pw.4", 5));
    EXPECT_EQ(boxes_.shown.size(), 4u);
    EXPECT_FALSE(s_.ValidateLogin("eva", "Pw.4", "master"));
}

TEST_F(CSqlLoginsTest, DeleteLoginNeedsASysAdminAndReportsAFailedDrop) {
    {
        ConfiguredLogin cfg(server_);
        ASSERT_TRUE(s_.CreateLogin("ana", "Pw.1", 5));
        ASSERT_TRUE(s_.CreateLogin("rui", "Pw.2", 5));
    }
    {
        ConfiguredLogin ana(server_.serverName(), "ana", "Pw.1");
        pointer_.values.clear();
        EXPECT_FALSE(s_.DeleteLogin("rui"));
        ASSERT_EQ(boxes_.shown.size(), 1u);
        EXPECT_EQ(boxes_.shown[0].text, "Sem Permissão para eliminar o Utilizador");
        EXPECT_EQ(boxes_.shown[0].style, platform::mb::Critical);
        EXPECT_TRUE(pointer_.values.empty());
    }

    ConfiguredLogin cfg(server_);
    EXPECT_TRUE(s_.ValidateLogin("rui", "Pw.2", "master")) << "dropped nothing";
    EXPECT_TRUE(s_.DeleteLogin("rui"));
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    EXPECT_FALSE(s_.ValidateLogin("rui", "Pw.2", "master"));
    EXPECT_FALSE(s_.DeleteLogin("rui")) << "a drop the server refuses is a failure";
    EXPECT_EQ(boxes_.shown.size(), 1u) << "and nothing is shown for it";
}

TEST_F(CSqlLoginsTest, ChangePasswordTakesTheRightFormAndShowsRefusals) {
    {
        ConfiguredLogin cfg(server_);
        ASSERT_TRUE(s_.CreateLogin("ana", "Pw.1", 5));
        pointer_.values.clear();
        // No old password: the administrator sets the named login's password.
        EXPECT_TRUE(s_.ChangePassword("ana", "", "Nova.1"));
        EXPECT_EQ(pointer_.values, kBusyThenDefault);
        EXPECT_TRUE(s_.ValidateLogin("ana", "Nova.1", "master"));
        // With the old password and the login's name.
        EXPECT_TRUE(s_.ChangePassword("ana", "Nova.1", "Nova'2", true));
        EXPECT_TRUE(s_.ValidateLogin("ana", "Nova'2", "master"));
        EXPECT_TRUE(boxes_.shown.empty());
    }
    {
        // Without the login's name: the connected login's own password.
        ConfiguredLogin ana(server_.serverName(), "ana", "Nova'2");
        EXPECT_TRUE(s_.ChangePassword("ignorado", "Nova'2", "Nova.3"));
        EXPECT_TRUE(s_.ValidateLogin("ana", "Nova.3", "master"));
    }
    ConfiguredLogin ana(server_.serverName(), "ana", "Nova.3");
    pointer_.values.clear();
    EXPECT_FALSE(s_.ChangePassword("ana", "errada", "x", true));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::OKOnly);
    EXPECT_FALSE(boxes_.shown[0].text.contains(u'\r')) << "number and text run together";
    EXPECT_EQ(pointer_.values, kBusyThenDefault);
    // Setting another login's password without the old one needs an administrator.
    EXPECT_FALSE(s_.ChangePassword("sa", "", "x"));
    EXPECT_TRUE(s_.ValidateLogin("sa", server_.password(), "master"));
}

TEST_F(CSqlLoginsTest, ValidateLoginAnswersQuietly) {
    ConfiguredLogin cfg(server_);
    EXPECT_TRUE(s_.ValidateLogin("sa", server_.password(), "master"));
    EXPECT_FALSE(s_.ValidateLogin("sa", "errada", "master", true));
    EXPECT_FALSE(s_.ValidateLogin("sa", server_.password(), "NaoExiste", true));
    EXPECT_FALSE(s_.ValidateLogin("", "", "master", true));
    EXPECT_FALSE(s_.ValidateLogin(QString(40000, u'x'), QString(40000, u'y'), "master", true));
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_FALSE(s_.RequestLoginID(true));
}
