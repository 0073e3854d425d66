#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "data/connection.h"
#include "data/recordset.h"
#include "platform/runtime_error.h"
#include "support/embedded_server.h"
#include "util/EDiv.h"
#include "util/PictureHolder.h"

using data::Variant;

namespace {

// A picture control that keeps the bytes of the last file it loaded; an empty file is no picture.
class FakePicture : public PictureHolder {
public:
    void LoadPicture(const QString& filePath) override {
        QFile f(filePath);
        if (!f.open(QIODevice::ReadOnly)) throw platform::RuntimeError(53, "File not found");
        const QByteArray bytes = f.readAll();
        if (bytes.isEmpty()) throw platform::RuntimeError(481, "Invalid picture");
        picture = bytes;
        ++loads;
    }
    QByteArray picture = "previous";
    int loads = 0;
};

QByteArray patternBytes(int n) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i) b[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return b;
}

// Sets the Temp variable for the life of the object.
class TempVariable {
public:
    explicit TempVariable(const QString& value) : had_(qEnvironmentVariableIsSet("Temp")), old_(qgetenv("Temp")) {
        qputenv("Temp", value.toLocal8Bit());
    }
    ~TempVariable() {
        if (had_) qputenv("Temp", old_);
        else qunsetenv("Temp");
    }

private:
    bool had_;
    QByteArray old_;
};

}  // namespace

TEST(InsertSQL, BuildsTheStatementAsTheSystemWroteIt) {
    EDiv e;
    std::vector<QString> campos{"", "A", "B"};
    std::vector<Variant> valores{Variant(), Variant(std::int32_t{5}), Variant("x")};
    EXPECT_EQ(e.InsertSQL(" T ", campos, valores), "INSERT INTO T (A,B) VALUES (5 , 'x' )");

    // Booleans become -1 and 0, in the statement and in the caller's array.
    std::vector<QString> c3{"", "A", "B", "C"};
    std::vector<Variant> v3{Variant(), Variant(true), Variant(false), Variant(data::Currency::fromRaw(12345))};
    EXPECT_EQ(e.InsertSQL("T", c3, v3), "INSERT INTO T (A,B,C) VALUES (-1 , 0 , 1.2345 )");
    EXPECT_EQ(v3[1].type(), Variant::Type::Integer);
    EXPECT_EQ(v3[1].toInt32(), -1);
    EXPECT_EQ(v3[2].toInt32(), 0);

    // A Null adds no value: the value list is shorter than the column list.
    std::vector<Variant> vn{Variant(), Variant::null(), Variant("y")};
    EXPECT_EQ(e.InsertSQL("T", campos, vn), "INSERT INTO T (A,B) VALUES ('y' )");
    std::vector<Variant> none{Variant(), Variant::null()};
    EXPECT_EQ(e.InsertSQL("T", {"", "A"}, none), "INSERT INTO T (A) VALUES ()");
    std::vector<Variant> empty;
    EXPECT_EQ(e.InsertSQL("T", {}, empty), "INSERT INTO T () VALUES ()");

    // Apostrophes inside a text value are doubled; dates go in as text.
    std::vector<Variant> va{Variant(), Variant("O'NEILL"),
                            Variant(QDateTime(QDate(2024, 3, 1), QTime(0, 0), Qt::UTC))};
    EXPECT_EQ(e.InsertSQL("T", campos, va), "INSERT INTO T (A,B) VALUES ('O''NEILL' , '2024-03-01' )");
}

TEST(InsertSQL, NumbersKeepThePointWhateverTheRegionalSeparator) {
    EDiv e;
    data::setRegionalDecimalSeparator(",");
    std::vector<Variant> v{Variant(), Variant(1.5), Variant(data::Currency::fromRaw(25000)), Variant(2.25f)};
    const QString sql = e.InsertSQL("T", {"", "A", "B", "C"}, v);
    std::vector<Variant> u{Variant(), Variant(-0.75)};
    const QString upd = e.UpdateSQL("T", {"", "A"}, u, "");
    data::setRegionalDecimalSeparator(".");
    EXPECT_EQ(sql, "INSERT INTO T (A,B,C) VALUES (1.5 , 2.5 , 2.25 )");
    EXPECT_EQ(upd, "UPDATE T SET A=-0.75 ");
}

