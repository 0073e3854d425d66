// How a database can be reached: owner, single-user and read-only modes, this machine's processes.
#include <gtest/gtest.h>

#include "csql_test_support.h"
#include "platform/messagebox.h"
#include "platform/usersettings.h"

using csqltest::ConfiguredLogin;
using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;

namespace {

class CSqlBaseDadosTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec("master", "Create Database Loja");
        ASSERT_TRUE(s_.CreateLogin("ana", "Pw.1", 5));
        ASSERT_TRUE(s_.CreateLogin("rui", "Pw.2", 5));
    }
    TempEmbeddedServer server_;
    ConfiguredLogin cfg_{server_};
    CSql& s_ = gobjSql();
    MessageBoxRecorder boxes_;
};

}  // namespace

TEST_F(CSqlBaseDadosTest, ChangeDatabaseOwnerGivesOnlyTheRemovedLoginsDatabase) {
    auto conn = server_.connect("Loja");
    EXPECT_FALSE(s_.ChangeDatabaseOwner(*conn, "Loja", " SA", "sa ")) << "the same login in other letters";
    ASSERT_TRUE(s_.ChangeDatabaseOwner(*conn, "Loja", "sa", "ana"));
    EXPECT_EQ(csqltest::databaseOwner(server_, "Loja"), "ana");
    EXPECT_FALSE(s_.ChangeDatabaseOwner(*conn, "Loja", "rui", "ana")) << "already the new owner's";

    // rui does not own it: it stays ana's, and rui's user there is left alone.
    ASSERT_TRUE(s_.GrantAcess("Loja", "sa"));
    EXPECT_FALSE(s_.ChangeDatabaseOwner(*conn, "Loja", "rui", "sa"));
    EXPECT_EQ(csqltest::databaseOwner(server_, "Loja"), "ana");

    // ana owns it: the new owner's user is dropped first, then the owner changes.
    ASSERT_TRUE(s_.GrantAcess("Loja", "rui"));
    EXPECT_TRUE(s_.ChangeDatabaseOwner(*conn, "Loja", "ANA", "rui"));
    EXPECT_EQ(csqltest::databaseOwner(server_, "Loja"), "rui");
    EXPECT_TRUE(boxes_.shown.empty());

    // A system database keeps its owner; the new owner's user is still dropped.
    auto master = server_.connect("master");
    EXPECT_TRUE(s_.CheckUserInDB("master", "ana"));
    const QString ownerBefore = csqltest::databaseOwner(server_, "master");
    EXPECT_TRUE(s_.ChangeDatabaseOwner(*master, " MASTER ", "", "ana"));
    EXPECT_EQ(csqltest::databaseOwner(server_, "master"), ownerBefore);
    EXPECT_FALSE(s_.CheckUserInDB("master", "ana"));

    // A connection that cannot answer: the error with " - ".
    data::Connection closed;
    EXPECT_FALSE(s_.ChangeDatabaseOwner(closed, "Loja", "rui", "sa"));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_TRUE(boxes_.shown[0].text.contains(" - "));
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::Critical);
}

TEST_F(CSqlBaseDadosTest, SingleUserAndReadOnlyModes) {
    auto conn = server_.connect("master");
    std::int32_t code = 0;
    QString text;
    EXPECT_TRUE(s_.TrySingleUserMode(*conn, "Loja", code, text));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(s_.SetSingleUserMode(*conn, "Loja", true, code, text));
    EXPECT_FALSE(s_.SetSingleUserMode(*conn, "NaoHa", true, code, text));
    EXPECT_NE(code, 0);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_TRUE(s_.SetSingleUserMode(*conn, "Loja", false, code, text));
    code = 0;
    EXPECT_FALSE(s_.TrySingleUserMode(*conn, "NaoHa", code, text));
    EXPECT_NE(code, 0);

    EXPECT_FALSE(s_.CheckForReadOnly(*conn, "Loja"));
    EXPECT_TRUE(s_.SetReadOnly("Loja", true));
    EXPECT_TRUE(s_.CheckForReadOnly(*conn, "Loja"));
    EXPECT_THROW(server_.exec("Loja", "create table T (A int null)"), platform::RuntimeError)
        << "a read-only database refuses writes";
    EXPECT_TRUE(s_.SetReadOnly("Loja", false));
    EXPECT_FALSE(s_.CheckForReadOnly(*conn, "Loja"));
    server_.exec("Loja", "create table T (A int null)");
    EXPECT_FALSE(s_.CheckForReadOnly(*conn, "NaoHa")) << "an option that cannot be read";
    EXPECT_TRUE(boxes_.shown.empty());

    // Refusals: shown only when asked; a connection that does not open always.
    ConfiguredLogin ana(server_.serverName(), "ana", "Pw.1");
    EXPECT_FALSE(s_.SetReadOnly("master", true, false));
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_FALSE(s_.SetReadOnly("NaoHa", true, true));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::OKOnly);
    EXPECT_TRUE(boxes_.shown[0].text.startsWith("4060\r"));
}

TEST_F(CSqlBaseDadosTest, KillAllProcessesEndsThisMachinesConnectionsToTheDatabase) {
    const QString app = util::exeNameSemExtensao();
    platform::SaveSetting(app, "MachineName", "Name", "  ");
    auto mine = server_.connect("Loja");
    auto other = server_.connect("master");
    s_.KillAllProcessesInCurrentMachine("Loja");
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_THROW(mine->Execute("select 1"), platform::RuntimeError) << "its next statement ends it";
    EXPECT_NO_THROW(other->Execute("select 1")) << "a connection to another database stays";

    // A machine name in the settings store is the one sought.
    auto again = server_.connect("Loja");
    platform::SaveSetting(app, "MachineName", "Name", "OUTRA'MAQUINA");
    s_.KillAllProcessesInCurrentMachine("Loja");
    EXPECT_NO_THROW(again->Execute("select 1"));
    platform::DeleteSetting(app, "MachineName");

    ConfiguredLogin wrong(server_.serverName(), "sa", "errada");
    s_.KillAllProcessesInCurrentMachine("Loja");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, "18456\rLogin failed for user 'sa'.");
}
