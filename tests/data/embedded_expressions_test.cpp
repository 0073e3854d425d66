// The expressions pass of the translation: which operands "+", "/" and "%" take, which
// subqueries are values, and that statements without such expressions keep their text.
#include <gtest/gtest.h>

#include "data/embedded/translate/expressions.h"
#include "data/embedded/translate/translator.h"
#include "embedded_test_helpers.h"

namespace {

QString rewritten(const char* sql) {
    return data::embedded::joinTokens(data::embedded::sqlServerExpressions(data::embedded::tokenize(QString::fromUtf8(sql))));
}

QString translated(const char* sql) { return data::embedded::translate(QString::fromUtf8(sql), QStringLiteral("Velmora")).sql; }

}  // namespace

TEST(Expressions, StatementsWithoutSuchExpressionsKeepTheirText) {
    for (const char* sql : {"Select * from Produtos Where Codigo='X'", "Update Clientes Set activo=1 Where codigo='X'",
                            "Insert Into Clientes (Codigo, PVP) Values ('X', 1.5)", "select a + 1, 2 + b, -c, d * e, f / 2, g % 1.5 from t",
                            "select count(*) from t where k in (select k from u) and exists (select 1 from v)",
                            "select (select count(*) from u), (select top 1 k from u), (select 1) from t",
                            "select x.* from (select k from u) x, (select k from v) y",
                            "select cast(x as text), convert(varchar(10), d, 103) from t"}) {
        EXPECT_EQ(rewritten(sql), QString::fromUtf8(sql)) << sql;
    }
}

TEST(Expressions, PlusTakesItsOperandsByPrecedenceLeftToRight) {
    EXPECT_EQ(rewritten("select a + b from t"), QStringLiteral("select tsql_add(a, b) from t"));
    EXPECT_EQ(rewritten("select -a + f(b, c) * 2 - d + e from t"),
              QStringLiteral("select tsql_add(tsql_add(-a, f(b, c) * 2) - d, e) from t"));
    EXPECT_EQ(rewritten("select case when a = b then x end + t.y + (p) from t where q.r + @v = 'x'"),
              QStringLiteral("select tsql_add(tsql_add(case when a = b then x end, t.y), (p)) from t where tsql_add(q.r, @v) = 'x'"));
    // "||" is a "+" next to a text literal; SQLite binds it tighter than "+" and "*".
    EXPECT_EQ(translated("select 'x' + a + b, a - b + 'x', 'x' + a * b from t"),
              QStringLiteral("select tsql_add('x' || a, b), (a - b) || 'x', 'x' || (a * b) from t"));
}

TEST(Expressions, DeepNestingIsLeftAsWritten) {
    const QString deep = QStringLiteral("select ") + QString(5000, u'(') + QStringLiteral("a + b") + QString(5000, u')');
    const QString out = data::embedded::joinTokens(data::embedded::sqlServerExpressions(data::embedded::tokenize(deep)));
    EXPECT_TRUE(out.contains(QStringLiteral("a + b")));
    EXPECT_EQ(out.size(), deep.size());
}

TEST(Expressions, DivisorsAreCheckedAndCastsConverted) {
    EXPECT_EQ(rewritten("select a * b / -c % (d + e), a / 2 / 0 from t"),
              QStringLiteral("select a * b / tsql_divisor(-c) % tsql_divisor((tsql_add(d, e))), a / 2 / tsql_divisor(0) from t"));
    EXPECT_EQ(rewritten("select cast(a / b as numeric(10, 2)), convert(varchar, a) from t"),
              QStringLiteral("select tsql_cast(a / tsql_divisor(b), 14, 10, 2), tsql_cast(a, 2, 30, 0) from t"));
}

TEST(Expressions, OnlySubqueriesUsedAsValuesAreChecked) {
    const QString check = QStringLiteral(" LIMIT 2) GROUP BY NULL HAVING CASE WHEN count(*) > 1 THEN tsql_raise(512) ELSE 1 END)");
    EXPECT_EQ(rewritten("select (select k from u) from t"), QStringLiteral("select (SELECT * FROM (select k from u") + check + QStringLiteral(" from t"));
    EXPECT_EQ(rewritten("update t set a = ifnull((select k from u where u.id = t.id), 0)"),
              QStringLiteral("update t set a = ifnull((SELECT * FROM (select k from u where u.id = t.id") + check + QStringLiteral(", 0)"));
    for (const char* rows : {"select * from t where a in (select k from u)", "select * from t, (select k from u) x",
                             "select * from t join u on t.k = u.k, (select k from v) x",
                             "(select k from u) union (select k from v)", "with c as (select k from u) select * from c"}) {
        EXPECT_EQ(rewritten(rows), QString::fromUtf8(rows)) << rows;
    }
}

TEST(Expressions, CheckedSubqueryKeepsItsColumnTypeAndErrorsCarryTheServerTexts) {
    const embeddedtest::Server server;
    auto c = server.connect();
    c->Execute(QStringLiteral("create table p (id int, price money, name varchar(10))"));
    c->Execute(QStringLiteral("insert into p (id, price, name) values (1, 2.5, 'a')"));
    c->Execute(QStringLiteral("insert into p (id, price, name) values (2, 3, 'b')"));
    auto rs = c->Execute(QStringLiteral("select (select price from p where id = 1) as v"));
    EXPECT_EQ(rs.Fields(0L).Value().type(), data::Variant::Type::Currency);
    EXPECT_EQ(rs.Fields(0L).Value().toCurrency(), *data::Currency::parse(QStringLiteral("2.5")));
    QString text;
    EXPECT_EQ(embeddedtest::errorOf(*c, QStringLiteral("select (select price from p)"), &text), 512);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Subquery returned more than 1 value."))) << text.toStdString();
    EXPECT_EQ(embeddedtest::errorOf(*c, QStringLiteral("select price / (id - 1) from p"), &text), 8134);
    EXPECT_EQ(text, QStringLiteral("Divide by zero error encountered."));
    EXPECT_EQ(embeddedtest::errorOf(*c, QStringLiteral("select cast(price * 1000000 as numeric(6,2)) from p"), &text), 8115);
    EXPECT_EQ(text, QStringLiteral("Arithmetic overflow error converting expression to data type numeric."));
    // A statement prepared once runs again with the same meaning.
    EXPECT_EQ(embeddedtest::scalar(*c, QStringLiteral("select name + name from p where id = 2")).toString(), QStringLiteral("bb"));
    EXPECT_EQ(embeddedtest::scalar(*c, QStringLiteral("select name + name from p where id = 2")).toString(), QStringLiteral("bb"));
}
