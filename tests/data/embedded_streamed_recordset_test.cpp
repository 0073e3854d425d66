// Recordsets whose rows the embedded engine hands out one at a time (OpenForwardOnce): the
// same rows and values as a recordset read into memory, what such a recordset refuses, and
// the statement it keeps open meeting the connection's other work.
#include <gtest/gtest.h>

#include <functional>

#include "embedded_test_helpers.h"

using namespace embeddedtest;
using data::Recordset;
namespace ado = data::ado;

namespace {

// Enough rows of uneven width that the streamed row outgrows its first buffer more than once.
constexpr int kRows = 1500;

void fill(data::Connection& c) {
    c.Execute(QStringLiteral("create table Linhas (Codigo varchar(20) null, Nome varchar(300) null, Valor money null, "
                             "Dia datetime null, N int null, Status varchar(1) null)"));
    c.BeginTrans();
    for (int i = 0; i < kRows; ++i) {
        const QString nome = i % 7 == 0 ? QStringLiteral("NULL")
                             : i % 5 == 0 ? QStringLiteral("'Conceição %1'").arg(i)  // not plain ASCII
                                          : QStringLiteral("'%1'").arg(QString(i % 280, QChar(u'a' + i % 26)));
        c.Execute(QStringLiteral("insert into Linhas values ('C%1', %2, %3.25, '2024-03-%4 10:00', %5, '%6')")
                      .arg(kRows - i, 5, 10, QChar(u'0'))
                      .arg(nome)
                      .arg(i)
                      .arg(1 + i % 28, 2, 10, QChar(u'0'))
                      .arg(i)
                      .arg(i % 3 == 0 ? QStringLiteral("N") : QStringLiteral("A")));
    }
    c.CommitTrans();
}

const QString kQuery = QStringLiteral("Select * from Linhas Where isnull(status,'')<>'' order by Codigo");

Recordset streamed(data::Connection& c, const QString& sql = kQuery, int cursor = ado::adOpenDynamic) {
    Recordset rs;
    rs.OpenForwardOnce(sql, c, cursor, ado::adLockOptimistic);
    return rs;
}

QString text(const data::Variant& v) { return v.isNull() ? QStringLiteral("<null>") : v.toString(); }

// Every value of every row, as Value() gives it and as View() shows it.
QStringList walk(Recordset& rs) {
    QStringList out;
    const long n = rs.Fields().Count();
    while (!rs.EOF()) {
        QString line;
        for (long i = 0; i < n; ++i) {
            const data::Field f = rs.Fields(i);
            const auto v = f.View();
            line += QString::number(v.kind) + u':' + QString::fromLatin1(v.text, v.size) + u':' +
                    QString::number(v.amount) + u':' + text(f.Value()) + u'|';
        }
        out << line;
        rs.MoveNext();
    }
    return out;
}

// The test rows, and every row of the query as a recordset read into memory gives them.
QStringList filledAndReadWhole(data::Connection& c, Recordset& whole) {
    fill(c);
    whole.Open(kQuery, c, ado::adOpenDynamic, ado::adLockOptimistic);
    return walk(whole);
}

}  // namespace

TEST(EmbeddedStreamedRecordset, GivesTheRowsAndValuesOfTheRecordsetReadIntoMemory) {
    Server s;
    auto c = s.connect();
    Recordset whole;
    const QStringList expected = filledAndReadWhole(*c, whole);
    ASSERT_EQ(expected.size(), kRows);

    Recordset rs = streamed(*c);
    EXPECT_EQ(rs.CursorType(), ado::adOpenDynamic);
    EXPECT_EQ(rs.LockType(), ado::adLockOptimistic);
    ASSERT_EQ(rs.Fields().Count(), whole.Fields().Count());
    for (long i = 0; i < rs.Fields().Count(); ++i) {
        EXPECT_EQ(rs.Fields(i).Name(), whole.Fields(i).Name());
        EXPECT_EQ(rs.Fields(i).Type(), whole.Fields(i).Type());
        EXPECT_EQ(rs.Fields(i).DefinedSize(), whole.Fields(i).DefinedSize());
    }
    EXPECT_FALSE(rs.BOF());
    EXPECT_EQ(rs.RecordCount(), -1);
    EXPECT_EQ(walk(rs), expected);
    EXPECT_TRUE(rs.EOF());
    EXPECT_FALSE(rs.BOF());
    EXPECT_EQ(errorNumber([&] { rs.MoveNext(); }), 3021);
    EXPECT_EQ(errorNumber([&] { rs.Fields(0L).Value(); }), 3021);
    rs.Close();
    EXPECT_EQ(rs.State(), ado::adStateClosed);

    Recordset none = streamed(*c, QStringLiteral("select * from Linhas where N < 0"));
    EXPECT_TRUE(none.BOF());
    EXPECT_TRUE(none.EOF());
    EXPECT_EQ(none.Fields().Count(), 6);
}

