// The engine's fast paths give the same answers as the plain ones: statement shapes run with
// their literals as parameters, indexes kept in the engine's collation, packed result rows,
// write checks that run only when a value needs them, and the write-ahead log.

#include <gtest/gtest.h>

#include <QDateTime>

#include "data/embedded/connection/core.h"
#include "data/embedded/translate/semantics.h"
#include "data/embedded/translate/tokenizer.h"
#include "data/rowset.h"
#include "embedded_test_helpers.h"

using namespace embeddedtest;
using data::Variant;

namespace {

QStringList column(data::Connection& c, const QString& sql) {
    data::Recordset rs;
    rs.Open(sql, c);
    QStringList out;
    while (!rs.EOF()) {
        const Variant v = rs.Fields(0L).Value();
        out.push_back(v.isNull() ? QStringLiteral("<null>") : v.toString());
        rs.MoveNext();
    }
    rs.Close();
    return out;
}

int cmp(const char* a, const char* b) {
    return data::embedded::compareText(a, static_cast<int>(std::strlen(a)), b, static_cast<int>(std::strlen(b)));
}

}  // namespace

TEST(EmbeddedPerfPaths, RepeatedShapesAnswerForTheirOwnLiterals) {
    Server s;
    auto c = s.connect();
    c->Execute("create table T (Codigo varchar(10) null, Nome varchar(30) null, Data datetime null)");
    c->Execute("insert into T (Codigo, Nome, Data) values ('A1', 'Ana', '2017-01-05')");
    c->Execute("insert into T (Codigo, Nome, Data) values ('B2', 'O''Neill', '2017-02-05 10:00')");
    c->Execute("insert into T (Codigo, Nome, Data) values ('C3', 'Ze', NULL)");
    // One shape, many literals: each text finds its own rows.
    for (const char* code : {"A1", "b2 ", "C3", "D4"}) {
        const QStringList got = column(*c, QStringLiteral("Select Nome from T Where Codigo='%1'").arg(code));
        const QString want = QString::fromLatin1(code).trimmed().toUpper();
        if (want == u"D4") {
            EXPECT_TRUE(got.isEmpty());
        } else {
            ASSERT_EQ(got.size(), 1) << code;
        }
    }
    EXPECT_EQ(column(*c, "Select Nome from T Where Nome='O''Neill'"), QStringList{"O'Neill"});
    EXPECT_EQ(column(*c, "Select Codigo from T Where Data>='2017-02-01' and Data<='2017-03-01'"), QStringList{"B2"});
    EXPECT_EQ(column(*c, "Select Codigo from T Where Data>='2017-01-01' and Data<='2017-01-05'"), QStringList{"A1"});
    EXPECT_EQ(column(*c, "Select Codigo from T Where Codigo in ('a1', 'C3') order by Codigo"), (QStringList{"A1", "C3"}));
    EXPECT_EQ(column(*c, "Select Codigo from T Where Nome like 'Z%'"), QStringList{"C3"});
    // isnull takes its first argument's type: '' read as a datetime is 1900-01-01.
    EXPECT_EQ(column(*c, "Select isnull(Data,'') from T Where Codigo=N'C3'"), QStringList{"1900-01-01 00:00:00.000"});
    // Empty literals make the shape longer than its text.
    EXPECT_EQ(column(*c, "Select Codigo from T Where Nome<>''+''+'' and ''='' order by Codigo"),
              (QStringList{"A1", "B2", "C3"}));
    // Texts joined with "+", a literal named as a column and a literal column keep their meaning.
    EXPECT_EQ(column(*c, "Select 'x' + Nome + 'y' from T Where Codigo='A1'"), QStringList{"xAnay"});
    EXPECT_EQ(column(*c, "Select 'k' + Nome + 'z' from T Where Codigo='A1'"), QStringList{"kAnaz"});
    {
        data::Recordset rs;
        rs.Open("select Nome as 'Alias', 'lit' from T where Codigo='A1'", *c);
        EXPECT_EQ(rs.Fields(0L).Name(), "Alias");
        EXPECT_EQ(rs.Fields(1L).Value().toString(), "lit");
        rs.Close();
        rs.Open("select Nome as 'Outro', 'lat' from T where Codigo='B2'", *c);
        EXPECT_EQ(rs.Fields(0L).Name(), "Outro");
        EXPECT_EQ(rs.Fields(1L).Value().toString(), "lat");
        rs.Close();
    }
    // A shape that cannot run yet (its table is missing) runs once the table is there.
    EXPECT_EQ(errorOf(*c, "Select * from Novo Where Codigo='1'"), 208);
    c->Execute("create table Novo (Codigo varchar(5) null)");
    c->Execute("insert into Novo (Codigo) values ('1')");
    EXPECT_EQ(column(*c, "Select Codigo from Novo Where Codigo='1'"), QStringList{"1"});
    // Writes of one shape each write their own values, and refusals still refuse.
    for (int i = 0; i < 5; ++i) c->Execute(QStringLiteral("insert into Novo (Codigo) values ('%1')").arg(i + 10));
    EXPECT_EQ(scalar(*c, "select count(*) from Novo where Codigo >= '10'").toInt32(), 5);
    EXPECT_EQ(errorOf(*c, "insert into Novo (Codigo) values ('123456')"), 8152);
    EXPECT_EQ(errorOf(*c, "update Novo set Codigo='1234567' where Codigo='10'"), 8152);
    EXPECT_EQ(scalar(*c, "select count(*) from Novo where Codigo='10'").toInt32(), 1) << "the refused update changed nothing";
}

