#include <gtest/gtest.h>

#include "extractor/MainMod_configuracao.h"
#include "extractor/MainMod_ligacoes.h"
#include "extractor/MainMod_moeda.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "support/program_folder.h"
#include "util/Locale.h"

using data::Currency;

namespace {

Currency cur(const char* text) { return *Currency::parse(QString::fromLatin1(text)); }

class ConverteMoedaTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.exec("master", "Create Database Velmora");
        // valor applies up to 2001, valor1 after.
        server_.exec("Velmora", "create table cambios (codigo varchar(10) null, valor float null, valor1 float null); "
                                "insert into cambios values ('USD', 0.5, 0.25); insert into cambios values ('GBP', 2, 4); "
                                "insert into cambios values ('R''S', 0.1, 0.1); insert into cambios values ('ZERO', 0, 0)");
        Configuracao().gstrServer = server_.serverName();
        Configuracao().gstrUID = server_.login();
        Configuracao().gstrPwd = server_.password();
        setObservadorAberturas([this](const QString& db, std::int32_t t) { openings_ << db + "/" + QString::number(t); });
    }
    void TearDown() override { gstrAno().clear(); }

    Currency conv(const char* amount, const QString& code, const QString& op, const QString& base, QString year) {
        return ConverteMoeda(cur(amount), code, op, base, QString(), year);
    }

    testsupport::TempEmbeddedServer server_;
    testsupport::TempProgramFolder program_;
    QStringList openings_;
};

}  // namespace

TEST_F(ConverteMoedaTest, RatesByYearOperationAndBaseCode) {
    EXPECT_EQ(conv("10", "USD", "+", "EUR", "2002"), cur("2.5"));  // recent: valor1, times
    EXPECT_EQ(conv("10", "USD", "-", "EUR", "2002"), cur("40"));   // divided
    EXPECT_EQ(conv("10", "USD", "+", "USD", "2001"), cur("5"));    // valor
    EXPECT_EQ(conv("10", "USD", "-", "usd", ""), cur("20"));       // "-" compares the base without case
    EXPECT_EQ(conv("10", "USD", "+", "GBP", "2001"), cur("40"));   // 10 / 0.5 * 2
    EXPECT_EQ(conv("10", "USD", "-", "GBP", "2001"), cur("2.5"));  // 10 / 2 * 0.5
    EXPECT_EQ(conv("10", "JPY", "+", "JPY", "2005"), cur("10"));   // no row: rate 1
    EXPECT_EQ(conv("10", "R'S", "-", "R'S", "2005"), cur("100"));  // a code with an apostrophe finds its row
    EXPECT_EQ(conv("10", "USD", "*", "EUR", "2002"), cur("0"));    // unknown operation
    EXPECT_EQ(conv("10", "ZERO", "-", "ZERO", "2002"), cur("0"));  // a rate of 0 cannot divide
    EXPECT_EQ(conv("0.0001", "USD", "+", "USD", "2002"), cur("0")); // four decimals
    EXPECT_TRUE(openings_.contains("Velmora/120"));

    // The same code as the plain code needs no database at all.
    openings_.clear();
    QString year;
    EXPECT_EQ(ConverteMoeda(cur("12.3456"), " usd ", "+", "", "USD", year), cur("12.3456"));
    EXPECT_TRUE(openings_.isEmpty());

    // An empty year takes the working year, in the caller's variable too.
    gstrAno() = "2003";
    year = "  ";
    EXPECT_EQ(ConverteMoeda(cur("10"), "USD", "+", "EUR", "", year), cur("2.5"));
    EXPECT_EQ(year, "2003");
}

TEST_F(ConverteMoedaTest, WithoutTheRateTableOrTheDatabase) {
    server_.exec("Velmora", "drop table cambios");
    EXPECT_EQ(conv("10", "USD", "-", "USD", "2002"), cur("10")) << "no table: every rate is 1";

    Configuracao().gstrPwd = "Errada#1";
    testsupport::MessageBoxRecorder boxes;
    EXPECT_EQ(conv("10", "USD", "-", "USD", "2002"), cur("0"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].style, platform::mb::Critical);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("18456\rLogin failed for user 'sa'."));
}

TEST(TextoParaMoeda, ReadsNumbersWithTheGivenSeparators) {
    EXPECT_EQ(TextoParaMoeda("1,234.50", ",", "."), cur("1234.5"));
    EXPECT_EQ(TextoParaMoeda("1.234,50", ".", ","), cur("1234.5"));
    EXPECT_EQ(TextoParaMoeda("  -12,5  ", ".", ","), cur("-12.5"));
    EXPECT_EQ(TextoParaMoeda("1 234,5", "", ","), cur("1234.5")) << "a blank is dropped when the separator is empty";
    EXPECT_EQ(TextoParaMoeda("12abc", ",", "."), cur("12"));
    EXPECT_EQ(TextoParaMoeda("", ",", "."), cur("0"));
    EXPECT_EQ(TextoParaMoeda("abc", ",", "."), cur("0"));
    EXPECT_EQ(TextoParaMoeda(QString(40000, u'9'), ",", "."), cur("0")) << "no amount holds it";
}
