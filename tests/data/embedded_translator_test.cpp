// The T-SQL to SQLite translation, statement by statement.
#include <gtest/gtest.h>

#include "data/embedded/translate/starcolumns.h"
#include "data/embedded/translate/tokenizer.h"
#include "data/embedded/translate/translator.h"

using data::embedded::StatementKind;
using data::embedded::translate;

TEST(Tokenizer, KeepsEveryCharacterAndReadsQuotedTexts) {
    const QString sql = QStringLiteral("select [a b], 'it''s', N'x' -- note\n/* c /* nested */ */ from t where x<>1;");
    const auto tokens = data::embedded::tokenize(sql);
    EXPECT_EQ(data::embedded::joinTokens(tokens), sql);
    int strings = 0;
    for (const auto& t : tokens) {
        if (t.kind == data::embedded::TokenKind::String) {
            ++strings;
            if (strings == 1) {
                EXPECT_EQ(t.value(), QStringLiteral("it's"));
            }
        }
        if (t.kind == data::embedded::TokenKind::QuotedName) {
            EXPECT_EQ(t.value(), QStringLiteral("a b"));
        }
    }
    EXPECT_EQ(strings, 2);
    const auto statements = data::embedded::splitStatements(data::embedded::tokenize(QStringLiteral("a; b ;; (c;d)")));
    EXPECT_EQ(statements.size(), 3u);
    // An unterminated literal is one token to the end, reported as an error, never read past.
    const auto open = data::embedded::tokenize(QStringLiteral("select 'abc"));
    EXPECT_TRUE(open.back().unterminated);
    EXPECT_FALSE(translate(QStringLiteral("select 'abc"), QStringLiteral("Velmora")).syntaxError.isEmpty());
}

// The look for a word in a statement ignores case the way the server does, also where another
// alphabet's letters fold into the word's.
TEST(Tokenizer, FindsAWordWithoutCase) {
    using data::embedded::containsNoCase;
    EXPECT_TRUE(containsNoCase(QStringLiteral("select * from master..SysProcesses"), "sysprocesses"));
    EXPECT_TRUE(containsNoCase(QStringLiteral("SYSPROCESSES"), "sysprocesses"));
    EXPECT_TRUE(containsNoCase(QStringLiteral("ssysprocesses"), "sysprocesses")) << "a first letter repeated";
    EXPECT_FALSE(containsNoCase(QStringLiteral("select * from sysprocesse"), "sysprocesses"));
    EXPECT_FALSE(containsNoCase(QStringLiteral(""), "sysprocesses"));
    EXPECT_TRUE(containsNoCase(QStringLiteral("select 'ção' from sysprocesses"), "sysprocesses"));
    EXPECT_TRUE(containsNoCase(QString::fromUtf16(u"select * from \u017Fysprocesses"), "sysprocesses"))
        << "the long s folds to s";
    EXPECT_FALSE(containsNoCase(QStringLiteral("select 'ção' from t"), "sysprocesses"));

    using data::embedded::startsWithNoCase;
    EXPECT_TRUE(startsWithNoCase(u"SeLeCt * from t", "select"));
    EXPECT_TRUE(startsWithNoCase(u"select", "select"));
    EXPECT_FALSE(startsWithNoCase(u"selec", "select"));
    EXPECT_FALSE(startsWithNoCase(u" select", "select"));
    EXPECT_FALSE(startsWithNoCase(u"sélect", "select"));
    // Where a letter outside ASCII is met, the answer is Qt's own.
    const QString longS = QString::fromUtf16(u"\u017Felect");
    EXPECT_EQ(startsWithNoCase(longS, "select"), QStringView(longS).compare(QLatin1String("select"), Qt::CaseInsensitive) == 0);
}

