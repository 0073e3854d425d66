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
        server_.exec("Velmora", "create table cambios (codigo varchar(10) null, valor float null, valor1 float null)");
        // valor applies to years up to 2001, valor1 to later ones.
        server_.exec("Velmora", "insert into cambios values ('USD', 0.5, 0.25)");
        server_.exec("Velmora", "insert into cambios values ('GBP', 2, 4)");
        server_.exec("Velmora", "insert into cambios values ('R''S', 0.1, 0.1)");
        server_.exec("Velmora", "insert into cambios values ('ZERO', 0, 0)");
        ConfiguracaoRecord& cfg = Configuracao();
        cfg.gstrServer = server_.serverName();
        cfg.gstrUID = server_.login();
        cfg.gstrPwd = server_.password();
        setObservadorAberturas([this](const QString& db, std::int32_t timeout) {
            openings_.push_back(db + "/" + QString::number(timeout));
        });
    }
    void TearDown() override { gstrAno().clear(); }

    Currency conv(const char* amount, const QString& code, const QString& op, const QString& base, QString year,
                  const QString& plain = QString()) {
        return ConverteMoeda(cur(amount), code, op, base, plain, year);
    }

    testsupport::TempEmbeddedServer server_;
    testsupport::TempProgramFolder program_;
    std::vector<QString> openings_;
};

}  // namespace

TEST_F(ConverteMoedaTest, TheSameCodeAsThePlainCodeNeedsNoDatabase) {
    Configuracao().gstrPwd = "errada";
    testsupport::MessageBoxRecorder boxes;
    QString year;
    EXPECT_EQ(ConverteMoeda(cur("12.3456"), " usd ", "+", "", "USD", year), cur("12.3456"));
    EXPECT_EQ(ConverteMoeda(cur("7"), "EUR", "x", "", "eur", year), cur("7"));
    EXPECT_TRUE(openings_.empty());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ConverteMoedaTest, RatesByYearAndOperation) {
    // A recent year applies the code's own rate (valor1): "+" multiplies, "-" divides.
    EXPECT_EQ(conv("10", "USD", "+", "EUR", "2002"), cur("2.5"));
    EXPECT_EQ(conv("10", "USD", "-", "EUR", "2002"), cur("40"));
    // Up to 2001 (and without a year) valor: 0.5.
    EXPECT_EQ(conv("10", "USD", "+", "USD", "2001"), cur("5"));
    EXPECT_EQ(conv("10", "USD", "-", "usd", ""), cur("20"));
    // "+" compares the base code with case: "usd" takes the way through the base's rate, whose
    // row the server finds without case (10 / 0.5 * 0.5).
    EXPECT_EQ(conv("10", "USD", "+", "usd", "2001"), cur("10"));
    // Older years through a base code: (amount / rate of the first) * rate of the second.
    EXPECT_EQ(conv("10", "USD", "+", "GBP", "2001"), cur("40"));    // 10 / 0.5 * 2
    EXPECT_EQ(conv("10", "USD", "-", "GBP", "2001"), cur("2.5"));   // 10 / 2 * 0.5
    // A code without a row has the rate 1; an apostrophe in a code finds its row.
    EXPECT_EQ(conv("10", "JPY", "+", "JPY", "2005"), cur("10"));
    EXPECT_EQ(conv("10", "R'S", "-", "R'S", "2005"), cur("100"));
    // Any other operation gives 0 without reading a rate.
    EXPECT_EQ(conv("10", "USD", "*", "EUR", "2002"), cur("0"));
    // A rate of 0 cannot divide: 0.
    EXPECT_EQ(conv("10", "ZERO", "-", "ZERO", "2002"), cur("0"));
    EXPECT_EQ(conv("10", "ZERO", "+", "ZERO", "2002"), cur("0"));
    // Results are amounts with four decimals.
    EXPECT_EQ(conv("1", "GBP", "-", "GBP", "2001"), cur("0.5"));
    EXPECT_EQ(conv("0.0001", "USD", "+", "USD", "2002"), cur("0"));  // 0.000025 rounds to 0
    for (const QString& o : openings_) EXPECT_EQ(o, "Velmora/120");
}

TEST_F(ConverteMoedaTest, AnEmptyYearTakesTheWorkingYearIntoTheCallersVariable) {
    gstrAno() = "2003";
    QString year = "  ";
    EXPECT_EQ(ConverteMoeda(cur("10"), "USD", "+", "EUR", "", year), cur("2.5"));
    EXPECT_EQ(year, "2003");
    QString given = "1999";
    ConverteMoeda(cur("10"), "USD", "+", "EUR", "", given);
    EXPECT_EQ(given, "1999");
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
    EXPECT_EQ(TextoParaMoeda("1 234,5", ".", ","), cur("1234.5")) << "blanks inside a number are skipped";
    EXPECT_EQ(TextoParaMoeda("", ",", "."), cur("0"));
    EXPECT_EQ(TextoParaMoeda("abc", ",", "."), cur("0"));
    EXPECT_EQ(TextoParaMoeda("12abc", ",", "."), cur("12"));
    EXPECT_EQ(TextoParaMoeda("0.00005", ",", "."), cur("0")) << "half to even at the fourth decimal";
    EXPECT_EQ(TextoParaMoeda(QString(40000, u'9'), ",", "."), cur("0")) << "no amount holds it";
    EXPECT_EQ(TextoParaMoeda(QString(40000, u'x'), ",", "."), cur("0"));
}