// A loop's shapes are found again among the last few met, and a cached statement by the
// characters of its kept text: whatever order the shapes come in, more of them than are kept,
// each answers for itself.
TEST(EmbeddedPerfPaths, ShapesMetByTurnsEachAnswerForThemselves) {
    Server s;
    auto c = s.connect();
    c->Execute("create table T (Codigo varchar(10) null, Nome varchar(30) null, N int null)");
    for (int i = 0; i < 6; ++i) {
        c->Execute(QStringLiteral("insert into T (Codigo, Nome, N) values ('C%1', 'Nome %1', %1)").arg(i));
    }
    const QStringList shapes = {
        QStringLiteral("Select Nome from T Where Codigo='%1'"),
        QStringLiteral("Select Codigo from T Where Nome='%1'"),
        QStringLiteral("Select Nome from T Where Codigo>'%1'"),  // as long as the first
        QStringLiteral("Select Nome + '!' from T Where Codigo='%1'"),
        QStringLiteral("Select Codigo + '?' from T Where Nome='%1'"),
        QStringLiteral("Select count(*) from T Where Codigo<>'%1'"),
    };
    std::uint32_t state = 7;
    for (int round = 0; round < 300; ++round) {
        state = state * 1103515245u + 12345u;
        const int which = static_cast<int>((state >> 8) % 6);
        const int row = static_cast<int>((state >> 16) % 6);
        const QString code = QStringLiteral("C%1").arg(row);
        const QString name = QStringLiteral("Nome %1").arg(row);
        const QString text = shapes[which].arg(which == 1 || which == 4 ? name : code);
        QStringList after;
        for (int k = row + 1; k < 6; ++k) after << QStringLiteral("Nome %1").arg(k);
        const QStringList want[] = {{name}, {code}, after, {name + u'!'}, {code + u'?'}, {"5"}};
        ASSERT_EQ(column(*c, text), want[which]) << text.toStdString();
    }
    // A text changed in place after it ran is a text of its own.
    QString text = QStringLiteral("Select Nome from T Where Codigo='C1'");
    EXPECT_EQ(column(*c, text), QStringList{"Nome 1"});
    text[text.size() - 2] = u'2';
    EXPECT_EQ(column(*c, text), QStringList{"Nome 2"});
}

