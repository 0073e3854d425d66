// The loadable SQLite extension: with it plain SQLite, and the sqlite3 tool, write the tables the
// engine has indexed, in the engine's order, so the index stays valid for both.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <memory>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

// A database file opened by plain SQLite, as another program opens it.
class PlainFile {
public:
    PlainFile(const QString& file, bool withExtension) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        db_.reset(db);
        if (!withExtension) return;
        sqlite3_enable_load_extension(db, 1);
        char* err = nullptr;
        // No entry point: SQLite finds it by the file's name, as the tool's .load does.
        if (sqlite3_load_extension(db, VELMORA_SQLITE_EXT, nullptr, &err) != SQLITE_OK) loadError_ = err ? err : "?";
        sqlite3_free(err);
    }
    const std::string& loadError() const { return loadError_; }

    // The error of a script; empty when it runs.
    std::string exec(const char* sql) {
        char* err = nullptr;
        sqlite3_exec(db_.get(), sql, nullptr, nullptr, &err);
        const std::string e = err ? err : "";
        sqlite3_free(err);
        return e;
    }

    // Every row's value in one column, joined by '|'.
    QString column(const char* sql, int col = 0) {
        sqlite3_stmt* st = nullptr;
        QStringList out;
        if (sqlite3_prepare_v2(db_.get(), sql, -1, &st, nullptr) != SQLITE_OK) return QString::fromUtf8(sqlite3_errmsg(db_.get()));
        while (sqlite3_step(st) == SQLITE_ROW) out.push_back(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, col))));
        sqlite3_finalize(st);
        return out.join(u'|');
    }

private:
    struct Close {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    std::unique_ptr<sqlite3, Close> db_;
    std::string loadError_;
};

}  // namespace

TEST(EmbeddedSqliteExtension, PlainSqliteWritesIndexedTablesInTheEnginesOrder) {
    Server s;
    const QString file = s.file(QStringLiteral("Velmora"));
    {
        auto c = s.connect();
        c->Execute(QStringLiteral("create table t (id int not null, c varchar(30) null, d datetime null default (getdate()))"));
        c->Execute(QStringLiteral("insert into t (id, c) values (1, 'abc')"));
        c->Execute(QStringLiteral("insert into t (id, c) values (2, 'Ação')"));
        c->Execute(QStringLiteral("insert into t (id, c) values (3, '2024-01-31')"));
        c->Execute(QStringLiteral("create index ix on t (c)"));
    }
    ASSERT_TRUE(rawText(file, QStringLiteral("select sql from sqlite_master where name = 'ix'")).contains(u"COLLATE TSQL_TEXT"));

    {
        PlainFile plain(file, false);
        // Writes fail on the index's collation, and on the default a column keeps as written.
        EXPECT_EQ(plain.exec("insert into t (id, c, d) values (9, 'x', null)"), "no such collation sequence: TSQL_TEXT");
        EXPECT_EQ(plain.exec("insert into t (id, c) values (9, 'x')"), "unknown function: getdate()");
    }
    {
        PlainFile plain(file, true);
        ASSERT_EQ(plain.loadError(), "");
        EXPECT_EQ(plain.exec("insert into t (id, c) values (4, 'ABC ');"
                             "insert into t (id, c) values (5, 'AÇÃO');"
                             "insert into t (id, c) values (6, '2024-01-31 00:00:00.000');"
                             "insert into t (id, c) values (7, 'b');"
                             "insert into t (id, c) values (8, 'zz');"
                             "update t set c = 'Abd' where id = 7;"
                             "delete from t where id = 8;"),
                  "");
        EXPECT_EQ(plain.column("select id from t where c = 'abc' collate TSQL_TEXT order by id"), QStringLiteral("1|4"));
        EXPECT_TRUE(plain.column("explain query plan select id from t where c = 'abc' collate TSQL_TEXT", 3).contains(u"INDEX ix"));
        // The engine's functions that defaults, checks and views keep.
        EXPECT_EQ(plain.column("select len('ab  ') || ',' || length(getdate()) || ',' || (select length(d) from t where id = 4)"),
                  QStringLiteral("2,23,23"));
        EXPECT_EQ(plain.column("pragma integrity_check"), QStringLiteral("ok"));
    }

    auto c = s.connect();
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from t where c = 'abc'")).toInt32(), 2);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from t where c = 'ação'")).toInt32(), 2);
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from t where c = '2024-01-31'")).toInt32(), 2);
    EXPECT_EQ(scalar(*c, QStringLiteral("select min(id) from t where c > 'abc' and c < 'abz'")).toInt32(), 7);
    c->Execute(QStringLiteral("insert into t (id, c) values (10, 'ABD')"));
    c.reset();
    EXPECT_EQ(PlainFile(file, true).column("pragma integrity_check"), QStringLiteral("ok"));

#if !defined(__SANITIZE_ADDRESS__)
    // The tool itself (not under the sanitizers: the extension would want their run-time loaded
    // first), with the line the README shows: .load without the file's extension.
    if (QFile::exists(QStringLiteral("/usr/bin/sqlite3"))) {
        QString ext = QStringLiteral(VELMORA_SQLITE_EXT);
        ext.chop(3);
        QProcess tool;
        tool.start(QStringLiteral("/usr/bin/sqlite3"),
                   {QStringLiteral("-cmd"), QStringLiteral(".load ") + ext, file,
                    QStringLiteral("insert into t (id, c) values (11, 'aBc'); select count(*) from t where c = 'ABC' collate TSQL_TEXT;")});
        ASSERT_TRUE(tool.waitForFinished(-1));
        EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        EXPECT_EQ(tool.readAllStandardOutput().trimmed(), QByteArray("3"));
    }
#endif
}

// The demonstration's company database is made by the sqlite3 tool with the extension loaded:
// every code the run looks up one record at a time has an index the engine's comparisons can
// use, or a company of a few hundred thousand lines makes the run read a table per look-up.
TEST(EmbeddedSqliteExtension, TheDemonstrationCompanyIndexesServeTheEnginesLookUps) {
    Server s(QStringLiteral("Empresa"));
    QFile script(QStringLiteral(VELMORA_TESTS_DIR "/../demo/empresa.sql"));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    const QByteArray sql = script.readAll().replace("@HOJE@", "2017-03-07").replace("@ANO@", "2017");
    {
        PlainFile plain(s.file(QStringLiteral("Empresa")), true);
        ASSERT_EQ(plain.loadError(), "");
        ASSERT_EQ(plain.exec(sql.constData()), "");
        for (const char* look : {"Clientes where Codigo", "TabPostal where codigo", "Produtos where Codigo",
                                 "Fornece where Codigo", "TabTipoMov where Codigo", "MovProduto where Identifica",
                                 "ImpostosMovproduto where Identifica"}) {
            const std::string q = std::string("explain query plan select * from ") + look + " = 'x' collate TSQL_TEXT";
            EXPECT_TRUE(plain.column(q.c_str(), 3).contains(u"USING INDEX")) << look;
        }
    }
    // The engine reads the file the tool wrote, by any case and trailing blanks of a code.
    auto c = s.connect(QStringLiteral("Empresa"));
    const QString primeira = scalar(*c, QStringLiteral("select min(Identifica) from MovProduto")).toString();
    EXPECT_EQ(scalar(*c, QStringLiteral("select count(*) from MovProduto where Identifica = '") + primeira.toLower() +
                             QStringLiteral("  '")).toInt32(), 1);
}