TEST(Translator, NamesHintsAndFunctions) {
    auto t = translate(QStringLiteral("Select ZerarFornece,ZerarClientes,ZerarProduto from ParamGeral With (NoLock) "),
                       QStringLiteral("Tramonta"));
    EXPECT_EQ(t.kind, StatementKind::Query);
    EXPECT_FALSE(t.sql.contains(QStringLiteral("NoLock"), Qt::CaseInsensitive));
    EXPECT_TRUE(t.databases.isEmpty());

    t = translate(QStringLiteral("select isnull(Velmora..LigaMovimentos.TipoOferta,'0') from MovProduto (NOLOCK) "
                                 "Inner join Velmora..LigaMovimentos on Velmora..LigaMovimentos.Tipo=MovProduto.Tipo"),
                  QStringLiteral("Tramonta"));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("ifnull(\"Velmora\".LigaMovimentos.TipoOferta,'0')")));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("join \"Velmora\".LigaMovimentos on")));
    EXPECT_FALSE(t.sql.contains(QStringLiteral("NOLOCK")));
    EXPECT_EQ(t.databases, QStringList{QStringLiteral("Velmora")});

    // The connection's own database is "main"; dbo. is dropped; [names] are quoted.
    t = translate(QStringLiteral("select * from velmora.dbo.[Log Geral] where [dbo].[Log Geral].x = N'a'"),
                  QStringLiteral("Velmora"));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("from main.\"Log Geral\"")));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("\"Log Geral\".x")));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("'a'")));
    EXPECT_FALSE(t.sql.contains(QStringLiteral("N'a'")));
    EXPECT_TRUE(t.databases.isEmpty());

    // Literals are never rewritten.
    t = translate(QStringLiteral("Insert into LogGeral (Opcao,Texto) VALUES ('isnull(x) With (NoLock)','[a]..b')"),
                  QStringLiteral("Velmora"));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("'isnull(x) With (NoLock)','[a]..b'")));
    EXPECT_EQ(t.kind, StatementKind::Insert);
    EXPECT_EQ(t.table, QStringLiteral("LogGeral"));

    // "+" beside a text literal joins texts; between numbers it adds.
    t = translate(QStringLiteral("update T set a = a + 'x', b = 'y' + c, d = d + 1, e = '1' + 2"), QStringLiteral("x"));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("a = a || 'x'")));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("b = 'y' || c")));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("d = d + 1")));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("'1' + 2")));
    t = translate(QStringLiteral("select @@IDENTITY, SCOPE_IDENTITY()"), QStringLiteral("x"));
    EXPECT_EQ(t.sql.count(QStringLiteral("last_insert_rowid()")), 2);

    t = translate(QStringLiteral("select top 5 a from t order by a"), QStringLiteral("x"));
    EXPECT_TRUE(t.sql.trimmed().endsWith(QStringLiteral("LIMIT 5")));
    EXPECT_FALSE(t.sql.contains(QStringLiteral("top"), Qt::CaseInsensitive));
}

TEST(Translator, ComparisonsAndSortsGetTheServerCollationButAssignmentsDoNot) {
    auto t = translate(QStringLiteral("Update Clientes Set Status='' Where Status='A'  or Status='E' "), QStringLiteral("V"));
    EXPECT_EQ(t.kind, StatementKind::Update);
    EXPECT_TRUE(t.sql.contains(QStringLiteral("Set Status=''")));
    EXPECT_EQ(t.sql.count(QStringLiteral("COLLATE TSQL_TEXT")), 2);

    t = translate(QStringLiteral("update T set a = 1, b = (select max(c) from u where u.d = T.e) where f <> 'x' and g not in ('y')"),
                  QStringLiteral("V"));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("set a = 1, b =")));
    EXPECT_EQ(t.sql.count(QStringLiteral("COLLATE TSQL_TEXT")), 4) << "max() takes it too";
    EXPECT_TRUE(t.sql.contains(QStringLiteral("g COLLATE TSQL_TEXT not"))) << t.sql.toStdString();

    t = translate(QStringLiteral("Select * from movimentos Where isnull(status,'')<>'' order by Mascara DESC,Data ASC, 2"),
                  QStringLiteral("V"));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("Mascara COLLATE TSQL_TEXT DESC")));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("Data COLLATE TSQL_TEXT ASC")));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("2 COLLATE"))) << "a position names a result column, maybe a text";
}

TEST(Translator, QueriesOverOneTableCanBeUpdated) {
    auto t = translate(QStringLiteral("Select * from Produtos Where Codigo='A1'"), QStringLiteral("Velmora"));
    EXPECT_EQ(t.table, QStringLiteral("Produtos"));
    EXPECT_EQ(t.schema, QStringLiteral("main"));
    EXPECT_TRUE(t.updatableSql.contains(QStringLiteral("Produtos.rowid AS \"__rowkey\"")));

    t = translate(QStringLiteral("select p.Codigo from Velmora..Produtos p where p.Codigo = 'x'"), QStringLiteral("Tramonta"));
    EXPECT_EQ(t.schema, QStringLiteral("Velmora"));
    EXPECT_TRUE(t.updatableSql.contains(QStringLiteral("p.rowid")));

    EXPECT_TRUE(translate(QStringLiteral("select * from a, b"), QStringLiteral("x")).updatableSql.isEmpty());
    EXPECT_TRUE(translate(QStringLiteral("select * from a inner join b on a.x=b.x"), QStringLiteral("x")).updatableSql.isEmpty());
    EXPECT_TRUE(translate(QStringLiteral("select count(*) from a group by b"), QStringLiteral("x")).updatableSql.isEmpty());
}