// The single pass over a plain statement gives the shape and values the tokens give, and leaves
// to the tokens whatever it cannot take, wherever the telling character falls in the text.
TEST(EmbeddedPerfPaths, PlainShapesAreTheTokensShapesAtEveryPlace) {
    using data::embedded::Token;
    using data::embedded::TokenKind;
    const char* pieces[] = {"'x'", "'it''s'", "''", "[a b]", "\"a\"", "?", "-- c", "/* c */", "-1", "a/2",
                            "N'x'", "'open", "é'x'", "a'x'", "'ñ'"};
    for (const char* piece : pieces) {
        for (int lead = 0; lead <= 17; ++lead) {
            for (int tail = 0; tail <= 9; tail += 9) {
                const QString text = QString(lead, u'a') + u' ' + QString::fromUtf8(piece) + QString(tail, u'b');
                QString shape;
                data::embedded::Core::Literals values;
                const bool plain = data::embedded::plainShape(text, shape, values);
                QString want;
                QStringList wantValues;
                bool tokensPlain = true;
                for (const Token& t : data::embedded::tokenize(text)) {
                    if (t.kind == TokenKind::String) {
                        tokensPlain = tokensPlain && !t.unterminated && t.text.startsWith(u'\'');
                        want += QStringLiteral("'\x01'");
                        wantValues.push_back(t.value());
                    } else {
                        tokensPlain = tokensPlain && t.kind != TokenKind::Parameter && t.kind != TokenKind::Comment &&
                                      t.kind != TokenKind::QuotedName;
                        want += t.text;
                    }
                }
                const QString where = text + QStringLiteral(" at ") + QString::number(lead);
                if (!plain) {
                    EXPECT_FALSE(tokensPlain && QByteArray(piece) != "é'x'" && QByteArray(piece) != "a'x'")
                        << qPrintable(where);
                    continue;
                }
                EXPECT_TRUE(tokensPlain) << qPrintable(where);
                EXPECT_EQ(shape, want) << qPrintable(where);
                EXPECT_EQ(QStringList(values.begin(), values.end()), wantValues) << qPrintable(where);
            }
        }
    }
}

TEST(EmbeddedPerfPaths, IndexesKeepTheEngineCollation) {
    Server s;
    auto c = s.connect();
    c->Execute("create table P (Codigo varchar(15) null, Data varchar(10) null)");
    for (int i = 0; i < 200; ++i) {
        c->Execute(QStringLiteral("insert into P (Codigo, Data) values ('Prod%1', '2017-01-%2')")
                       .arg(i)
                       .arg(1 + i % 28, 2, 10, QChar(u'0')));
    }
    c->Execute("CREATE INDEX [IX_P_Codigo] on [dbo].[P] ( Codigo ) ON [PRIMARY]");
    c->Execute("create index IX_P_Data on P (Data)");
    // The index is kept in the collation, so SQLite looks rows up through it.
    EXPECT_TRUE(rawText(s.file("Velmora"), "select sql from sqlite_master where name = 'IX_P_Codigo'")
                    .contains("COLLATE TSQL_TEXT"));
    // Found without case and trailing blanks, as SQL Server finds them, through the index.
    EXPECT_EQ(column(*c, "select Codigo from P where Codigo = 'PROD17   '"), QStringList{"Prod17"});
    EXPECT_EQ(column(*c, "select count(*) from P where Data >= '2017-01-27' and Data <= '2017-01-28'"), QStringList{"14"});
    // A unique index refuses values that differ only in case, as the default collation does.
    c->Execute("create table U (K varchar(5) null)");
    c->Execute("create unique index IX_U on U (K)");
    c->Execute("insert into U (K) values ('abc')");
    EXPECT_NE(errorOf(*c, "insert into U (K) values ('ABC ')"), 0);
    // The collation is a total order: a date text keeps one key against every other text.
    EXPECT_EQ(cmp("2017-01-05", "2017-01-05 00:00"), 0);
    EXPECT_EQ(cmp("2017-01-05", "2017-01-05 00") > 0, cmp("2017-01-05 00:00", "2017-01-05 00") > 0);
    EXPECT_EQ(cmp("abc  ", "ABC"), 0);
    EXPECT_LT(cmp("abc", "abd"), 0);
    // An accented letter sorts beside its base letter, after it, and stays apart from it.
    EXPECT_LT(cmp("\xc3\xa9", "f"), 0);
    EXPECT_GT(cmp("\xc3\xa9", "E"), 0);
    EXPECT_LT(cmp("\xc3\xa9" "a", "eb"), 0) << "a later letter outweighs an earlier accent";
    EXPECT_EQ(cmp("\xc3\x89", "\xc3\xa9"), 0);
    EXPECT_EQ(cmp("\xc3\xa9", "e\xcc\x81"), 0) << "a combined accent is the precomposed one";
}

