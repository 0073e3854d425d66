// Recordsets over the embedded engine: positions, rows changed while they are walked, new
// rows, long fields in chunks.
#include <gtest/gtest.h>

#include "embedded_test_helpers.h"
#include "platform/runtime_error.h"

using namespace embeddedtest;
using data::Recordset;
using data::Variant;
namespace ado = data::ado;

namespace {

void products(data::Connection& c) {
    c.Execute(QStringLiteral(" create table Produtos ( NumRegisto numeric (18,0) identity (1,1) not null )"));
    c.Execute(QStringLiteral(" alter table Produtos add Status varchar(3) null "));
    c.Execute(QStringLiteral(" alter table Produtos add Codigo varchar(15) null "));
    c.Execute(QStringLiteral(" alter table Produtos add PVP money null "));
    c.Execute(QStringLiteral(" alter table Produtos add Activo smallint null "));
}

void histFiles(data::Connection& c) {
    c.Execute(QStringLiteral(" create table HistFiles ( NumRegisto numeric (18,0) identity (1,1) not null )"));
    c.Execute(QStringLiteral(" alter table HistFiles add Filename varchar(128) null "));
    c.Execute(QStringLiteral(" alter table HistFiles add Ficheiro image null "));
    c.Execute(QStringLiteral(" alter table HistFiles add Datasys datetime null "));
    c.Execute(QStringLiteral(" alter table HistFiles add Notas text null "));
}

}  // namespace

TEST(EmbeddedRecordset, BofAndEofAsAdoGivesThem) {
    Server s;
    auto c = s.connect();
    products(*c);
    Recordset empty;
    empty.Open(QStringLiteral("select * from Produtos"), *c);
    EXPECT_EQ(empty.State(), ado::adStateOpen);
    EXPECT_TRUE(empty.BOF());
    EXPECT_TRUE(empty.EOF());
    EXPECT_EQ(errorNumber([&] { empty.MoveNext(); }), 3021);
    EXPECT_EQ(errorNumber([&] { empty.Fields(QStringLiteral("Codigo")).Value(); }), 3021);
    empty.Close();
    EXPECT_EQ(errorNumber([&] { empty.EOF(); }), 3704);

    c->Execute(QStringLiteral("insert into Produtos (Codigo) values ('A'); insert into Produtos (Codigo) values ('B')"));
    Recordset rs;
    rs.Open(QStringLiteral("select Codigo from Produtos order by Codigo"), *c, ado::adOpenForwardOnly, ado::adLockReadOnly);
    EXPECT_FALSE(rs.BOF());
    EXPECT_FALSE(rs.EOF());
    EXPECT_EQ(rs.RecordCount(), -1);
    EXPECT_EQ(rs.Fields(QStringLiteral("codigo")).Value().toString(), QStringLiteral("A"));
    rs.MoveNext();
    rs.MoveNext();
    EXPECT_TRUE(rs.EOF());
    EXPECT_FALSE(rs.BOF()) << "past the last row of a recordset with rows";
    EXPECT_EQ(errorNumber([&] { rs.Fields(QStringLiteral("Nada")); }), 3265);
    EXPECT_EQ(errorNumber([&] { rs.Fields(0L).setValue(QStringLiteral("x")); }), 3021);
    rs.MoveFirst();
    EXPECT_EQ(errorNumber([&] { rs.Fields(0L).setValue(QStringLiteral("x")); }), 3251) << "read-only";
    EXPECT_EQ(errorNumber([&] { rs.Open(QStringLiteral("select 1"), *c); }), 3705);

    // A statement without rows gives a closed recordset.
    long affected = 0;
    auto none = c->Execute(QStringLiteral("update Produtos set Status='N'"), &affected);
    EXPECT_EQ(none.State(), ado::adStateClosed);
    EXPECT_EQ(affected, 2);
    // Several statements: one result each.
    auto first = c->Execute(QStringLiteral("select 1 as a; select 'x' as b"));
    EXPECT_EQ(first.Fields(0L).Value().toInt32(), 1);
    auto second = first.NextRecordset();
    EXPECT_EQ(second.Fields(0L).Name(), QStringLiteral("b"));
    EXPECT_EQ(second.NextRecordset().State(), ado::adStateClosed);
}

