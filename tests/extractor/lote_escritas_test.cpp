// The grouping of a run's row-by-row writes: what another connection (or the next run after a
// kill) sees of them, and what an error trap keeps.
#include <gtest/gtest.h>

#include "data/connection.h"
#include "extractor/LoteDeEscritas.h"
#include "support/embedded_server.h"

namespace {

class LoteDeEscritasTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec(QStringLiteral("master"), QStringLiteral("create database Lote"));
        server_.exec(QStringLiteral("Lote"), QStringLiteral("create table T (n int not null, c varchar(2) null)"));
        conn_ = server_.connect(QStringLiteral("Lote"));
    }
    void insere(int n, const char* c = "ok") {
        conn_->Execute(QStringLiteral("insert into T (n, c) values (%1, '%2')").arg(n).arg(QString::fromLatin1(c)));
    }
    // Counted over a connection of its own: only what was committed.
    int vistas() const { return server_.scalar(QStringLiteral("Lote"), QStringLiteral("select count(*) from T")).toInt32(); }

    testsupport::TempEmbeddedServer server_;
    std::unique_ptr<data::Connection> conn_;
};

}  // namespace

TEST_F(LoteDeEscritasTest, RowsAreCommittedAGroupAtATimeAndAnAbandonedGroupIsUndone) {
    {
        LoteDeEscritas lote(*conn_);
        for (int i = 1; i <= 1200; ++i) {
            insere(i);
            lote.passo();
            if (i == 499) {
                EXPECT_EQ(vistas(), 0) << "nothing is seen before the first group ends";
            }
            if (i == 700) {
                EXPECT_EQ(vistas(), 500);
            }
        }
        EXPECT_EQ(vistas(), 1000);
        // Leaving without confirming is what a killed process leaves: the open group is lost,
        // the groups before it stay.
    }
    EXPECT_EQ(vistas(), 1000);
    EXPECT_EQ(server_.scalar(QStringLiteral("Lote"), QStringLiteral("select max(n) from T")).toInt32(), 1000);

    // The connection is free again for statements on their own and a new group.
    insere(5000);
    EXPECT_EQ(vistas(), 1001);
    LoteDeEscritas outro(*conn_);
    insere(5001);
    outro.confirma();
    EXPECT_EQ(vistas(), 1002);
}

TEST_F(LoteDeEscritasTest, AnErrorTrapKeepsWhatWasDoneBeforeTheErrorAndFreesTheTable) {
    LoteDeEscritas lote(*conn_);
    insere(1);
    insere(2);
    EXPECT_THROW(insere(3, "longo"), data::DbError);  // does not fit its column
    lote.termina();
    // The trap's log row goes over another connection: it must not wait for this one.
    server_.exec(QStringLiteral("Lote"), QStringLiteral("insert into T (n) values (99)"));
    EXPECT_EQ(vistas(), 3);
    lote.termina();  // a second end changes nothing
    lote.confirma();
    EXPECT_EQ(vistas(), 3);
}

TEST_F(LoteDeEscritasTest, AConnectionThatCannotBeginLeavesEachStatementOnItsOwn) {
    conn_->BeginTrans();  // one transaction per session: the group cannot begin another
    {
        LoteDeEscritas lote(*conn_);
        insere(1);
        lote.passo();
        lote.confirma();  // nothing of its own to commit
        EXPECT_EQ(vistas(), 0);
    }
    conn_->CommitTrans();
    EXPECT_EQ(vistas(), 1) << "the group left the caller's transaction alone";

    // Writes that must stand or fall together refuse to go on without their transaction.
    conn_->BeginTrans();
    EXPECT_THROW(LoteDeEscritas(*conn_, LoteDeEscritas::Exigida{}), data::DbError);
    conn_->RollbackTrans();
    {
        LoteDeEscritas juntas(*conn_, LoteDeEscritas::Exigida{});
        insere(2);
        insere(3);
    }
    EXPECT_EQ(vistas(), 1) << "unconfirmed, both are undone";
}
