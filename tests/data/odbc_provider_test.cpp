// The SQL Server provider's binding, fetching, long fields, Null handling, errors,
// transactions and row writing, exercised through the SQLite3 ODBC driver on a temporary
// database file (no SQL Server runs here; the code path through the driver manager is the
// same).

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "data/adoconstants.h"
#include "data/dberror.h"
#include "data/odbc/odbc_provider.h"

using namespace data;
using namespace data::provider;

namespace {

Parameter param(int type, const Variant& value) {
    Parameter p;
    p.type = type;
    p.value = value;
    return p;
}

QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

class OdbcSqlite : public ::testing::Test {
protected:
    void SetUp() override {
        if (!odbcDriverRegistered(QStringLiteral("SQLite3"))) {
            GTEST_SKIP() << "the SQLite3 ODBC driver (libsqliteodbc) is not registered in odbcinst.ini";
        }
        ASSERT_TRUE(dir_.isValid());
        session_ = open();
    }

    std::unique_ptr<Session> open(const QString& password = {}) {
        OdbcOptions options;
        options.connectionString =
            QStringLiteral("DRIVER={SQLite3};Database=") + quoteOdbcValue(dir_.filePath(QStringLiteral("test.db")));
        options.identityQuery = QStringLiteral("SELECT last_insert_rowid()");
        options.identityInSameBatch = false;
        OpenArguments args;
        args.password = password;
        args.connectionTimeout = 5;
        args.commandTimeout = 30;
        return openOdbcSession(args, options);
    }

    std::vector<Result> exec(const QString& sql, std::vector<Parameter> params = {}, bool updatable = false,
                             long commandType = ado::adCmdText) {
        Request r;
        r.text = sql;
        r.parameters = std::move(params);
        r.updatable = updatable;
        r.commandType = commandType;
        return session_->execute(r);
    }

    Result query(const QString& sql, std::vector<Parameter> params = {}) {
        auto results = exec(sql, std::move(params));
        EXPECT_EQ(results.size(), 1u);
        return results.empty() ? Result{} : results.front();
    }

    long count(const QString& table) {
        return static_cast<long>(query(QStringLiteral("SELECT COUNT(*) FROM ") + table).rows.at(0).at(0).toInt64());
    }

    QTemporaryDir dir_;
    std::unique_ptr<Session> session_;
};

const char* const kTypesTable =
    "CREATE TABLE tipos (id integer primary key autoincrement, i int, sm smallint, bi bigint, f float, "
    "m money, dt datetime, v varchar(60), tx text, bl longvarbinary, b bit, ti tinyint)";
const char* const kInsertTypes =
    "INSERT INTO tipos (i, sm, bi, f, m, dt, v, tx, bl, b, ti) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

}  // namespace