TEST(Translator, SchemaStatementsAndProceduresAreRecognised) {
    auto t = translate(QStringLiteral("Create Database Velmora"), QStringLiteral("master"));
    EXPECT_EQ(t.kind, StatementKind::CreateDatabase);
    EXPECT_EQ(t.name, QStringLiteral("Velmora"));

    t = translate(QStringLiteral("ALTER TABLE [dbo].[Clientes] WITH NOCHECK ADD  CONSTRAINT [PK_Clientes] PRIMARY KEY  "
                                 "NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]"),
                  QStringLiteral("Velmora"));
    EXPECT_EQ(t.kind, StatementKind::AddConstraint);
    EXPECT_EQ(t.table, QStringLiteral("Clientes"));
    EXPECT_EQ(t.name, QStringLiteral("PK_Clientes"));
    EXPECT_EQ(t.constraintKind, QStringLiteral("PRIMARY KEY"));
    EXPECT_EQ(t.columns, QStringList{QStringLiteral("NumRegisto")});

    t = translate(QStringLiteral(" alter table Clientes ALTER COLUMN Descricao varchar(60) null "), QStringLiteral("Velmora"));
    EXPECT_EQ(t.kind, StatementKind::AlterColumn);
    EXPECT_EQ(t.column, QStringLiteral("Descricao"));

    t = translate(QStringLiteral("CREATE UNIQUE INDEX [IX_C] on [dbo].[Clientes] ( Codigo, Status ) ON [PRIMARY]"),
                  QStringLiteral("Velmora"));
    EXPECT_EQ(t.kind, StatementKind::CreateIndex);
    EXPECT_TRUE(t.unique);
    EXPECT_EQ(t.columns, (QStringList{QStringLiteral("Codigo"), QStringLiteral("Status")}));

    t = translate(QStringLiteral("sp_columns @table_name = 'Clientes',@COLUMN_NAME='Codigo'"), QStringLiteral("Velmora"));
    EXPECT_EQ(t.kind, StatementKind::Procedure);
    EXPECT_EQ(t.procedure, QStringLiteral("sp_columns"));
    ASSERT_EQ(t.arguments.size(), 2u);
    EXPECT_EQ(t.arguments[1].first, QStringLiteral("COLUMN_NAME"));
    EXPECT_EQ(t.arguments[1].second, QStringLiteral("Codigo"));

    t = translate(QStringLiteral("exec sp_tables 'T', NULL"), QStringLiteral("Velmora"));
    ASSERT_EQ(t.arguments.size(), 2u);
    EXPECT_TRUE(t.arguments[1].second.isNull());
    // A name with an apostrophe breaks the procedure call, as on the server.
    t = translate(QStringLiteral("sp_tables @table_name = 'O'NEILL'"), QStringLiteral("Velmora"));
    EXPECT_FALSE(t.syntaxError.isEmpty());
}

TEST(Translator, TopLimitsItsOwnSelectAndAStarThatLosesDuplicatesIsExpanded) {
    auto t = translate(QStringLiteral("select * from (select top 5 x from t order by x) q where x in (select top (1) y from u)"),
                       QStringLiteral("x"));
    EXPECT_TRUE(t.sql.contains(QStringLiteral("order by x COLLATE TSQL_TEXT LIMIT 5) q"))) << t.sql.toStdString();
    EXPECT_TRUE(t.sql.contains(QStringLiteral("from u LIMIT 1)"))) << t.sql.toStdString();
    t = translate(QStringLiteral("select top 1 x from a union select x from b order by x"), QStringLiteral("x"));
    EXPECT_TRUE(t.sql.startsWith(QStringLiteral("SELECT * FROM (select  x COLLATE TSQL_TEXT from a LIMIT 1) union")))
        << t.sql.toStdString();
    EXPECT_EQ(translate(QStringLiteral("select top 3 with ties x from t order by x"), QStringLiteral("x")).refusal, 50000);
    EXPECT_FALSE(translate(QStringLiteral("select * from t"), QStringLiteral("x")).starColumns);

    t = translate(QStringLiteral("select distinct * from a x, (select k, n from b) y where x.k = y.k"), QStringLiteral("x"));
    EXPECT_TRUE(t.starColumns);
    EXPECT_EQ(t.describingSql, QStringLiteral("select distinct * from a x, (select k, n from b) y where x.k COLLATE TSQL_TEXT  = y.k"));
    QStringList probes;
    const QString sql = data::embedded::expandStars(t.sql, [&](const QString& probe) {
        probes << probe;
        return QStringList{QStringLiteral("k"), QStringLiteral("n")};
    });
    EXPECT_TRUE(sql.startsWith(QStringLiteral("select distinct x.\"k\" COLLATE TSQL_TEXT, x.\"n\" COLLATE TSQL_TEXT, "
                                              "y.\"k\" COLLATE TSQL_TEXT, y.\"n\" COLLATE TSQL_TEXT from a x,")))
        << sql.toStdString();
    EXPECT_EQ(probes, (QStringList{QStringLiteral("SELECT x.* from a x, (select k, n from b) y"),
                                   QStringLiteral("SELECT y.* from a x, (select k, n from b) y")}));
}