// A streamed row carries only the columns read so far: a column first read many rows in, one
// read on some rows only, a handle kept from the first row, Value() or View() first, each
// still gives the row's own value.
TEST(EmbeddedStreamedRecordset, AColumnFirstReadLaterGivesTheValueOfItsRow) {
    Server s;
    auto c = s.connect();
    Recordset whole;
    const QStringList expected = filledAndReadWhole(*c, whole);

    struct Case {
        const char* name;
        std::function<bool(int row, long column)> reads;
        bool viewFirst;
    };
    const std::vector<Case> cases = {
        {"one column more every 200 rows", [](int row, long column) { return column <= row / 200; }, true},
        {"last column only from row 1000", [](int row, long column) { return column < 5 || row >= 1000; }, false},
        {"every third row its own columns", [](int row, long column) { return (row + column) % 3 == 0; }, true},
        {"nothing on the first rows", [](int row, long) { return row >= 3; }, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Recordset rs = streamed(*c);
        const long n = rs.Fields().Count();
        std::vector<data::Field> kept;
        for (long i = 0; i < n; ++i) kept.push_back(rs.Fields(i));
        int row = 0;
        while (!rs.EOF()) {
            const QStringList want = expected[row].split(u'|');
            // Backwards, so a column read later in a row is packed after the earlier ones.
            for (long i = n - 1; i >= 0; --i) {
                if (!k.reads(row, i)) continue;
                const data::Field& f = kept[static_cast<size_t>(i)];
                data::Variant value;
                if (!k.viewFirst) value = f.Value();
                const auto v = f.View();
                if (k.viewFirst) value = f.Value();
                const QString got = QString::number(v.kind) + u':' + QString::fromLatin1(v.text, v.size) + u':' +
                                    QString::number(v.amount) + u':' + text(value);
                ASSERT_EQ(got, want[i]) << "row " << row << " column " << i;
            }
            rs.MoveNext();
            ++row;
        }
        EXPECT_EQ(row, kRows);
    }
}

TEST(EmbeddedStreamedRecordset, RefusesWhatNeedsMoreThanTheRowItStandsOn) {
    Server s;
    auto c = s.connect();
    fill(*c);
    const struct {
        const char* what;
        int cursor;
        std::function<void(Recordset&)> call;
        long error;
        long atEof;
    } cases[] = {
        {"MovePrevious", ado::adOpenDynamic, [](Recordset& rs) { rs.MovePrevious(); }, 3219, 3219},
        {"MoveFirst", ado::adOpenDynamic, [](Recordset& rs) { rs.MoveFirst(); }, 3219, 3219},
        {"MoveLast", ado::adOpenDynamic, [](Recordset& rs) { rs.MoveLast(); }, 3219, 3219},
        {"RecordCount of a static cursor", ado::adOpenStatic, [](Recordset& rs) { rs.RecordCount(); }, 3219, 3219},
        {"Update", ado::adOpenDynamic, [](Recordset& rs) { rs.Update(); }, 3251, 3251},
        {"AddNew", ado::adOpenDynamic, [](Recordset& rs) { rs.AddNew(); }, 3251, 3251},
        {"Delete", ado::adOpenDynamic, [](Recordset& rs) { rs.Delete(); }, 3251, 3251},
        {"a value set", ado::adOpenDynamic,
         [](Recordset& rs) { rs.Fields(QStringLiteral("Nome")).setValue(QStringLiteral("x")); }, 3251, 3021},
    };
    for (const auto& k : cases) {
        Recordset rs = streamed(*c, kQuery, k.cursor);
        rs.MoveNext();
        EXPECT_EQ(errorNumber([&] { k.call(rs); }), k.error) << k.what;
        // Refused without moving: the next row is still the second's successor.
        EXPECT_EQ(rs.Fields(QStringLiteral("Codigo")).Value().toString(), QStringLiteral("C00002")) << k.what;
        while (!rs.EOF()) rs.MoveNext();
        EXPECT_EQ(errorNumber([&] { k.call(rs); }), k.atEof) << k.what << " at EOF";
    }
}

TEST(EmbeddedStreamedRecordset, AnErrorWhileReadingARowSurfacesFromMoveNext) {
    Server s;
    auto c = s.connect();
    fill(*c);
    c->Execute(QStringLiteral("update Linhas set Status = 'x' where N = 3"));
    // The conversion fails on the fourth row only, when the statement reaches it (in the
    // order of the rows as stored: no sort reads them all before the first).
    Recordset rs = streamed(*c, QStringLiteral("select Codigo from Linhas where Status <> 'x' or convert(int, Status) = 0"));
    ASSERT_FALSE(rs.EOF());
    rs.MoveNext();
    rs.MoveNext();
    EXPECT_EQ(rs.Fields(0L).Value().toString(), QStringLiteral("C01498"));
    try {
        rs.MoveNext();
        FAIL() << "the failing row was read";
    } catch (const data::DbError& e) {
        EXPECT_NE(e.number(), 0);
        EXPECT_FALSE(e.description().isEmpty());
    }
    EXPECT_TRUE(rs.EOF());
    EXPECT_EQ(errorNumber([&] { rs.Fields(0L).Value(); }), 3021);
    EXPECT_GT(c->Errors().Count(), 0);
    rs.Close();
    // The connection goes on.
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Linhas")).toInt64(), kRows);
}

TEST(EmbeddedStreamedRecordset, OtherWorkOnTheConnectionLeavesTheStreamWhole) {
    Server s;
    auto c = s.connect();
    fill(*c);
    c->Execute(QStringLiteral("create table Outra (Codigo varchar(20) null)"));
    Recordset whole;
    whole.Open(kQuery, *c);
    const QStringList expected = walk(whole);

    Recordset rs = streamed(*c);
    QStringList got;
    int row = 0;
    const long n = rs.Fields().Count();
    while (!rs.EOF()) {
        QString line;
        for (long i = 0; i < n; ++i) {
            const auto v = rs.Fields(i).View();
            line += QString::number(v.kind) + u':' + QString::fromLatin1(v.text, v.size) + u':' +
                    QString::number(v.amount) + u':' + text(rs.Fields(i).Value()) + u'|';
        }
        got << line;
        switch (row++ % 4) {
            case 0:  // the same statement again, read into memory
                EXPECT_TRUE(hasRows(*c, kQuery));
                break;
            case 1:
                c->Execute(QStringLiteral("insert into Outra values ('x')"));
                break;
            case 2: {  // another stream of the same text beside it
                Recordset other = streamed(*c);
                other.MoveNext();
                EXPECT_EQ(other.Fields(QStringLiteral("Codigo")).Value().toString(), QStringLiteral("C00002"));
                break;
            }
            default:  // the streamed table is in use: dropping it fails, and says so
                EXPECT_NE(errorOf(*c, QStringLiteral("drop table Linhas")), 0);
                break;
        }
        rs.MoveNext();
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from Outra")).toInt64(), (kRows + 2) / 4);
}

TEST(EmbeddedStreamedRecordset, ClosingHalfWayLetsTheStatementGo) {
    Server s;
    auto c = s.connect();
    fill(*c);
    {
        Recordset rs = streamed(*c);
        rs.MoveNext();
        rs.Close();
    }
    {
        Recordset dropped = streamed(*c);
        dropped.MoveNext();
    }  // never closed
    EXPECT_EQ(errorOf(*c, QStringLiteral("drop table Linhas")), 0) << "a stream still holds the table";
}

TEST(EmbeddedStreamedRecordset, AStreamCutOffByItsConnectionSaysSo) {
    Server s;
    {
        auto other = s.connect(QStringLiteral("master"));
        other->Execute(QStringLiteral("Create Database Outra"));
    }
    const std::function<void(data::Connection&)> cuts[] = {
        [](data::Connection& c) { c.Close(); },
        [](data::Connection& c) { c.Execute(QStringLiteral("use Outra")); },
    };
    auto setUp = s.connect();
    fill(*setUp);
    for (const auto& cut : cuts) {
        auto c = s.connect();
        Recordset rs = streamed(*c);
        rs.MoveNext();
        cut(*c);
        EXPECT_EQ(errorNumber([&] { rs.MoveNext(); }), 3709);
        EXPECT_TRUE(rs.EOF());
        rs.Close();
    }
}