TEST_F(OdbcSqlite, BindsAndFetchesEveryType) {
    exec(QString::fromLatin1(kTypesTable));
    const QByteArray bytes("\x00\x01\xfe\xff", 4);
    exec(QString::fromLatin1(kInsertTypes),
         {param(ado::adInteger, std::int32_t(-2147483647 - 1)), param(ado::adSmallInt, std::int16_t(-32768)),
          param(ado::adBigInt, std::int64_t(9007199254740993LL)), param(ado::adDouble, 1.25),
          param(ado::adCurrency, *Currency::parse(QStringLiteral("-12345.6789"))),
          param(ado::adDBTimeStamp, at(2024, 2, 29, 23, 59, 58, 123)),
          param(ado::adVarChar, QStringLiteral("O'Neill ação € 𝄞")), param(ado::adLongVarChar, QStringLiteral("texto")),
          param(ado::adLongVarBinary, bytes), param(ado::adBoolean, true), param(ado::adUnsignedTinyInt, std::int16_t(255))});

    const Result r = query(QStringLiteral("SELECT * FROM tipos"));
    ASSERT_TRUE(r.hasRows);
    ASSERT_EQ(r.rows.size(), 1u);
    ASSERT_EQ(r.columns.size(), 12u);
    EXPECT_EQ(r.columns[0].name, QStringLiteral("id"));
    EXPECT_TRUE(r.columns[0].identity);
    EXPECT_FALSE(r.columns[0].writable);
    EXPECT_TRUE(r.columns[1].writable);
    const int expectedTypes[] = {ado::adInteger, ado::adInteger,  ado::adSmallInt,     ado::adBigInt,
                                 ado::adDouble,  ado::adCurrency, ado::adDBTimeStamp,  ado::adVarChar,
                                 ado::adLongVarChar, ado::adLongVarBinary, ado::adBoolean, ado::adUnsignedTinyInt};
    for (qsizetype c = 0; c < r.columns.size(); ++c) EXPECT_EQ(r.columns[c].type, expectedTypes[static_cast<size_t>(c)]) << c;
    EXPECT_EQ(r.columns[7].definedSize, 60);
    EXPECT_EQ(r.columns[8].definedSize, 2147483647);

    const Row& row = r.rows[0];
    EXPECT_EQ(row[0].type(), Variant::Type::Long);
    EXPECT_EQ(row[1].type(), Variant::Type::Long);
    EXPECT_EQ(row[1].toInt32(), -2147483647 - 1);
    EXPECT_EQ(row[2].type(), Variant::Type::Integer);
    EXPECT_EQ(row[2].toInt16(), -32768);
    EXPECT_EQ(row[3].type(), Variant::Type::LongLong);
    EXPECT_EQ(row[3].toInt64(), 9007199254740993LL);
    EXPECT_EQ(row[4].type(), Variant::Type::Double);
    EXPECT_EQ(row[4].toDouble(), 1.25);
    EXPECT_EQ(row[5].type(), Variant::Type::Currency);
    EXPECT_EQ(row[5].toCurrency().raw(), -123456789);
    EXPECT_EQ(row[6].type(), Variant::Type::Date);
    EXPECT_EQ(row[6].toDateTime(), at(2024, 2, 29, 23, 59, 58, 123));
    EXPECT_EQ(row[7].type(), Variant::Type::String);
    EXPECT_EQ(row[7].toString(), QStringLiteral("O'Neill ação € 𝄞"));
    EXPECT_EQ(row[8].toString(), QStringLiteral("texto"));
    EXPECT_EQ(row[9].type(), Variant::Type::Bytes);
    EXPECT_EQ(row[9].toBytes(), bytes);
    EXPECT_EQ(row[10].type(), Variant::Type::Boolean);
    EXPECT_TRUE(row[10].toBool());
    EXPECT_EQ(row[11].toInt32(), 255);

    // Parameters without a declared type take it from their value.
    const Result typed = query(QStringLiteral("SELECT v FROM tipos WHERE i = ? AND v = ?"),
                               {param(ado::adEmpty, std::int32_t(-2147483647 - 1)),
                                param(ado::adVariant, QStringLiteral("O'Neill ação € 𝄞"))});
    EXPECT_EQ(typed.rows.size(), 1u);
}

TEST_F(OdbcSqlite, NullsComeBackAsNullInEveryType) {
    exec(QString::fromLatin1(kTypesTable));
    const int types[] = {ado::adInteger,  ado::adSmallInt,   ado::adBigInt,   ado::adDouble,
                         ado::adCurrency, ado::adDBTimeStamp, ado::adVarChar, ado::adLongVarChar,
                         ado::adLongVarBinary, ado::adBoolean, ado::adUnsignedTinyInt};
    std::vector<Parameter> nulls;
    for (int t : types) nulls.push_back(param(t, Variant::null()));
    exec(QString::fromLatin1(kInsertTypes), nulls);
    // An Empty value is sent as Null too.
    std::vector<Parameter> empties;
    for (int t : types) empties.push_back(param(t, Variant()));
    exec(QString::fromLatin1(kInsertTypes), empties);

    const Result r = query(QStringLiteral("SELECT * FROM tipos"));
    ASSERT_EQ(r.rows.size(), 2u);
    for (const Row& row : r.rows) {
        EXPECT_FALSE(row[0].isNull());
        for (size_t c = 1; c < row.size(); ++c) EXPECT_TRUE(row[c].isNull()) << "column " << c;
    }
    // An empty text is no Null.
    exec(QStringLiteral("UPDATE tipos SET v = ?"), {param(ado::adVarChar, QString())});
    const Result e = query(QStringLiteral("SELECT v FROM tipos"));
    EXPECT_FALSE(e.rows[0][0].isNull());
    EXPECT_EQ(e.rows[0][0].toString(), QString());
}