TEST(EmbeddedRecordset, RowsChangedWhileWalkedAndNewRows) {
    Server s;
    auto c = s.connect();
    products(*c);
    for (int i = 1; i <= 3; ++i) {
        c->Execute(QStringLiteral("insert into Produtos (Codigo, Status, PVP) values ('P%1', 'N', %1.5)").arg(i));
    }
    // Every staged row re-checked and saved while the walk goes on, as the product re-check does.
    Recordset all;
    all.Open(QStringLiteral("Select * from Produtos"), *c, ado::adOpenDynamic, ado::adLockOptimistic);
    int walked = 0;
    while (!all.EOF()) {
        all.Fields(QStringLiteral("Status")).setValue(QStringLiteral("A"));
        all.Fields(QStringLiteral("PVP")).setValue(QStringLiteral("9.99"));
        EXPECT_EQ(all.EditMode(), ado::adEditInProgress);
        all.Update();
        c->Execute(QStringLiteral("update Produtos set Activo=1 where Codigo='") +
                   all.Fields(QStringLiteral("Codigo")).Value().toString() + u'\'');
        all.MoveNext();
        ++walked;
    }
    all.Close();
    EXPECT_EQ(walked, 3);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Produtos where Status='A' and Activo=1 and PVP=9.99")).toInt32(), 3);

    // The look-up of the product import: a new row on an empty "Select * ... Where ...".
    Recordset one;
    one.Open(QStringLiteral("Select * from Produtos Where Codigo='O''NEILL'"), *c, ado::adOpenDynamic, ado::adLockOptimistic);
    ASSERT_TRUE(one.EOF() && one.BOF());
    one.AddNew();
    one.Fields(QStringLiteral("Status")).setValue(QStringLiteral("N"));
    one.Fields(QStringLiteral("Codigo")).setValue(QStringLiteral("O'NEILL"));
    one.Fields(QStringLiteral("PVP")).setValue(data::Currency::fromDouble(12.3456));
    EXPECT_EQ(one.Fields(QStringLiteral("NumRegisto")).Value().isNull(), true);
    one.Update();
    EXPECT_EQ(one.Fields(QStringLiteral("NumRegisto")).Value().toInt64(), 4) << "the identity is read back";
    EXPECT_EQ(one.Fields(QStringLiteral("NumRegisto")).Type(), ado::adNumeric);
    one.Close();
    EXPECT_EQ(scalar(*c, QStringLiteral("select PVP from Produtos where Codigo='o''neill'")).toCurrency(),
              *data::Currency::parse(QStringLiteral("12.3456")));

    // A value that does not fit is refused at Update, the edit stays pending, nothing is saved.
    Recordset bad;
    bad.Open(QStringLiteral("Select * from Produtos Where Codigo='P1'"), *c, ado::adOpenDynamic, ado::adLockOptimistic);
    bad.Fields(QStringLiteral("Activo")).setValue(70000);
    EXPECT_EQ(errorNumber([&] { bad.Update(); }), 220);
    EXPECT_EQ(bad.EditMode(), ado::adEditInProgress);
    bad.CancelUpdate();
    EXPECT_EQ(bad.Fields(QStringLiteral("Activo")).Value().toInt32(), 1);
    EXPECT_EQ(errorNumber([&] { bad.Fields(QStringLiteral("NumRegisto")).setValue(99); }), 3251) << "identity";
    bad.Delete();
    bad.Close();
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Produtos where Codigo='P1'")).toInt32(), 0);

    // A query over several tables is read only.
    Recordset join;
    join.Open(QStringLiteral("select a.Codigo from Produtos a, Produtos b where a.NumRegisto=b.NumRegisto"), *c,
              ado::adOpenDynamic, ado::adLockOptimistic);
    EXPECT_EQ(errorNumber([&] { join.AddNew(); }), 3251);
}

