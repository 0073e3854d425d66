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
        const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        if (bytes.isEmpty()) throw platform::RuntimeError(481, "Invalid picture");
        picture = bytes;
    }
    QByteArray picture = "previous";
};

QByteArray patternBytes(int n) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i) b[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return b;
}

}  // namespace

TEST(StatementBuilders, WriteTheSystemsTextsWithQuotedValues) {
    EDiv e;
    const std::vector<QString> ab{"", "A", "B"};
    std::vector<Variant> v{Variant(), Variant(std::int32_t{5}), Variant("x")};
    EXPECT_EQ(e.InsertSQL(" T ", ab, v), "INSERT INTO T (A,B) VALUES (5 , 'x' )");
    EXPECT_EQ(e.UpdateSQL("T", ab, v, "WHERE Id=1"), "UPDATE T SET A=5,B='x' WHERE Id=1");

    // Booleans become -1 and 0, in the statement and in the caller's array.
    std::vector<Variant> b{Variant(), Variant(true), Variant(false)};
    EXPECT_EQ(e.InsertSQL("T", ab, b), "INSERT INTO T (A,B) VALUES (-1 , 0 )");
    EXPECT_EQ(b[1].type(), Variant::Type::Integer);
    EXPECT_EQ(b[1].toInt32(), -1);
    std::vector<Variant> b2{Variant(), Variant(true), Variant("it's")};
    EXPECT_EQ(e.UpdateSQL("T", ab, b2, ""), "UPDATE T SET A=-1,B='it''s' ");
    EXPECT_EQ(b2[1].toInt32(), -1);

    // A Null adds no value to an insert; an update sets NULL; columns beyond the values are left out.
    std::vector<Variant> n{Variant(), Variant::null(), Variant("O'NEILL")};
    EXPECT_EQ(e.InsertSQL("T", ab, n), "INSERT INTO T (A,B) VALUES ('O''NEILL' )");
    EXPECT_EQ(e.UpdateSQL("T", ab, n, ""), "UPDATE T SET A=NULL,B='O''NEILL' ");
    std::vector<Variant> shorter{Variant(), Variant(std::int16_t{7})};
    EXPECT_EQ(e.UpdateSQL("T", ab, shorter, ""), "UPDATE T SET A=7 ");
    std::vector<Variant> none;
    EXPECT_EQ(e.InsertSQL("T", {}, none), "INSERT INTO T () VALUES ()");
    EXPECT_EQ(e.UpdateSQL("T", {}, none, ""), "UPDATE T SET  ");

    // Numbers keep the point whatever the regional separator; dates go in as text.
    data::setRegionalDecimalSeparator(",");
    std::vector<Variant> num{Variant(), Variant(1.5), Variant(data::Currency::fromRaw(25000)), Variant(2.25f),
                             Variant(QDateTime(QDate(2024, 3, 1), QTime(0, 0), Qt::UTC))};
    const QString sql = e.InsertSQL("T", {"", "A", "B", "C", "D"}, num);
    data::setRegionalDecimalSeparator(".");
    EXPECT_EQ(sql, "INSERT INTO T (A,B,C,D) VALUES (1.5 , 2.5 , 2.25 , '2024-03-01' )");
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
    EDiv e_;
};