TEST(UpdateSQL, BuildsAssignmentsAndCopiesTheWhereClause) {
    EDiv e;
    std::vector<QString> campos{"", "A", "B"};
    std::vector<Variant> valores{Variant(), Variant(std::int16_t{5}), Variant("x")};
    EXPECT_EQ(e.UpdateSQL("T", campos, valores, "WHERE Id=1"), "UPDATE T SET A=5,B='x' WHERE Id=1");

    std::vector<Variant> vb{Variant(), Variant(true), Variant("it's")};
    EXPECT_EQ(e.UpdateSQL("T", campos, vb, ""), "UPDATE T SET A=-1,B='it''s' ");
    EXPECT_EQ(vb[1].toInt32(), -1);

    // A value that is neither number nor text sets NULL instead of repeating another column's value.
    std::vector<Variant> vn{Variant(), Variant::null(), Variant()};
    EXPECT_EQ(e.UpdateSQL("T", campos, vn, "WHERE Id=2"), "UPDATE T SET A=NULL,B=NULL WHERE Id=2");
    // Columns beyond the values are left out.
    std::vector<Variant> shorter{Variant(), Variant(std::int32_t{7})};
    EXPECT_EQ(e.UpdateSQL("T", campos, shorter, ""), "UPDATE T SET A=7 ");
    std::vector<Variant> nothing;
    EXPECT_EQ(e.UpdateSQL("T", {}, nothing, ""), "UPDATE T SET  ");
}

class EDivSqlTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec("master", "Create Database Empresa");
        conn_ = server_.connect("Empresa");
        conn_->Execute("create table Clientes (Codigo varchar(10) null, Nome varchar(60) null, Foto image null)");
        conn_->Execute("insert into Clientes (Codigo, Nome) values ('C1', 'Ana')");
        conn_->Execute("insert into Clientes (Codigo, Nome) values ('O''NEILL', 'Irlanda')");
    }
    testsupport::TempEmbeddedServer server_;
    std::unique_ptr<data::Connection> conn_;
};

TEST_F(EDivSqlTest, BuiltStatementsRunAndKeepApostrophes) {
    EDiv e;
    std::vector<Variant> v{Variant(), Variant("D'AVILA"), Variant("Rua d'Ouro")};
    ASSERT_TRUE(e.RunSQL(*conn_, e.InsertSQL("Clientes", {"", "Codigo", "Nome"}, v)));
    EXPECT_EQ(e.GetFieldValue(*conn_, "select Nome from Clientes where Codigo='D''AVILA'", "Nome").toString(),
              "Rua d'Ouro");
    std::vector<Variant> u{Variant(), Variant("Sá d'Arga")};
    ASSERT_TRUE(e.RunSQL(*conn_, e.UpdateSQL("Clientes", {"", "Nome"}, u, "where Codigo='O''NEILL'")));
    EXPECT_EQ(e.GetFieldValue(*conn_, "select Nome from Clientes where Codigo='O''NEILL'", "Nome").toString(),
              "Sá d'Arga");
    EXPECT_FALSE(e.RunSQL(*conn_, "insert into NaoHa values (1)"));
    EXPECT_FALSE(e.RunSQL(*conn_, "insert into Clientes (Codigo) values ('12345678901')")) << "too long";
    data::Connection closed;
    EXPECT_FALSE(e.RunSQL(closed, "delete from Clientes"));
    EXPECT_EQ(server_.rows("Empresa", "select * from Clientes").size(), 3u);
}

