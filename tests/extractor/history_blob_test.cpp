// The chunked copies between files and long fields of clsVelmora, against an image and a text
// column of the embedded engine.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <vector>

#include "data/adoconstants.h"
#include "data/connection.h"
#include "data/recordset.h"
#include "extractor/clsVelmora.h"
#include "platform/runtime_error.h"
#include "platform/win1252.h"
#include "support/embedded_server.h"

namespace {

using namespace data::ado;

QByteArray pattern(qsizetype n) {
    QByteArray b(n, '\0');
    for (qsizetype i = 0; i < n; ++i) b[i] = static_cast<char>((i * 31 + i / 251) % 256);
    return b;
}

class BlobTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec("master", "Create Database Velmora");
        conn_ = server_.connect("Velmora");
        conn_->Execute("Create Table Blobs (NumRegisto int identity(1,1) not null, Nome varchar(20) null, "
                       "Ficheiro image null, Texto text null)");
    }

    QString path(const QString& name) const { return dir_.path() + u'/' + name; }

    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray readFile(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // Stores the file in a new row's column through FileToBlob.
    void store(const QString& name, const char* column, std::int32_t threshold) {
        data::Recordset rs;
        rs.Open("Blobs", *conn_, adOpenDynamic, adLockOptimistic);
        rs.AddNew();
        rs.Fields("Nome").setValue(name);
        velmora_.FileToBlob(path(name), rs.Fields(QString::fromLatin1(column)), threshold);
        rs.Update();
        rs.Close();
    }

    data::Variant stored(const QString& name, const char* column) const {
        return server_.scalar("Velmora", QStringLiteral("select ") + QString::fromLatin1(column) +
                                             QStringLiteral(" from Blobs where Nome='") + name + u'\'');
    }

    // Writes the row's column back to a file through BlobToFile.
    void restore(const QString& name, const char* column, const QString& target, std::int32_t fieldSize,
                 std::int32_t threshold) {
        data::Recordset rs;
        rs.Open(QStringLiteral("select * from Blobs where Nome='") + name + u'\'', *conn_, adOpenDynamic,
                adLockOptimistic);
        velmora_.BlobToFile(rs.Fields(QString::fromLatin1(column)), path(target), fieldSize, threshold);
        rs.Close();
    }

    // The lengths of the pieces that AppendChunk is handed while the action runs.
    static std::vector<qsizetype> piecesOf(const std::function<void()>& action) {
        std::vector<qsizetype> pieces;
        data::setAppendChunkObserver([&](qsizetype n) { pieces.push_back(n); });
        action();
        data::setAppendChunkObserver({});
        return pieces;
    }

    testsupport::TempEmbeddedServer server_;
    std::unique_ptr<data::Connection> conn_;
    QTemporaryDir dir_;
    clsVelmora velmora_;
};

TEST_F(BlobTest, BinaryFilesGoWholeUpToTheThresholdAndInPiecesAbove) {
    // The writer's threshold: exactly 1 MiB in one piece, one byte more through the pieces.
    const QByteArray mib = pattern(1048576);
    const QByteArray mibPlus = pattern(1048577);
    writeFile("whole.zip", mib);
    writeFile("pieces.zip", mibPlus);
    EXPECT_TRUE(piecesOf([&] { store("whole.zip", "Ficheiro", 1048576); }).empty()) << "one value, no pieces";
    std::vector<qsizetype> expected(64, 16384);
    expected.push_back(1);
    EXPECT_EQ(piecesOf([&] { store("pieces.zip", "Ficheiro", 1048576); }), expected);
    EXPECT_EQ(stored("whole.zip", "Ficheiro").toBytes(), mib);
    EXPECT_EQ(stored("pieces.zip", "Ficheiro").toBytes(), mibPlus);

    // Small thresholds reach the piece boundaries with small files: a last short piece, an
    // exact multiple of 16384, and an empty file.
    for (const qsizetype n : {qsizetype{16385}, qsizetype{32768}, qsizetype{40000}}) {
        const QString name = QStringLiteral("b%1").arg(n);
        writeFile(name, pattern(n));
        store(name, "Ficheiro", 100);
        EXPECT_EQ(stored(name, "Ficheiro").toBytes(), pattern(n)) << n;
    }
    writeFile("empty", QByteArray());
    store("empty", "Ficheiro", 1048576);
    EXPECT_EQ(stored("empty", "Ficheiro").toBytes().size(), 0);

    // And back to disk: unsized, sized within the threshold, sized above it.
    restore("pieces.zip", "Ficheiro", "back-unsized", -1, 1048576);
    restore("pieces.zip", "Ficheiro", "back-sized", 1048577, 1048576);
    restore("pieces.zip", "Ficheiro", "back-whole", 1048577, 2000000);
    EXPECT_EQ(readFile("back-unsized"), mibPlus);
    EXPECT_EQ(readFile("back-sized"), mibPlus);
    EXPECT_EQ(readFile("back-whole"), mibPlus);
}