TEST_F(OdbcSqlite, LongFieldsOfAMegabyteRoundTripInChunks) {
    exec(QStringLiteral("CREATE TABLE longos (id integer primary key, tx text, bl longvarbinary)"));
    // Text that begins with a byte-order mark and whose surrogate pairs straddle the
    // boundaries of the 64 KiB pieces the provider reads (32,768 UTF-16 units each).
    QString text;
    text.reserve(1 << 20);
    text.append(QChar(0xFEFF));
    text.append(u'y');
    const QString pattern = QStringLiteral("ação€𝄞x");
    while (text.size() < (1 << 20)) text.append(pattern);
    QByteArray blob;
    blob.reserve(1 << 20);
    for (int i = 0; i < (1 << 20); ++i) blob.append(static_cast<char>((i * 7 + i / 256) & 0xff));

    exec(QStringLiteral("INSERT INTO longos (id, tx, bl) VALUES (1, ?, ?)"),
         {param(ado::adLongVarWChar, text), param(ado::adLongVarBinary, blob)});
    const Result r = query(QStringLiteral("SELECT tx, bl FROM longos"));
    ASSERT_EQ(r.rows.size(), 1u);
    const QString back = r.rows[0][0].toString();
    ASSERT_TRUE(text[32767].isHighSurrogate());
    EXPECT_EQ(back.size(), text.size());
    EXPECT_TRUE(back == text);
    const QByteArray bytesBack = r.rows[0][1].toBytes();
    EXPECT_EQ(bytesBack.size(), blob.size());
    EXPECT_TRUE(bytesBack == blob);

    // Texts of 32,767 characters and more through an ordinary text parameter.
    const QString wide(40000, u'Z');
    exec(QStringLiteral("UPDATE longos SET tx = ?"), {param(ado::adVarChar, wide)});
    EXPECT_EQ(query(QStringLiteral("SELECT tx FROM longos")).rows[0][0].toString(), wide);
}

TEST_F(OdbcSqlite, ReportsRecordsAffectedAndResultsInOrder) {
    exec(QStringLiteral("CREATE TABLE t (id integer primary key, v varchar(10))"));
    auto ins = exec(QStringLiteral("INSERT INTO t (v) VALUES ('a')"));
    ASSERT_EQ(ins.size(), 1u);
    EXPECT_FALSE(ins[0].hasRows);
    EXPECT_EQ(ins[0].recordsAffected, 1);
    exec(QStringLiteral("INSERT INTO t (v) VALUES ('b')"));
    exec(QStringLiteral("INSERT INTO t (v) VALUES ('b')"));
    EXPECT_EQ(exec(QStringLiteral("UPDATE t SET v = 'c' WHERE v = ?"), {param(ado::adVarChar, QStringLiteral("b"))})[0]
                  .recordsAffected,
              2);
    EXPECT_EQ(exec(QStringLiteral("DELETE FROM t WHERE v = 'none'"))[0].recordsAffected, 0);

    // A select without rows is still a row set.
    const Result empty = query(QStringLiteral("SELECT * FROM t WHERE 1 = 0"));
    EXPECT_TRUE(empty.hasRows);
    EXPECT_TRUE(empty.rows.empty());
    EXPECT_EQ(empty.columns.size(), 2u);
    EXPECT_EQ(empty.recordsAffected, -1);

    // This driver runs one statement per call and says so as an error rather than dropping
    // the second statement silently.
    try {
        exec(QStringLiteral("SELECT 1; SELECT 2"));
        SUCCEED();
    } catch (const DbError& e) {
        EXPECT_FALSE(e.description().isEmpty());
    }
}

