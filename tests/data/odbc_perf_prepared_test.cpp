// The SQL Server provider runs statement shapes on statements prepared once, with the text
// literals that stand for values bound to markers; names written as texts stay in the text.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "data/adoconstants.h"
#include "data/odbc/odbc_internal.h"
#include "data/odbc/odbc_provider.h"

using namespace data;
using namespace data::provider;

TEST(OdbcPerfPrepared, OnlyValuesAreLifted) {
    QString shape;
    std::vector<Parameter> lits;
    ASSERT_TRUE(odbc::liftLiterals("Select * from Produtos Where Codigo='P''1' and Nome like N'a%'", shape, lits));
    EXPECT_EQ(shape, "Select * from Produtos Where Codigo=? and Nome like ?");
    ASSERT_EQ(lits.size(), 2u);
    EXPECT_EQ(lits[0].value.toString(), "P'1");
    EXPECT_EQ(lits[0].type, ado::adVarChar);
    EXPECT_EQ(lits[1].type, ado::adVarWChar);
    ASSERT_TRUE(odbc::liftLiterals("insert into T (a, b) values ('x', 'y')", shape, lits));
    EXPECT_EQ(shape, "insert into T (a, b) values (?, ?)");
    ASSERT_TRUE(odbc::liftLiterals("select a from T where a in ('1', '2') and b = 'z'", shape, lits));
    EXPECT_EQ(shape, "select a from T where a in (?, ?) and b = ?");
    // Names written as texts, calls and texts with markers of their own are left as they are.
    EXPECT_FALSE(odbc::liftLiterals("select a as 'Alias' from T", shape, lits));
    EXPECT_FALSE(odbc::liftLiterals("select 'Alias' = a from T", shape, lits));
    EXPECT_FALSE(odbc::liftLiterals("exec sp_tables 'T'", shape, lits));
    EXPECT_FALSE(odbc::liftLiterals("select a from T where b = ? and c = 'x'", shape, lits));
    EXPECT_FALSE(odbc::liftLiterals("select a from T where b = 'open", shape, lits));
    EXPECT_FALSE(odbc::liftLiterals("", shape, lits));
}

TEST(OdbcPerfPrepared, RepeatedShapesRunThroughTheDriver) {
    if (!odbcDriverRegistered(QStringLiteral("SQLite3"))) {
        GTEST_SKIP() << "the SQLite3 ODBC driver (libsqliteodbc) is not registered in odbcinst.ini";
    }
    QTemporaryDir dir;
    OdbcOptions options;
    options.connectionString =
        QStringLiteral("DRIVER={SQLite3};Database=") + quoteOdbcValue(dir.filePath(QStringLiteral("t.db")));
    options.identityQuery = QStringLiteral("SELECT last_insert_rowid()");
    options.identityInSameBatch = false;
    OpenArguments args;
    args.connectionTimeout = 5;
    auto session = openOdbcSession(args, options);
    auto run = [&](const QString& sql) {
        Request r;
        r.text = sql;
        return session->execute(r);
    };
    run("create table T (k varchar(10), v varchar(20))");
    for (int i = 0; i < 100; ++i) run(QStringLiteral("insert into T (k, v) values ('k%1', 'v''%1')").arg(i));
    for (int i : {0, 42, 99}) {
        const auto r = run(QStringLiteral("select v from T where k = 'k%1'").arg(i));
        ASSERT_EQ(r.size(), 1u);
        ASSERT_EQ(r[0].rows.size(), 1u);
        EXPECT_EQ(r[0].rows[0][0].toString(), QStringLiteral("v'%1").arg(i));
    }
    EXPECT_TRUE(run("select v from T where k = 'none'")[0].rows.empty());
    run("update T set v = 'changed' where k = 'k5'");
    EXPECT_EQ(run("select v from T where k = 'k5'")[0].rows[0][0].toString(), "changed");
    // A failing statement leaves its prepared statement usable.
    EXPECT_THROW(run("select v from Missing where k = 'k1'"), DbError);
    EXPECT_EQ(run("select count(*) from T where k >= 'k9'")[0].rows[0][0].toInt64(), 11);
    session->close();
}