TEST_F(BlobTest, TextFieldsTakeTheFileAsCodePageCharacters) {
    // Bytes of the code page become their characters in the text column and the same bytes on
    // the way back, whole or in pieces.
    const QString line = QStringLiteral("Ação € “Norta” çé\r\n");
    const QByteArray ansi = platform::toAnsi(line).repeated(3000);
    writeFile("whole.txt", ansi);
    writeFile("pieces.txt", ansi);
    store("whole.txt", "Texto", 1048576);
    // Pieces count characters, one byte each in the code page, also where a character is not
    // one byte in UTF-8.
    const std::vector<qsizetype> pieces = piecesOf([&] { store("pieces.txt", "Texto", 100); });
    ASSERT_EQ(pieces.size(), static_cast<size_t>((ansi.size() + 16383) / 16384));
    EXPECT_EQ(pieces.front(), 16384);
    EXPECT_EQ(pieces.back(), ansi.size() % 16384);
    EXPECT_EQ(stored("whole.txt", "Texto").toString(), line.repeated(3000));
    EXPECT_EQ(stored("pieces.txt", "Texto").toString(), line.repeated(3000));

    restore("pieces.txt", "Texto", "t-unsized", -1, 1048576);
    restore("pieces.txt", "Texto", "t-sized", static_cast<std::int32_t>(ansi.size()), 100);
    restore("pieces.txt", "Texto", "t-whole", static_cast<std::int32_t>(ansi.size()), 1048576);
    EXPECT_EQ(readFile("t-unsized"), ansi);
    EXPECT_EQ(readFile("t-sized"), ansi);
    EXPECT_EQ(readFile("t-whole"), ansi);
}

TEST_F(BlobTest, EdgesOfTheCopies) {
    // A field of exactly two pieces: the third read finds nothing and writes nothing.
    const QByteArray two = pattern(32768);
    writeFile("two", two);
    store("two", "Ficheiro", 1048576);
    {
        data::Recordset rs;
        rs.Open("select Ficheiro from Blobs where Nome='two'", *conn_, adOpenDynamic, adLockOptimistic);
        QFile out(path("two-back"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        velmora_.WriteFromUnsizedBinary(out, rs.Fields("Ficheiro"));
        out.close();
        rs.Close();
    }
    EXPECT_EQ(readFile("two-back"), two);

    // A size larger than the field stops where the field ends.
    restore("two", "Ficheiro", "two-oversized", 50000, 100);
    EXPECT_EQ(readFile("two-oversized"), two);

    // The target is emptied first: no tail of an older, longer file stays behind.
    writeFile("old", pattern(100000));
    restore("two", "Ficheiro", "old", -1, 1048576);
    EXPECT_EQ(readFile("old"), two);

    // A field of another kind takes nothing and gives nothing.
    writeFile("name", "abc");
    store("name", "Nome", 1048576);
    EXPECT_EQ(stored("name", "Nome").toString(), QStringLiteral("name"));
    restore("name", "Nome", "name-back", -1, 1048576);
    EXPECT_EQ(readFile("name-back"), QByteArray());

    // A missing file is an error, not an empty copy.
    data::Recordset rs;
    rs.Open("Blobs", *conn_, adOpenDynamic, adLockOptimistic);
    rs.AddNew();
    long number = 0;
    try {
        velmora_.FileToBlob(path("nowhere.zip"), rs.Fields("Ficheiro"), 1048576);
    } catch (const platform::RuntimeError& e) {
        number = e.number();
    }
    EXPECT_EQ(number, 53);
    EXPECT_FALSE(QFile::exists(path("nowhere.zip")));
    rs.CancelUpdate();
    rs.Close();
}

}  // namespace