TEST_F(OdbcSqlite, ErrorsCarryNumberTextAndState) {
    exec(QStringLiteral("CREATE TABLE t (id integer primary key, v varchar(10))"));
    try {
        exec(QStringLiteral("SELECT * FROM missing_table"));
        FAIL() << "no error";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), 1);  // SQLite's own number for this failure
        EXPECT_TRUE(e.description().contains(QStringLiteral("no such table: missing_table")))
            << e.description().toStdString();
        EXPECT_FALSE(e.description().startsWith(u'['));
        EXPECT_EQ(e.sqlState(), QStringLiteral("HY000"));
        ASSERT_FALSE(e.errors().empty());
        EXPECT_EQ(e.errors().front().NativeError(), 1);
    }
    exec(QStringLiteral("INSERT INTO t (id, v) VALUES (1, 'a')"));
    try {
        exec(QStringLiteral("INSERT INTO t (id, v) VALUES (1, 'b')"));
        FAIL() << "a duplicate key was accepted";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), 19);
        EXPECT_TRUE(e.description().contains(QStringLiteral("UNIQUE"))) << e.description().toStdString();
    }
    // More parameters than markers, and a value that is no number for a number parameter.
    EXPECT_THROW(exec(QStringLiteral("SELECT ?"), {}), DbError);
    try {
        exec(QStringLiteral("SELECT * FROM t WHERE id = ?"), {param(ado::adInteger, QStringLiteral("abc"))});
        FAIL() << "a text was sent as a number";
    } catch (const platform::RuntimeError& e) {
        EXPECT_EQ(e.number(), platform::errnum::TypeMismatch);
    }
    // An empty statement and a table name that is no table.
    EXPECT_THROW(exec(QString()), DbError);
    EXPECT_THROW(exec(QString(40000, u'x'), {}, false, ado::adCmdTable), DbError);
    // The session is still usable after its failures.
    EXPECT_EQ(count(QStringLiteral("t")), 1);
}

TEST_F(OdbcSqlite, TransactionsCommitAndRollBack) {
    exec(QStringLiteral("CREATE TABLE t (id integer primary key, v varchar(10))"));
    session_->beginTrans();
    exec(QStringLiteral("INSERT INTO t (v) VALUES ('gone')"));
    EXPECT_EQ(count(QStringLiteral("t")), 1);
    session_->rollbackTrans();
    EXPECT_EQ(count(QStringLiteral("t")), 0);

    session_->beginTrans();
    exec(QStringLiteral("INSERT INTO t (v) VALUES ('kept')"));
    session_->commitTrans();
    // Back in autocommit: a second connection sees the row at once.
    auto other = open();
    Request r;
    r.text = QStringLiteral("SELECT v FROM t");
    const auto seen = other->execute(r);
    ASSERT_EQ(seen.at(0).rows.size(), 1u);
    EXPECT_EQ(seen[0].rows[0][0].toString(), QStringLiteral("kept"));

    // A transaction open at close is given up.
    session_->beginTrans();
    exec(QStringLiteral("INSERT INTO t (v) VALUES ('dropped')"));
    session_->close();
    const auto after = other->execute(r);
    EXPECT_EQ(after.at(0).rows.size(), 1u);
}

TEST_F(OdbcSqlite, WritesRowsOfASingleTableSelectBack) {
    exec(QStringLiteral("CREATE TABLE clientes (id integer primary key autoincrement, nome varchar(40), saldo money)"));
    exec(QStringLiteral("INSERT INTO clientes (nome, saldo) VALUES ('ANA', 10), ('BRUNO', 20), ('CARLA', 30)"));

    auto results = exec(QStringLiteral("SELECT * FROM clientes WHERE saldo >= 20 ORDER BY id"), {}, true);
    ASSERT_EQ(results.size(), 1u);
    Result& r = results[0];
    ASSERT_TRUE(r.writer);
    ASSERT_EQ(r.keys.size(), r.rows.size());
    ASSERT_EQ(r.rows.size(), 2u);

    // Update by key, with an apostrophe in the value.
    r.writer->update(r.keys[0], {{1, Variant(QStringLiteral("O'NEILL"))}, {2, Variant(*Currency::parse(QStringLiteral("20.5001")))}});
    Result check = query(QStringLiteral("SELECT nome, saldo FROM clientes WHERE id = 2"));
    EXPECT_EQ(check.rows[0][0].toString(), QStringLiteral("O'NEILL"));
    EXPECT_EQ(check.rows[0][1].toCurrency().raw(), 205001);

    // Insert: the identity comes back in the stored row, and the new row can be written again.
    auto [key, stored] = r.writer->insert({{1, Variant(QStringLiteral("DIANA"))}});
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].toInt64(), 4);
    EXPECT_EQ(stored[1].toString(), QStringLiteral("DIANA"));
    EXPECT_TRUE(stored[2].isNull());
    r.writer->update(key, {{2, Variant(*Currency::parse(QStringLiteral("1.5")))}});
    EXPECT_EQ(query(QStringLiteral("SELECT saldo FROM clientes WHERE id = 4")).rows[0][0].toCurrency().raw(), 15000);

    // Delete, and a second delete of the same row finds nothing.
    r.writer->remove(r.keys[1]);
    EXPECT_EQ(count(QStringLiteral("clientes WHERE id = 3")), 0);
    try {
        r.writer->remove(r.keys[1]);
        FAIL() << "a deleted row was deleted again";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), -2147217864);
    }
    EXPECT_EQ(count(QStringLiteral("clientes")), 3);

    // A key that the writer never gave.
    EXPECT_THROW(r.writer->update(Variant(std::int64_t(99)), {{1, Variant(QStringLiteral("x"))}}), DbError);
}