TEST_F(EDivSqlTest, EmptinessExistenceAndOneValue) {
    EDiv e;
    data::Recordset none = conn_->Execute("select * from Clientes where Codigo='ZZ'");
    EXPECT_TRUE(e.IsVazio(none));
    data::Recordset some = conn_->Execute("select * from Clientes");
    EXPECT_FALSE(e.IsVazio(some));
    some.MoveNext();
    some.MoveNext();
    EXPECT_TRUE(some.EOF());
    EXPECT_FALSE(e.IsVazio(some)) << "past the last row, but it has rows: BOF is false";
    some.Close();
    EXPECT_FALSE(e.IsVazio(some)) << "a closed recordset cannot answer";
    EXPECT_FALSE(e.IsVazio(data::Recordset()));

    EXPECT_TRUE(e.VerSeExiste(*conn_, "select * from Clientes where Codigo='o''neill'"));
    EXPECT_FALSE(e.VerSeExiste(*conn_, "select * from Clientes where Codigo='X'"));
    EXPECT_THROW(e.VerSeExiste(*conn_, "select * from NaoHa"), data::DbError) << "its errors reach the caller";

    EXPECT_EQ(e.GetFieldValue(*conn_, "select * from Clientes where Codigo='C1'", "nome").toString(), "Ana");
    EXPECT_TRUE(e.GetFieldValue(*conn_, "select * from Clientes where Codigo='X'", "Nome").isEmpty());
    EXPECT_TRUE(e.GetFieldValue(*conn_, "select * from Clientes", "NaoHa").isNull());
    EXPECT_TRUE(e.GetFieldValue(*conn_, "select * from NaoHa", "Nome").isNull());
    EXPECT_TRUE(e.GetFieldValue(*conn_, "select Foto from Clientes where Codigo='C1'", "Foto").isNull());
}

TEST_F(EDivSqlTest, ImagesTravelInPiecesAndComeBackWhole) {
    QTemporaryDir temp;
    TempVariable tempVar(temp.path());
    EDiv e;
    FakePicture pic;

    for (int size : {5000, 4096, 904, 1}) {
        SCOPED_TRACE(size);
        const QString path = temp.path() + "/in.bin";
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(patternBytes(size));
        f.close();
        EXPECT_FALSE(e.AddImagemToTable(path, *conn_, "Clientes", "Foto", "Codigo='O''NEILL'"));
        EXPECT_EQ(server_.scalar("Empresa", "select Foto from Clientes where Codigo='O''NEILL'").toBytes(),
                  patternBytes(size));
        EXPECT_TRUE(e.GetImagemFromTable(pic, *conn_, "Clientes", "Foto", "Codigo='O''NEILL'").isEmpty());
        EXPECT_EQ(pic.picture, patternBytes(size));
        QFile out(temp.path() + "/output.bin");
        EXPECT_EQ(out.size(), size) << "a smaller image leaves nothing of a larger one in the file";
    }

    // No row: the picture stays as it was.
    pic.picture = "kept";
    e.GetImagemFromTable(pic, *conn_, "Clientes", "Foto", "Codigo='ZZ'");
    EXPECT_EQ(pic.picture, "kept");
    // A Null image gives an empty file, which is no picture: the picture stays.
    e.GetImagemFromTable(pic, *conn_, "Clientes", "Foto", "Codigo='C1'");
    EXPECT_EQ(pic.picture, "kept");
    e.GetImagemFromTable(pic, *conn_, "NaoHa", "Foto", "1=1");
    EXPECT_EQ(pic.picture, "kept");

    // An empty path with lngLimpaImagem set does nothing; without it, it empties the column.
    e.AddImagemToTable("", *conn_, "Clientes", "Foto", "Codigo='O''NEILL'", 1);
    EXPECT_EQ(server_.scalar("Empresa", "select Foto from Clientes where Codigo='O''NEILL'").toBytes().size(), 1);
    EXPECT_FALSE(e.AddImagemToTable("", *conn_, "Clientes", "Foto", "Codigo='O''NEILL'"));
    const Variant cleared = server_.scalar("Empresa", "select Foto from Clientes where Codigo='O''NEILL'");
    EXPECT_TRUE(cleared.isNull() || cleared.toBytes().isEmpty());

    // A missing file or row changes nothing and raises nothing.
    EXPECT_FALSE(e.AddImagemToTable(temp.path() + "/missing.bin", *conn_, "Clientes", "Foto", "Codigo='C1'"));
    EXPECT_TRUE(server_.scalar("Empresa", "select Foto from Clientes where Codigo='C1'").isNull());
    EXPECT_FALSE(e.AddImagemToTable(temp.path() + "/in.bin", *conn_, "Clientes", "Foto", "Codigo='ZZ'"));
}