TEST_F(EDivSqlTest, StatementsRunAndValuesAreLookedUpIntact) {
    std::vector<Variant> v{Variant(), Variant("D'AVILA"), Variant("Rua d'Ouro")};
    ASSERT_TRUE(e_.RunSQL(*conn_, e_.InsertSQL("Clientes", {"", "Codigo", "Nome"}, v)));
    EXPECT_EQ(e_.GetFieldValue(*conn_, "select * from Clientes where Codigo='D''AVILA'", "nome").toString(), "Rua d'Ouro");
    EXPECT_FALSE(e_.RunSQL(*conn_, "insert into Clientes (Codigo) values ('12345678901')")) << "too long";
    EXPECT_FALSE(e_.RunSQL(*conn_, "insert into NaoHa values (1)"));
    data::Connection closed;
    EXPECT_FALSE(e_.RunSQL(closed, "delete from Clientes"));

    EXPECT_TRUE(e_.VerSeExiste(*conn_, "select * from Clientes where Codigo='o''neill'"));
    EXPECT_FALSE(e_.VerSeExiste(*conn_, "select * from Clientes where Codigo='X'"));
    EXPECT_THROW(e_.VerSeExiste(*conn_, "select * from NaoHa"), data::DbError) << "its errors reach the caller";

    EXPECT_TRUE(e_.GetFieldValue(*conn_, "select * from Clientes where Codigo='X'", "Nome").isEmpty());
    EXPECT_TRUE(e_.GetFieldValue(*conn_, "select * from Clientes", "NaoHa").isNull());
    EXPECT_TRUE(e_.GetFieldValue(*conn_, "select * from NaoHa", "Nome").isNull());

    data::Recordset none = conn_->Execute("select * from Clientes where Codigo='ZZ'");
    EXPECT_TRUE(e_.IsVazio(none));
    data::Recordset some = conn_->Execute("select * from Clientes");
    EXPECT_FALSE(e_.IsVazio(some));
    while (!some.EOF()) some.MoveNext();
    EXPECT_FALSE(e_.IsVazio(some)) << "past the last row, but it has rows: BOF is false";
    some.Close();
    EXPECT_FALSE(e_.IsVazio(some)) << "a closed recordset cannot answer";
}

TEST_F(EDivSqlTest, ImagesTravelInPiecesAndComeBackWhole) {
    QTemporaryDir temp;
    const QByteArray oldTemp = qgetenv("Temp");
    qputenv("Temp", temp.path().toLocal8Bit());
    FakePicture pic;
    const QString in = temp.path() + "/in.bin";
    for (int size : {5000, 4096, 1}) {
        SCOPED_TRACE(size);
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(patternBytes(size));
        f.close();
        EXPECT_FALSE(e_.AddImagemToTable(in, *conn_, "Clientes", "Foto", "Codigo='O''NEILL'"));
        EXPECT_EQ(server_.scalar("Empresa", "select Foto from Clientes where Codigo='O''NEILL'").toBytes(),
                  patternBytes(size));
        EXPECT_TRUE(e_.GetImagemFromTable(pic, *conn_, "Clientes", "Foto", "Codigo='O''NEILL'").isEmpty());
        EXPECT_EQ(pic.picture, patternBytes(size));
        EXPECT_EQ(QFile(temp.path() + "/output.bin").size(), size) << "nothing of a larger earlier image is left";
    }

    // No row, a Null image (an empty file is no picture) or a missing table: the picture stays.
    pic.picture = "kept";
    e_.GetImagemFromTable(pic, *conn_, "Clientes", "Foto", "Codigo='ZZ'");
    e_.GetImagemFromTable(pic, *conn_, "Clientes", "Foto", "Codigo='C1'");
    e_.GetImagemFromTable(pic, *conn_, "NaoHa", "Foto", "1=1");
    EXPECT_EQ(pic.picture, "kept");

    // An empty path with lngLimpaImagem does nothing; without it, it empties the column.
    e_.AddImagemToTable("", *conn_, "Clientes", "Foto", "Codigo='O''NEILL'", 1);
    EXPECT_EQ(server_.scalar("Empresa", "select Foto from Clientes where Codigo='O''NEILL'").toBytes().size(), 1);
    EXPECT_FALSE(e_.AddImagemToTable("", *conn_, "Clientes", "Foto", "Codigo='O''NEILL'"));
    const Variant cleared = server_.scalar("Empresa", "select Foto from Clientes where Codigo='O''NEILL'");
    EXPECT_TRUE(cleared.isNull() || cleared.toBytes().isEmpty());
    // A missing file or row changes nothing and raises nothing.
    EXPECT_FALSE(e_.AddImagemToTable(temp.path() + "/missing.bin", *conn_, "Clientes", "Foto", "Codigo='C1'"));
    EXPECT_FALSE(e_.AddImagemToTable(in, *conn_, "Clientes", "Foto", "Codigo='ZZ'"));
    EXPECT_TRUE(server_.scalar("Empresa", "select Foto from Clientes where Codigo='C1'").isNull());
    qputenv("Temp", oldTemp);
}