TEST_F(OdbcSqlite, WritersForTablesByNameAndOnlyForSingleTables) {
    exec(QStringLiteral("CREATE TABLE a (id integer primary key, v varchar(10))"));
    exec(QStringLiteral("CREATE TABLE b (id integer primary key, w varchar(10))"));
    exec(QStringLiteral("CREATE TABLE semchave (x varchar(10))"));
    exec(QStringLiteral("INSERT INTO a (id, v) VALUES (1, 'um')"));
    exec(QStringLiteral("INSERT INTO b (id, w) VALUES (1, 'one')"));

    auto byName = exec(QStringLiteral("a"), {}, true, ado::adCmdTable);
    ASSERT_EQ(byName.size(), 1u);
    ASSERT_TRUE(byName[0].writer);
    byName[0].writer->update(byName[0].keys[0], {{1, Variant(QStringLiteral("uno"))}});
    EXPECT_EQ(query(QStringLiteral("SELECT v FROM a")).rows[0][0].toString(), QStringLiteral("uno"));

    EXPECT_FALSE(exec(QStringLiteral("SELECT * FROM a JOIN b ON a.id = b.id"), {}, true)[0].writer);
    EXPECT_FALSE(exec(QStringLiteral("SELECT * FROM a"), {}, false)[0].writer);
    EXPECT_FALSE(exec(QStringLiteral("SELECT COUNT(*) FROM a GROUP BY v"), {}, true)[0].writer);

    // A table without a key takes new rows; its rows are found again by their values with
    // SQL Server's TOP (1), which SQLite does not know.
    auto keyless = exec(QStringLiteral("SELECT * FROM semchave"), {}, true);
    ASSERT_TRUE(keyless[0].writer);
    auto [key, stored] = keyless[0].writer->insert({{0, Variant(QStringLiteral("novo"))}});
    EXPECT_EQ(stored.at(0).toString(), QStringLiteral("novo"));
    EXPECT_EQ(count(QStringLiteral("semchave")), 1);
    EXPECT_THROW(keyless[0].writer->update(key, {{0, Variant(QStringLiteral("x"))}}), DbError);
}

TEST_F(OdbcSqlite, ClosedSessionsRefuseWork) {
    exec(QStringLiteral("CREATE TABLE a (id integer primary key, v varchar(10))"));
    exec(QStringLiteral("INSERT INTO a (id, v) VALUES (1, 'um')"));
    auto results = exec(QStringLiteral("SELECT * FROM a"), {}, true);
    ASSERT_TRUE(results[0].writer);
    session_->setCommandTimeout(0);
    EXPECT_EQ(count(QStringLiteral("a")), 1);
    session_->close();
    session_->close();  // closing twice is harmless
    try {
        exec(QStringLiteral("SELECT 1"));
        FAIL() << "a closed session ran a statement";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), adoerr::ConnectionUnusable);
    }
    try {
        results[0].writer->update(results[0].keys[0], {{1, Variant(QStringLiteral("x"))}});
        FAIL() << "a writer of a closed session wrote";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), adoerr::ConnectionUnusable);
    }
    EXPECT_THROW(session_->beginTrans(), DbError);
}