TEST(EmbeddedRecordset, TableByNameAndLongFieldsInChunks) {
    Server s;
    auto c = s.connect();
    histFiles(*c);
    QByteArray file(5000, '\0');
    for (int i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 7 % 256);

    Recordset rs;
    rs.Open(QStringLiteral("HistFiles"), *c, ado::adOpenDynamic, ado::adLockOptimistic);
    rs.AddNew();
    rs.Fields(QStringLiteral("Filename")).setValue(QStringLiteral("VELM240101.MOV"));
    rs.Fields(QStringLiteral("Datasys")).setValue(QDateTime(QDate(2024, 1, 1), QTime(12, 0), Qt::UTC));
    auto image = rs.Fields(QStringLiteral("Ficheiro"));
    EXPECT_EQ(image.Type(), ado::adLongVarBinary);
    image.AppendChunk(file.left(904));
    image.AppendChunk(file.mid(904, 2048));
    image.AppendChunk(file.mid(2952));
    EXPECT_EQ(image.ActualSize(), 5000);
    auto notes = rs.Fields(QStringLiteral("Notas"));
    EXPECT_EQ(notes.Type(), ado::adLongVarChar);
    notes.AppendChunk(QStringLiteral("Ação "));
    notes.AppendChunk(QStringLiteral("concluída"));
    rs.Update();
    rs.Close();

    Recordset back;
    back.Open(QStringLiteral("select Ficheiro, Notas from HistFiles where Filename='VELM240101.MOV'"), *c);
    auto f = back.Fields(QStringLiteral("Ficheiro"));
    ASSERT_EQ(f.ActualSize(), 5000);
    QByteArray read = f.GetChunk(5000 % 2048).toBytes();
    for (int i = 0; i < 5000 / 2048; ++i) read += f.GetChunk(2048).toBytes();
    EXPECT_EQ(read, file);
    EXPECT_TRUE(f.GetChunk(10).isNull()) << "nothing left";
    auto n = back.Fields(QStringLiteral("Notas"));
    EXPECT_EQ(n.ActualSize(), 14);
    EXPECT_EQ(n.GetChunk(4).toString(), QStringLiteral("Ação"));
    EXPECT_EQ(n.GetChunk(100).toString(), QStringLiteral(" concluída"));

    // Emptying an image field, as a cleared picture is stored.
    Recordset clear;
    clear.Open(QStringLiteral("select Ficheiro from HistFiles where Filename='VELM240101.MOV'"), *c, ado::adOpenDynamic,
               ado::adLockOptimistic);
    clear.Fields(0L).setValue(QStringLiteral(""));
    clear.Update();
    EXPECT_EQ(clear.Fields(0L).ActualSize(), 0);
    // AppendChunk after the row changed replaces the value, then appends.
    clear.Fields(0L).AppendChunk(QByteArray("ab"));
    clear.Fields(0L).AppendChunk(QByteArray("cd"));
    clear.Update();
    clear.Close();
    EXPECT_EQ(scalar(*c, QStringLiteral("select Ficheiro from HistFiles")).toBytes(), QByteArray("abcd"));
}

// A new row's stored values (its identity, a char column filled to its width, a default) are
// read when the row is first looked at; whatever the connection does next, the row shows
// what its insert stored, as if it had been read at once.
TEST(EmbeddedRecordset, ANewRowShowsWhatItsInsertStoredWhateverComesNext) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral(" create table N ( NumRegisto numeric (18,0) identity (1,1) not null )"));
    c->Execute(QStringLiteral(" alter table N add Codigo char(4) null "));
    c->Execute(QStringLiteral(" alter table N add Estado varchar(3) null default 'ok'"));
    auto add = [&](Recordset& rs, const QString& codigo) {
        rs.Open(QStringLiteral("select * from N where 1 = 0"), *c, ado::adOpenDynamic, ado::adLockOptimistic);
        rs.AddNew();
        rs.Fields(QStringLiteral("Codigo")).setValue(codigo);
        rs.Update();
    };
    auto expectStored = [](Recordset& rs, std::int64_t id, const QString& codigo) {
        EXPECT_EQ(rs.Fields(QStringLiteral("NumRegisto")).Value().toInt64(), id);
        EXPECT_EQ(rs.Fields(QStringLiteral("Codigo")).Value().toString(), codigo);
        EXPECT_EQ(rs.Fields(QStringLiteral("Estado")).Value().toString(), QStringLiteral("ok"));
    };

    {  // the connection changes the row before the recordset looks at it
        Recordset rs;
        add(rs, QStringLiteral("a"));
        c->Execute(QStringLiteral("update N set Codigo = 'zz', Estado = 'no'"));
        expectStored(rs, 1, QStringLiteral("a   "));
    }
    {  // the transaction of the insert is rolled back before the recordset looks at it
        c->BeginTrans();
        Recordset rs;
        add(rs, QStringLiteral("b"));
        c->RollbackTrans();
        expectStored(rs, 2, QStringLiteral("b   "));
    }
    {  // another recordset of the connection adds a row in between
        Recordset first;
        Recordset second;
        add(first, QStringLiteral("c"));
        add(second, QStringLiteral("d"));
        c->Execute(QStringLiteral("delete from N"));
        // (the rolled back insert gave its number back)
        expectStored(first, 2, QStringLiteral("c   "));
        expectStored(second, 3, QStringLiteral("d   "));
    }
    {  // the connection is closed
        Recordset rs;
        add(rs, QStringLiteral("e"));
        c->Close();
        expectStored(rs, 4, QStringLiteral("e   "));
    }
}

