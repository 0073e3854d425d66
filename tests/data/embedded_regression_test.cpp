// Faults the fuzzing of the T-SQL translator and the embedded engine found, kept from coming
// back.
#include <gtest/gtest.h>

#include "data/embedded/translate/tokenizer.h"
#include "data/embedded/translate/translator.h"
#include "embedded_test_helpers.h"

using data::embedded::StatementKind;
using data::embedded::translate;
using namespace embeddedtest;

// Found with the statement "WITH (NOLOCK)": dropping the table hint left no token, and the
// translator read the statement's first token past the end of the list.
TEST(EmbeddedRegression, AStatementOfOnlyATableHintIsASyntaxError) {
    for (const char* sql : {"WITH (NOLOCK)", "  with ( nolock , rowlock ) -- c", "/* x */ WITH(UPDLOCK)"}) {
        const auto tr = translate(QString::fromUtf8(sql), QStringLiteral("Velmora"));
        EXPECT_EQ(tr.kind, StatementKind::Other) << sql;
        EXPECT_EQ(tr.syntaxError.toUpper(), QStringLiteral("WITH")) << sql;
    }
    // A hint after a table is still dropped, and a common table expression is still a query.
    EXPECT_EQ(translate(QStringLiteral("select a from T with (nolock)"), QStringLiteral("Velmora")).sql,
              QStringLiteral("select a from T "));
    EXPECT_EQ(translate(QStringLiteral("with x as (select 1 as a) select a from x"), QStringLiteral("Velmora")).kind,
              StatementKind::Query);

    Server s;
    auto c = s.connect();
    QString text;
    EXPECT_EQ(errorOf(*c, QStringLiteral("select 1; WITH (NOLOCK)"), &text), 102);
    EXPECT_EQ(text, QStringLiteral("Incorrect syntax near 'WITH'."));
    EXPECT_EQ(errorOf(*c, QStringLiteral("select 1")), 0);  // the connection still works
}
