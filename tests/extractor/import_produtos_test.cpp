// The product import against an embedded company database and a staging database made by the
// schema routine: which products the rules stage, with what, and how the re-check marks them.
#include <gtest/gtest.h>

#include "data/connection.h"
#include "extractor/clsVelmora.h"
#include "support/clsvelmora_access.h"
#include "support/company_db.h"
#include "support/recording_run_host.h"

using data::Currency;
using data::Variant;
using testsupport::LigaProduto;
using testsupport::ProdutoEmpresa;

namespace {

using testsupport::eur;

class ProcessaProdutosTest : public ::testing::Test {
protected:
    void run() { clsVelmoraTestAccess::ProcessaProdutos(velmora_, *db_.geral, *db_.gestao, host_); }

    // Status, Activo, Descricao, PVP, UnidadeVenda, NomeFornecedor, CodigoBarras, Cambio of a staged
    // product; empty when it is not staged.
    std::vector<Variant> staged(const QString& codigo) const {
        const auto r = db_.staging(QStringLiteral("select Status, Activo, Descricao, PVP, UnidadeVenda, NomeFornecedor, "
                                                  "CodigoBarras, Cambio, Codigo from Produtos where Codigo='") +
                                   QString(codigo).replace(u'\'', QStringLiteral("''")) + u'\'');
        return r.empty() ? std::vector<Variant>{} : r.front();
    }
    QString status(const QString& codigo) const {
        const auto r = staged(codigo);
        if (r.empty()) return QStringLiteral("<absent>");
        return r[0].isNull() ? QStringLiteral("<null>") : r[0].toString();
    }
    int count() const { return db_.stagingScalar(QStringLiteral("select count(*) from Produtos")).toInt32(); }
    void resetLetters() const { db_.execStaging(QStringLiteral("update Produtos set Status=''")); }
    std::vector<std::vector<Variant>> logRows() const {
        return db_.staging(QStringLiteral("select Opcao, Texto from LogGeral order by NumRegisto"));
    }

    testsupport::RunDatabases db_;
    testsupport::RecordingRunHost host_;
    clsVelmora velmora_;
};

}  // namespace

