// Table locks between programs: ActivaLock holds the lock table's row until DesActivaLock, and
// SQLCheckLock sees it in the server's lock list.
#include <gtest/gtest.h>

#include "csql_test_support.h"
#include "data/connection.h"
#include "data/dberror.h"
#include "support/borvia_config.h"

using csqltest::ConfiguredLogin;
using testsupport::TempEmbeddedServer;

TEST(CSqlBloqueios, ALockIsHeldFromActivaLockToDesActivaLockAndSeenByOthers) {
    TempEmbeddedServer server;
    testsupport::BorviaConfig config(server, false);
    ConfiguredLogin cfg(server);
    CSql& s = gobjSql();

    QString nome = "Fecho";
    EXPECT_TRUE(s.SQLCheckLock(nome)) << "no lock yet";
    EXPECT_EQ(nome, "Fecho_") << "the caller's variable receives the underscore";

    nome = "Fecho";
    ASSERT_TRUE(s.ActivaLock(nome));
    EXPECT_EQ(nome, "Fecho_");
    const auto rows = server.rows("BorviaConfig", "select xxx from Fecho_ With (NoLock)");
    EXPECT_EQ(rows.size(), 1u);
    nome = "fecho";
    EXPECT_FALSE(s.SQLCheckLock(nome)) << "the held row is in the server's lock list";
    QString outro = "Outro";
    EXPECT_TRUE(s.SQLCheckLock(outro));

    // Other programs write to every other table of the database meanwhile; a write to the lock
    // table waits for the lock, and gives up with the lock time-out's error when its time is up.
    auto other = server.connect("BorviaConfig");
    other->setCommandTimeout(1);
    other->Execute("create table Outra (a int)");
    other->Execute("insert into Outra (a) values (1)");
    other->BeginTrans();
    other->Execute("update Outra set a = 2");
    other->CommitTrans();
    try {
        other->Execute("update Fecho_ set xxx = 'yyy'");
        ADD_FAILURE() << "the held table was written";
    } catch (const data::DbError& e) {
        EXPECT_EQ(e.number(), 1222);
    }

    // Taking the same lock again works on the connection that holds it.
    nome = "Fecho";
    EXPECT_TRUE(s.ActivaLock(nome));
    nome = "Fecho";
    s.DesActivaLock(nome);
    EXPECT_EQ(nome, "Fecho_");
    nome = "Fecho";
    EXPECT_TRUE(s.SQLCheckLock(nome));
    EXPECT_FALSE(s.SQLCheckTable(*server.connect("BorviaConfig"), "Fecho_")) << "the lock table is gone";
    other->Execute("create table Fecho_ (xxx varchar(10))");
    other->Execute("update Fecho_ set xxx = 'yyy'");

    // Releasing a lock this program does not hold does nothing.
    nome = "Fecho";
    s.DesActivaLock(nome);
    EXPECT_EQ(nome, "Fecho_");

    // Without a configuration database to hold it, there is no lock.
    ConfiguredLogin wrong(server.serverName(), "sa", "errada");
    nome = "Fecho";
    EXPECT_FALSE(s.ActivaLock(nome));
    EXPECT_THROW(s.SQLCheckLock(nome), platform::RuntimeError) << "SQLCheckLock traps nothing";
}