TEST_F(OdbcSqlite, ATableByNameGivesItsColumnsAloneAndLeavesLongValuesForLater) {
    exec(QStringLiteral("CREATE TABLE hist (id integer primary key autoincrement, nome varchar(20), bl longvarbinary, "
                        "tx text)"));
    const QByteArray blob(100000, '\x5A');
    for (const char* nome : {"um", "dois"}) {
        exec(QStringLiteral("INSERT INTO hist (nome, bl, tx) VALUES (?, ?, ?)"),
             {param(ado::adVarChar, QString::fromLatin1(nome)), param(ado::adLongVarBinary, blob),
              param(ado::adLongVarChar, QStringLiteral("texto ") + QString::fromLatin1(nome))});
    }
    auto table = [&](bool columnsOnly) {
        Request r;
        r.text = QStringLiteral("hist");
        r.commandType = ado::adCmdTable;
        r.updatable = true;
        r.columnsOnly = columnsOnly;
        auto results = session_->execute(r);
        EXPECT_EQ(results.size(), 1u);
        return results.front();
    };

    // The columns and a writer, and no row: a new row goes in as usual.
    Result added = table(true);
    ASSERT_EQ(added.columns.size(), 4u);
    EXPECT_TRUE(added.rows.empty());
    ASSERT_TRUE(added.writer);
    auto [newKey, stored] = added.writer->insert({{1, Variant(QStringLiteral("tres"))}, {2, Variant(blob)}});
    EXPECT_EQ(stored.at(1).toString(), QStringLiteral("tres"));
    EXPECT_TRUE(stored.at(2).isEmpty()) << "what was just written is not fetched back";
    EXPECT_EQ(added.writer->longValue(newKey, 2).toBytes(), blob);

    // Every row, with its long values left for the writer to read by key.
    Result all = table(false);
    ASSERT_EQ(all.rows.size(), 3u);
    EXPECT_EQ(all.rows[0][1].toString(), QStringLiteral("um"));
    EXPECT_TRUE(all.rows[0][2].isEmpty());
    EXPECT_TRUE(all.rows[0][3].isEmpty());
    EXPECT_EQ(all.writer->longValue(all.keys[1], 2).toBytes(), blob);
    EXPECT_EQ(all.writer->longValue(all.keys[1], 3).toString(), QStringLiteral("texto dois"));
    // The same row known to two writers of the table.
    EXPECT_TRUE(added.writer->sameRow(newKey, *all.writer, all.keys[2]));
    EXPECT_FALSE(added.writer->sameRow(newKey, *all.writer, all.keys[0]));

    // A query's long values may be expressions: they are read with the rows.
    auto query = exec(QStringLiteral("SELECT id, bl FROM hist WHERE nome = 'um'"), {}, true);
    ASSERT_EQ(query.front().rows.size(), 1u);
    EXPECT_EQ(query.front().rows[0][1].toBytes(), blob);
}

TEST_F(OdbcSqlite, AStreamRequestIsAnsweredWithTheRowsReadAndItsWriter) {
    exec(QStringLiteral("CREATE TABLE clientes (id integer primary key autoincrement, nome varchar(40))"));
    exec(QStringLiteral("INSERT INTO clientes (nome) VALUES ('ANA'), ('BRUNO')"));
    Request r;
    r.text = QStringLiteral("SELECT * FROM clientes ORDER BY id");
    r.updatable = true;
    r.stream = true;
    auto results = session_->execute(r);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].source);
    ASSERT_EQ(results[0].rows.size(), 2u);
    EXPECT_EQ(results[0].rows[1][1].toString(), QStringLiteral("BRUNO"));
    ASSERT_TRUE(results[0].writer);
    results[0].writer->update(results[0].keys[0], {{1, Variant(QStringLiteral("ANABELA"))}});
    EXPECT_EQ(query(QStringLiteral("SELECT nome FROM clientes WHERE id = 1")).rows[0][0].toString(), QStringLiteral("ANABELA"));
}