TEST(EmbeddedPerfPaths, PackedRowsReadBackEveryKindOfValue) {
    using data::provider::Row;
    data::provider::RowSet rows;
    const QDateTime utc(QDate(2017, 3, 7), QTime(10, 20, 30, 400), Qt::UTC);
    const QDateTime local(QDate(1999, 12, 31), QTime(23, 59, 59, 999), Qt::LocalTime);
    const Row first{Variant(), Variant::null(), Variant(std::int16_t{-7}), Variant(std::int32_t{70000}),
                    Variant(std::int64_t{1} << 40), Variant(1.5f), Variant(-2.25), Variant(data::Currency::fromRaw(-123456)),
                    Variant(utc), Variant(local), Variant(QString()), Variant(QString("")), Variant(QString("plain")),
                    Variant(QString::fromUtf8("Jos\xc3\xa9 \xe2\x82\xac")), Variant(true), Variant(false),
                    Variant(QByteArray("\x00\x01\xff", 3))};
    rows.push_back(first);
    rows.push_back(Row{});
    rows.beginRow();
    rows.addAscii("abc", 3);
    rows.add(Variant(std::int32_t{5}));
    rows.endRow();
    const QString wide(40000, u'\u4e2d');
    rows.push_back(Row{Variant(wide)});
    ASSERT_EQ(rows.size(), 4u);
    const Row back = rows[0];
    ASSERT_EQ(back.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(back[i].storage().index(), first[i].storage().index()) << i;
        EXPECT_TRUE(back[i].storage() == first[i].storage()) << i;
    }
    EXPECT_TRUE(back[10].toString().isNull());
    EXPECT_FALSE(back[11].toString().isNull());
    EXPECT_EQ(back[9].toDateTime().timeSpec(), Qt::LocalTime);
    EXPECT_TRUE(rows[1].empty());
    EXPECT_EQ(rows.at(2)[0].toString(), "abc");
    EXPECT_EQ(rows.at(2)[1].toInt32(), 5);
    EXPECT_EQ(rows.back()[0].toString(), wide);
    rows.set(1, Row{Variant(QString("again"))});
    EXPECT_EQ(rows[1][0].toString(), "again");
    rows.pop_back();
    EXPECT_EQ(rows.size(), 3u);
    EXPECT_THROW(rows.at(3), std::out_of_range);
    data::provider::RowSet copy = rows;
    EXPECT_EQ(copy[2][0].toString(), rows[2][0].toString());
    size_t n = 0;
    for (const Row& r : copy) n += r.size();
    EXPECT_EQ(n, first.size() + 1 + 2);
}

TEST(EmbeddedPerfPaths, WriteChecksStillFitAndRefuse) {
    Server s;
    auto c = s.connect();
    c->Execute("create table W (V varchar(3) null, C char(4) null, S smallint null)");
    c->Execute("insert into W (V, C, S) values ('ab   ', 'x', 1)");
    EXPECT_EQ(rawText(s.file("Velmora"), "select V || '|' || C from W"), "ab |x   ") << "blanks past the width dropped";
    EXPECT_EQ(errorOf(*c, "insert into W (V) values ('abcd')"), 8152);
    EXPECT_EQ(errorOf(*c, "update W set S = 40000"), 220);
    EXPECT_EQ(scalar(*c, "select S from W").toInt32(), 1);
    c->Execute("update W set C = 'yz'");
    EXPECT_EQ(rawText(s.file("Velmora"), "select C || '|' from W"), "yz  |");
    // A recordset writes rows back through the same checks.
    data::Recordset rs;
    rs.Open("select * from W", *c, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
    rs.AddNew();
    rs.Fields("V").setValue(QString("toolong"));
    EXPECT_THROW(rs.Update(), data::DbError);
    rs.CancelUpdate();
    rs.Close();
    EXPECT_EQ(scalar(*c, "select count(*) from W").toInt32(), 1);
    // The database keeps a write-ahead log.
    EXPECT_EQ(rawText(s.file("Velmora"), "pragma journal_mode"), "wal");
}