// A field asked for by name is the first column of that name in the result at hand, whatever
// another result of the same program found for the same text before.
TEST(EmbeddedRecordset, FieldsByNameFollowTheResultAtHand) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table T (a int null, x int null, y int null)"));
    c->Execute(QStringLiteral("insert into T (a, x, y) values (1, 2, 3)"));
    auto valueOf = [](Recordset& rs) { return rs.Fields(QStringLiteral("x")).Value().toInt32(); };
    Recordset rs;
    rs.Open(QStringLiteral("select a, x from T"), *c);
    EXPECT_EQ(valueOf(rs), 2);
    EXPECT_EQ(valueOf(rs), 2);
    rs.Close();
    rs.Open(QStringLiteral("select y as x, x from T"), *c);
    EXPECT_EQ(valueOf(rs), 3) << "the first of two columns of the name";
    rs.Close();
    rs.Open(QStringLiteral("select a, y as X from T"), *c);
    EXPECT_EQ(valueOf(rs), 3) << "found without case";
    rs.Close();
    rs.Open(QStringLiteral("select a from T"), *c);
    EXPECT_THROW(valueOf(rs), platform::RuntimeError);
}

// A statement run again hands out the same columns, and a field found by name in one of its
// results is found at once in the next; a table made anew under the same statement must not be
// read by the places of the old one.
TEST(EmbeddedRecordset, FieldsByNameOfAStatementRunAgainAndOfATableMadeAnew) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table T (a int null, x int null, y int null)"));
    c->Execute(QStringLiteral("insert into T (a, x, y) values (1, 2, 3)"));
    const QString ax = QStringLiteral("select * from T");
    const QString xa = QStringLiteral("select y, a, x from T");
    const QString x = QStringLiteral("x");
    const QString y = QStringLiteral("y");
    for (int round = 0; round < 3; ++round) {
        Recordset one;
        one.Open(ax, *c);
        Recordset two;
        two.Open(xa, *c);
        EXPECT_EQ(one.Fields(x).Value().toInt32(), 2);
        EXPECT_EQ(two.Fields(x).Value().toInt32(), 2);
        EXPECT_EQ(two.Fields(y).Value().toInt32(), 3);
        EXPECT_EQ(one.Fields(y).Value().toInt32(), 3);
    }
    c->Execute(QStringLiteral("drop table T"));
    c->Execute(QStringLiteral("create table T (x varchar(5) null, y int null, a int null)"));
    c->Execute(QStringLiteral("insert into T (x, y, a) values ('new', 7, 8)"));
    Recordset again;
    again.Open(ax, *c);
    EXPECT_EQ(again.Fields(x).Value().toString(), QStringLiteral("new"));
    EXPECT_EQ(again.Fields(y).Value().toInt32(), 7);
}

