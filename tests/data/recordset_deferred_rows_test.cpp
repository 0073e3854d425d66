// A table opened by name to be written reads its rows only once it is walked, and a long value
// of an updatable recordset is read only when its field is first looked at: what grows every
// day (the zipped history copies) never grows the recordset that adds one more.
#include <gtest/gtest.h>

#include "embedded_test_helpers.h"

using namespace embeddedtest;
using data::Recordset;
using data::Variant;
namespace ado = data::ado;

namespace {

class DeferredRows : public ::testing::Test {
protected:
    void SetUp() override {
        c_ = server_.connect();
        other_ = server_.connect();
        c_->Execute(QStringLiteral("create table HistFiles (NumRegisto numeric(18,0) identity(1,1) not null, "
                                   "Filename varchar(128) null, Ficheiro image null, Datasys datetime null)"));
        for (int i = 1; i <= 3; ++i) {
            raw(QStringLiteral("insert into HistFiles (Filename, Ficheiro) values ('F%1', X'0%1')").arg(i));
        }
    }
    // Written as the sqlite3 tool would, which takes binary literals.
    void raw(const QString& sql) const { rawExec(server_.file(QStringLiteral("Velmora")), sql); }
    void openTable(Recordset& rs) const {
        rs.Open(QStringLiteral("HistFiles"), *c_, ado::adOpenDynamic, ado::adLockOptimistic);
    }
    // The file names from the current row on.
    static QStringList names(Recordset& rs) {
        QStringList out;
        for (; !rs.EOF(); rs.MoveNext()) out << rs.Fields(QStringLiteral("Filename")).Value().toString();
        return out;
    }

    Server server_;
    std::unique_ptr<data::Connection> c_;
    std::unique_ptr<data::Connection> other_;
};

}  // namespace

TEST_F(DeferredRows, ATableOpenedToAddRowsReadsNoneUntilWalked) {
    Recordset rs;
    openTable(rs);
    EXPECT_EQ(rs.Fields().Count(), 4);
    EXPECT_EQ(rs.Fields(QStringLiteral("Ficheiro")).Type(), ado::adLongVarBinary);
    // Rows taken away and added meanwhile show: none was read when the table was opened.
    other_->Execute(QStringLiteral("delete from HistFiles where Filename = 'F2'"));
    other_->Execute(QStringLiteral("insert into HistFiles (Filename) values ('F4')"));
    EXPECT_FALSE(rs.BOF());
    EXPECT_EQ(names(rs), (QStringList{"F1", "F3", "F4"}));

    // Opened on an empty table: both ends at once, as before.
    other_->Execute(QStringLiteral("delete from HistFiles"));
    Recordset empty;
    openTable(empty);
    EXPECT_TRUE(empty.EOF());
    EXPECT_TRUE(empty.BOF());
}

TEST_F(DeferredRows, RowsAddedBeforeTheWalkKeepTheirPlaceAndKey) {
    Recordset rs;
    openTable(rs);
    rs.AddNew();
    rs.Fields(QStringLiteral("Filename")).setValue(QStringLiteral("NEW"));
    rs.Fields(QStringLiteral("Ficheiro")).AppendChunk(QByteArray("PK\x03\x04", 4));
    rs.Update();
    // The added row is the current one: looking at it reads nothing else.
    EXPECT_EQ(rs.Fields(QStringLiteral("NumRegisto")).Value().toInt64(), 4);
    EXPECT_EQ(rs.Fields(QStringLiteral("Ficheiro")).Value().toBytes(), QByteArray("PK\x03\x04", 4));
    EXPECT_FALSE(rs.EOF());

    // Walking reads the table: the added row once, after the others, and still writable.
    rs.MoveFirst();
    EXPECT_EQ(names(rs), (QStringList{"F1", "F2", "F3", "NEW"}));
    rs.MoveLast();
    EXPECT_EQ(rs.Fields(QStringLiteral("Filename")).Value().toString(), QStringLiteral("NEW"));
    rs.Fields(QStringLiteral("Filename")).setValue(QStringLiteral("NEW2"));
    rs.Update();
    EXPECT_EQ(scalar(*other_, QStringLiteral("select Filename from HistFiles where NumRegisto = 4")).toString(),
              QStringLiteral("NEW2"));

    // An addition given up before any walk leaves the recordset at its first row.
    Recordset again;
    openTable(again);
    again.AddNew();
    again.Fields(QStringLiteral("Filename")).setValue(QStringLiteral("GONE"));
    again.CancelUpdate();
    EXPECT_FALSE(again.BOF());
    EXPECT_EQ(again.Fields(QStringLiteral("Filename")).Value().toString(), QStringLiteral("F1"));
    EXPECT_EQ(scalar(*other_, QStringLiteral("select count(*) from HistFiles")).toInt64(), 4);
}

TEST_F(DeferredRows, LongValuesAreReadWhenTheirFieldIsFirstTouched) {
    Recordset rs;
    rs.Open(QStringLiteral("select NumRegisto, Filename, Ficheiro from HistFiles order by NumRegisto"), *c_,
            ado::adOpenDynamic, ado::adLockOptimistic);
    ASSERT_FALSE(rs.EOF());
    // Changed after the recordset was opened, before the field is looked at: the value read is
    // the one stored when it is first touched, and then it stays.
    raw(QStringLiteral("update HistFiles set Ficheiro = X'AABB' where Filename = 'F1'"));
    EXPECT_EQ(rs.Fields(QStringLiteral("Ficheiro")).ActualSize(), 2);
    raw(QStringLiteral("update HistFiles set Ficheiro = X'CC' where Filename = 'F1'"));
    EXPECT_EQ(rs.Fields(QStringLiteral("Ficheiro")).Value().toBytes(), QByteArray("\xAA\xBB", 2));
    EXPECT_EQ(rs.Fields(QStringLiteral("Ficheiro")).GetChunk(1).toBytes(), QByteArray("\xAA", 1));
    EXPECT_EQ(rs.Fields(QStringLiteral("Ficheiro")).GetChunk(5).toBytes(), QByteArray("\xBB", 1));

    // An edit of another field leaves the long value unread and untouched in the table.
    rs.MoveNext();
    rs.Fields(QStringLiteral("Filename")).setValue(QStringLiteral("F2b"));
    rs.Update();
    EXPECT_EQ(scalar(*other_, QStringLiteral("select Ficheiro from HistFiles where Filename = 'F2b'")).toBytes(),
              QByteArray("\x02", 1));
    EXPECT_EQ(rs.Fields(QStringLiteral("Ficheiro")).Value().toBytes(), QByteArray("\x02", 1));
    // A Null long value reads as Null; a read-only recordset reads its values at once as before.
    other_->Execute(QStringLiteral("update HistFiles set Ficheiro = null where Filename = 'F3'"));
    rs.MoveNext();
    EXPECT_TRUE(rs.Fields(QStringLiteral("Ficheiro")).Value().isNull());
    EXPECT_EQ(rs.Fields(QStringLiteral("Ficheiro")).ActualSize(), 0);
    auto plain = c_->Execute(QStringLiteral("select Ficheiro from HistFiles where Filename = 'F1'"));
    raw(QStringLiteral("update HistFiles set Ficheiro = X'DD' where Filename = 'F1'"));
    EXPECT_EQ(plain.Fields(0L).Value().toBytes(), QByteArray("\xCC", 1));
}