TEST_F(ProcessaProdutosTest, RulesStageNewProductsOnceWithTheirFields) {
    db_.company.addFornecedor(QStringLiteral("F1"), "Fornecedor Um");
    db_.company.addProduto({.codigo = "P1", .descricao = "Parafuso", .unidadeVenda = "UN", .grupo = "G1",
                            .forneceExterno = "F1", .precoVenda = {eur("1.5"), eur("2.25"), eur("3")}});
    db_.company.addProduto({.codigo = "P2", .descricao = "Porca", .unidadeVenda = "CX", .grupo = "G2",
                            .forneceExterno = "F9", .precoVenda = {eur("0.1"), eur("0.2")}});
    db_.company.addProduto({.codigo = "P0", .descricao = "Modelo", .precoVenda = {eur("9")}, .numRegisto = 0});

    // No rule: nothing comes in.
    run();
    EXPECT_EQ(count(), 0);

    // One rule with every field blank: every product with a record number, at level 1.
    db_.addLigaProduto({});
    run();
    EXPECT_EQ(count(), 2);
    const auto p1 = staged(QStringLiteral("P1"));
    ASSERT_FALSE(p1.empty());
    EXPECT_EQ(p1[0].toString(), QStringLiteral("N"));
    EXPECT_TRUE(p1[1].isNull());  // not active until a sales line refers to it
    EXPECT_EQ(p1[2].toString(), QStringLiteral("Parafuso"));
    EXPECT_EQ(p1[3].toCurrency(), eur("1.5"));
    EXPECT_EQ(p1[4].toString(), QStringLiteral("UN"));
    EXPECT_EQ(p1[5].toString(), QStringLiteral("Fornecedor Um"));
    EXPECT_EQ(p1[6].toString(), QStringLiteral("P1"));
    EXPECT_EQ(p1[7].toString(), QStringLiteral("EUR"));
    // A supplier without a Fornece row leaves the name Null.
    EXPECT_TRUE(staged(QStringLiteral("P2"))[5].isNull());
    EXPECT_EQ(status(QStringLiteral("P0")), QStringLiteral("<absent>"));

    // A second run stages nothing twice and, with nothing changed, keeps the letters.
    run();
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(status(QStringLiteral("P2")), QStringLiteral("N"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_TRUE(logRows().empty());
}

TEST_F(ProcessaProdutosTest, EachRuleRowFiltersOnlyOnItsOwnFields) {
    db_.company.addProduto({.codigo = "A", .descricao = "a", .grupo = "G1", .familia = "F1", .subfamilia = "S1",
                            .forneceExterno = "X", .precoVenda = {eur("1"), eur("10")}});
    db_.company.addProduto({.codigo = "B", .descricao = "b", .grupo = "G1", .familia = "F2", .subfamilia = "S1",
                            .forneceExterno = "X", .precoVenda = {eur("2"), eur("20")}});
    db_.company.addProduto({.codigo = "C", .descricao = "c", .grupo = "G1", .familia = "F1", .subfamilia = "S2",
                            .forneceExterno = "Y", .precoVenda = {eur("3"), eur("30")}});
    db_.company.addProduto({.codigo = "D", .descricao = "d", .grupo = "G2", .familia = "F1", .subfamilia = "S1",
                            .forneceExterno = "X", .precoVenda = {eur("4"), eur("40")}});

    // Group, family and sub-family together.
    db_.addLigaProduto({.grupo = "G1", .familia = "F1", .subfamilia = "S1", .pvp = "2"});
    run();
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(staged(QStringLiteral("A"))[3].toCurrency(), eur("10"));

    // A later row with a blank group and family filters on its supplier only; the first row's
    // conditions do not carry over.
    db_.addLigaProduto({.fornecedor = "X", .pvp = " "});
    run();
    EXPECT_EQ(count(), 3);
    EXPECT_EQ(status(QStringLiteral("C")), QStringLiteral("<absent>"));
    EXPECT_EQ(staged(QStringLiteral("B"))[3].toCurrency(), eur("2"));  // blank level = level 1
    EXPECT_EQ(staged(QStringLiteral("D"))[3].toCurrency(), eur("4"));
    // A, selected by both rows, keeps the price of the first row and is not marked changed.
    EXPECT_EQ(staged(QStringLiteral("A"))[3].toCurrency(), eur("10"));
    EXPECT_EQ(status(QStringLiteral("A")), QStringLiteral("N"));
}

TEST_F(ProcessaProdutosTest, ReCheckMarksChangedAndGoneProducts) {
    db_.company.addProduto({.codigo = "DESC", .descricao = "Velho", .precoVenda = {eur("1")}});
    db_.company.addProduto({.codigo = "PRECO", .descricao = "p", .precoVenda = {eur("1")}});
    db_.company.addProduto({.codigo = "UNID", .descricao = "u", .unidadeVenda = "UN", .precoVenda = {eur("1")}});
    db_.company.addProduto({.codigo = "CASO", .descricao = "abc", .precoVenda = {eur("1")}});
    db_.company.addProduto({.codigo = "BRANCO", .descricao = "x", .precoVenda = {eur("1")}});
    db_.company.addProduto({.codigo = "IGUAL", .descricao = "same", .precoVenda = {eur("1")}});
    db_.company.addProduto({.codigo = "FORA", .descricao = "f", .grupo = "G1", .precoVenda = {eur("1")}});
    db_.company.addProduto({.codigo = "NULO", .descricao = "n", .precoVenda = {eur("1")}});
    db_.company.addProduto({.codigo = "APAGADO", .descricao = "gone", .precoVenda = {eur("1")}});
    db_.company.addProduto({.codigo = "NOVO", .descricao = "n", .unidadeVenda = "UN", .precoVenda = {eur("1")}});
    db_.addLigaProduto({});
    run();
    EXPECT_EQ(count(), 10);
    resetLetters();
    // Staged and never sent (its run stopped before the letters were reset): still new.
    db_.execStaging(QStringLiteral("update Produtos set Status='N' where Codigo='NOVO'"));
    db_.execStaging(QStringLiteral("update Produtos set Descricao=NULL where Codigo='NULO'"));

    auto set = [&](const char* codigo, const char* coluna, const Variant& v) {
        db_.company.setCampo(QStringLiteral("Produtos"), QString::fromLatin1(codigo), QString::fromLatin1(coluna), v);
    };
    set("DESC", "Descricao", "Novo");
    set("PRECO", "PrecoVenda1", eur("1.01"));
    set("UNID", "UnidadeVenda", "KG");
    set("CASO", "Descricao", "ABC");      // case counts
    set("BRANCO", "Descricao", "x ");     // a trailing blank counts
    set("FORA", "Grupo", "G9");           // moved out of every rule, still compared
    set("FORA", "Descricao", "moved");
    set("NULO", "Descricao", "agora");    // a Null in staging is never overwritten
    db_.company.removeProduto(QStringLiteral("APAGADO"));
    set("NOVO", "Descricao", "Outro");
    set("NOVO", "PrecoVenda1", eur("2.5"));
    set("NOVO", "UnidadeVenda", "KG");
    db_.execStaging(QStringLiteral("delete from LigaProdutos"));
    db_.addLigaProduto({.grupo = "G1"});

    run();
    EXPECT_EQ(status(QStringLiteral("DESC")), QStringLiteral("A"));
    EXPECT_EQ(staged(QStringLiteral("DESC"))[2].toString(), QStringLiteral("Novo"));
    EXPECT_EQ(status(QStringLiteral("PRECO")), QStringLiteral("A"));
    EXPECT_EQ(staged(QStringLiteral("PRECO"))[3].toCurrency(), eur("1.01"));
    EXPECT_EQ(status(QStringLiteral("UNID")), QStringLiteral("A"));
    EXPECT_EQ(staged(QStringLiteral("UNID"))[4].toString(), QStringLiteral("KG"));
    EXPECT_EQ(status(QStringLiteral("CASO")), QStringLiteral("A"));
    EXPECT_EQ(staged(QStringLiteral("CASO"))[2].toString(), QStringLiteral("ABC"));
    EXPECT_EQ(status(QStringLiteral("BRANCO")), QStringLiteral("A"));
    EXPECT_EQ(staged(QStringLiteral("BRANCO"))[2].toString(), QStringLiteral("x "));
    EXPECT_EQ(status(QStringLiteral("IGUAL")), QStringLiteral(""));
    EXPECT_EQ(status(QStringLiteral("FORA")), QStringLiteral("A"));
    EXPECT_EQ(staged(QStringLiteral("FORA"))[2].toString(), QStringLiteral("moved"));
    EXPECT_EQ(status(QStringLiteral("NULO")), QStringLiteral(""));
    EXPECT_TRUE(staged(QStringLiteral("NULO"))[2].isNull());
    EXPECT_EQ(status(QStringLiteral("APAGADO")), QStringLiteral("E"));
    // A product still new takes every change and stays new: the receiver has never had it.
    EXPECT_EQ(status(QStringLiteral("NOVO")), QStringLiteral("N"));
    EXPECT_EQ(staged(QStringLiteral("NOVO"))[2].toString(), QStringLiteral("Outro"));
    EXPECT_EQ(staged(QStringLiteral("NOVO"))[3].toCurrency(), eur("2.5"));
    EXPECT_EQ(staged(QStringLiteral("NOVO"))[4].toString(), QStringLiteral("KG"));

    // A product gone from the company database is marked again at every run while it stays.
    resetLetters();
    run();
    EXPECT_EQ(status(QStringLiteral("APAGADO")), QStringLiteral("E"));
    EXPECT_EQ(status(QStringLiteral("DESC")), QStringLiteral(""));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaProdutosTest, PriceLevelOfTheRuleThatSelectedTheProduct) {
    db_.company.addProduto({.codigo = "A", .descricao = "a", .grupo = "G1", .precoVenda = {eur("1"), eur("2"), eur("3")}});
    db_.company.addProduto({.codigo = "B", .descricao = "b", .grupo = "G2", .precoVenda = {eur("1"), eur("2"), eur("3")}});
    db_.addLigaProduto({.grupo = "G1", .pvp = "3"});
    db_.addLigaProduto({.grupo = "G2", .pvp = "2"});
    run();
    // Each product is staged and re-checked at its own rule's level: neither is marked changed.
    EXPECT_EQ(staged(QStringLiteral("A"))[3].toCurrency(), eur("3"));
    EXPECT_EQ(staged(QStringLiteral("B"))[3].toCurrency(), eur("2"));
    EXPECT_EQ(status(QStringLiteral("A")), QStringLiteral("N"));
    EXPECT_EQ(status(QStringLiteral("B")), QStringLiteral("N"));

    // A change of the level-3 price is seen for A; the level-2 price of A does not matter.
    resetLetters();
    db_.company.setCampo(QStringLiteral("Produtos"), QStringLiteral("A"), QStringLiteral("PrecoVenda2"), eur("7"));
    run();
    EXPECT_EQ(status(QStringLiteral("A")), QStringLiteral(""));
    db_.company.setCampo(QStringLiteral("Produtos"), QStringLiteral("A"), QStringLiteral("PrecoVenda3"), eur("3.5"));
    run();
    EXPECT_EQ(status(QStringLiteral("A")), QStringLiteral("A"));
    EXPECT_EQ(staged(QStringLiteral("A"))[3].toCurrency(), eur("3.5"));

    // Without any rule there is no price level: the description is still compared, the price
    // is not, and nothing fails.
    resetLetters();
    db_.execStaging(QStringLiteral("delete from LigaProdutos"));
    db_.company.setCampo(QStringLiteral("Produtos"), QStringLiteral("B"), QStringLiteral("PrecoVenda1"), eur("99"));
    db_.company.setCampo(QStringLiteral("Produtos"), QStringLiteral("B"), QStringLiteral("Descricao"), "bb");
    run();
    EXPECT_EQ(status(QStringLiteral("B")), QStringLiteral("A"));
    EXPECT_EQ(staged(QStringLiteral("B"))[2].toString(), QStringLiteral("bb"));
    EXPECT_EQ(staged(QStringLiteral("B"))[3].toCurrency(), eur("2"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaProdutosTest, ApostrophesInCodesAndRuleValues) {
    db_.company.addFornecedor(QStringLiteral("D'AL"), "D'Almeida & Filhos");
    db_.company.addProduto({.codigo = "O'NEILL", .descricao = "Pé d'água", .forneceExterno = "D'AL",
                            .precoVenda = {eur("5")}});
    db_.addLigaProduto({.fornecedor = "D'AL"});
    run();
    ASSERT_EQ(status(QStringLiteral("O'NEILL")), QStringLiteral("N"));
    EXPECT_EQ(staged(QStringLiteral("O'NEILL"))[2].toString(), QStringLiteral("Pé d'água"));
    EXPECT_EQ(staged(QStringLiteral("O'NEILL"))[5].toString(), QStringLiteral("D'Almeida & Filhos"));

    // The re-check finds it again (not "E") and sees a change.
    resetLetters();
    db_.company.setCampo(QStringLiteral("Produtos"), QStringLiteral("O'NEILL"), QStringLiteral("UnidadeVenda"), "CX");
    run();
    EXPECT_EQ(status(QStringLiteral("O'NEILL")), QStringLiteral("A"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaProdutosTest, ErrorsEndTheStepThroughItsTrap) {
    db_.company.addProduto({.codigo = "BOM", .descricao = "ok", .precoVenda = {eur("1")}});
    db_.addLigaProduto({});
    run();
    ASSERT_EQ(count(), 1);

    // A selected product whose price is Null is staged at 0: a Null amount stops no step.
    db_.company.addProduto({.codigo = "SEMPRECO", .descricao = "x", .precoVenda = {Variant::null()}});
    run();
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(db_.stagingScalar("select PVP from Produtos where Codigo='SEMPRECO'").toString(), QStringLiteral("0"));

    // A description wider than the staging column is refused by the database: the step ends
    // through its trap, with a log row naming the product, the pointer back and a message.
    db_.company.removeProduto(QStringLiteral("SEMPRECO"));
    db_.company.removeProduto(QStringLiteral("BOM"));
    db_.company.addProduto({.codigo = "LONGO", .descricao = Variant(QString(81, u'd')), .precoVenda = {eur("1")}});
    host_.pointerBusy = true;
    run();
    EXPECT_EQ(host_.criticalMessages, QStringList{QStringLiteral("Falha no Processo")});
    EXPECT_FALSE(host_.pointerBusy);
    auto log = logRows();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][0].toString(), QStringLiteral("Função Processa Produtos"));
    EXPECT_EQ(log[0][1].toString().toStdString(), "String or binary data would be truncated. (Produto LONGO)");
    EXPECT_EQ(status(QStringLiteral("LONGO")), QStringLiteral("<absent>"));
    // The re-check was not reached: the product gone from the company keeps its letter.
    EXPECT_EQ(status(QStringLiteral("BOM")), QStringLiteral("N"));

    // A rule field holding Null instead of text.
    db_.company.removeProduto(QStringLiteral("LONGO"));
    db_.execStaging(QStringLiteral("update LigaProdutos set Grupo=NULL"));
    run();
    EXPECT_EQ(host_.criticalMessages.size(), 2);
    EXPECT_EQ(logRows().size(), 2u);

    // A level that names no price column.
    db_.execStaging(QStringLiteral("update LigaProdutos set Grupo='', PVP='9'"));
    run();
    EXPECT_EQ(host_.criticalMessages.size(), 3);
}