// The values of a row are unpacked as they are read: read in any order, on rows visited again,
// beside an edit, a new row and a long value left unread, each is the row's own.
TEST(EmbeddedRecordset, FieldsOfAWideRowReadInAnyOrderAcrossMovesAndEdits) {
    Server s;
    auto c = s.connect();
    histFiles(*c);
    c->Execute(QStringLiteral("insert into HistFiles (Filename, Datasys, Notas) values ('a.MOV', '2024-03-05 10:30:00', "
                              "'first')"));
    c->Execute(QStringLiteral("insert into HistFiles (Filename, Datasys, Notas) values (null, null, 'second')"));
    Recordset rs;
    rs.Open(QStringLiteral("select * from HistFiles order by NumRegisto"), *c, ado::adOpenDynamic,
            ado::adLockOptimistic);
    auto f = [&](const char* name) { return rs.Fields(QString::fromLatin1(name)).Value(); };
    EXPECT_EQ(f("Notas").toString(), QStringLiteral("first")) << "a long value, read when first looked at";
    const Variant kept = f("Filename");
    EXPECT_EQ(kept.toString(), QStringLiteral("a.MOV"));
    EXPECT_EQ(f("Datasys").toDateTime().date(), QDate(2024, 3, 5));
    rs.MoveNext();
    EXPECT_TRUE(f("Datasys").isNull()) << "not the first row's date";
    EXPECT_TRUE(f("Filename").isNull());
    EXPECT_EQ(f("Notas").toString(), QStringLiteral("second"));
    rs.MovePrevious();
    EXPECT_EQ(f("Filename").toString(), QStringLiteral("a.MOV"));
    rs.Fields(QStringLiteral("Filename")).setValue(QStringLiteral("b.MOV"));
    EXPECT_EQ(f("Filename").toString(), QStringLiteral("b.MOV")) << "the edit's value while editing";
    EXPECT_EQ(f("Notas").toString(), QStringLiteral("first"));
    rs.Update();
    EXPECT_EQ(f("Filename").toString(), QStringLiteral("b.MOV")) << "the row as written";
    EXPECT_EQ(kept.toString(), QStringLiteral("a.MOV")) << "a value kept by the program is its own";
    EXPECT_EQ(f("Datasys").toDateTime().date(), QDate(2024, 3, 5));
    rs.AddNew();
    rs.Fields(QStringLiteral("Filename")).setValue(QStringLiteral("c.MOV"));
    rs.Update();
    EXPECT_EQ(f("Filename").toString(), QStringLiteral("c.MOV"));
    EXPECT_GT(f("NumRegisto").toInt64(), 2) << "the identity the insert stored";
    rs.AddNew();
    rs.Fields(QStringLiteral("Filename")).setValue(QStringLiteral("d.MOV"));
    rs.CancelUpdate();
    EXPECT_EQ(f("Filename").toString(), QStringLiteral("c.MOV"));
    rs.MoveFirst();
    EXPECT_EQ(rs.Fields(QStringLiteral("Filename")).View().size, 5u);
    EXPECT_EQ(f("Filename").toString(), QStringLiteral("b.MOV"));
}

// Rows deleted through a recordset are passed over by every move and left out of its count,
// also once rows are added or an addition is cancelled.
TEST(EmbeddedRecordset, DeletedRowsArePassedOverAndNotCounted) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table D (k int null)"));
    for (int k = 1; k <= 4; ++k) c->Execute(QStringLiteral("insert into D (k) values (%1)").arg(k));
    Recordset rs;
    rs.Open(QStringLiteral("select k from D order by k"), *c, ado::adOpenStatic, ado::adLockOptimistic);
    auto walk = [&] {
        QList<int> seen;
        rs.MoveFirst();
        while (!rs.EOF()) {
            seen << rs.Fields(0L).Value().toInt32();
            rs.MoveNext();
        }
        return seen;
    };
    rs.MoveNext();
    rs.Delete();  // k = 2
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(walk(), (QList<int>{1, 3, 4}));
    rs.MoveLast();
    rs.Delete();  // k = 4
    rs.MoveLast();
    EXPECT_EQ(rs.Fields(0L).Value().toInt32(), 3);
    rs.MovePrevious();
    EXPECT_EQ(rs.Fields(0L).Value().toInt32(), 1);
    rs.AddNew();
    rs.Fields(0L).setValue(5);
    rs.CancelUpdate();
    EXPECT_EQ(rs.RecordCount(), 2);
    rs.AddNew();
    rs.Fields(0L).setValue(6);
    rs.Update();
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(walk(), (QList<int>{1, 3, 6}));
    rs.MoveLast();
    rs.Delete();
    EXPECT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(walk(), (QList<int>{1, 3}));
    rs.Close();
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from D")).toInt32(), 2);
}
