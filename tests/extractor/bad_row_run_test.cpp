// Whole runs over a company database as real ones are: one bad row (a Null amount, a value too
// wide for its field, a line without an identity, a code outside the code page, a code too wide
// for its staged column) beside clean rows. Every clean row must reach exactly one file, the bad
// one is handled as the run promises, and every failure row names its record.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <utility>
#include <vector>

#include "extractor/MainMod_configuracao.h"
#include "extractor/PeriodoAutomatico.h"
#include "extractor/clsVelmora.h"
#include "support/export_records.h"
#include "support/run_fixture.h"

namespace {

using data::Currency;
using data::Variant;

using testsupport::eur;

class BadRowRun : public testsupport::RunFixture {
protected:
    void SetUp() override {
        db_.setExport(dir_.path());
        Configuracao().gstrEmailTo.clear();
        auto& c = db_.company;
        c.addPostal("1000-001", "LISBOA");
        c.addTipoMov("FT", "D");
        db_.addLigaProduto({});
        db_.addLigaCliente({});
        db_.addLigaMovimento({.mascara = "V", .tipo = "FT"});
    }
    void cliente(const QString& codigo) {
        db_.company.addCliente({.codigo = codigo, .descricao = "Cliente " + codigo, .codPost = "1000-001"});
    }
    void produto(const QString& codigo, const Variant& preco = eur("2")) {
        db_.company.addProduto({.codigo = codigo, .descricao = "Produto " + codigo, .precoVenda = {preco}});
    }
    void linha(const QString& id, const QString& prod, const QString& cli, const char* data = "2017-03-01") {
        db_.company.addLinha({.identifica = id, .codigo = prod, .terceiro = cli, .tipo = "FT", .data = data});
    }

    // An automatic run over the period the scheduler would give it today.
    void automatico() {
        clsVelmora v;
        const QString inicio = inicioDoPeriodoAutomatico(testsupport::RunDay::instant().date());
        v.Processa(*db_.geral, *db_.gestao, inicio, "2017-03-07", 3, host_, false);
        ficheiros_.push_back(ficheiro());
    }
    QByteArray ficheiro() const {
        QFile f(dir_.path() + QStringLiteral("/NRT170307.MOV"));
        const QByteArray b = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        f.remove();
        return b;
    }
    // The records of every file so far that hold the text.
    int registosCom(const QByteArray& registo) const {
        int n = 0;
        for (const QByteArray& f : ficheiros_) {
            for (const QByteArray& r : testsupport::registos(f)) {
                if (r.contains(registo)) ++n;
            }
        }
        return n;
    }
    // The log rows whose label starts so.
    Rows linhas(const QString& rotulo) const {
        Rows out;
        for (const auto& r : db_.logRows()) {
            if (r.first.startsWith(rotulo)) out.push_back(r);
        }
        return out;
    }

    std::vector<QByteArray> ficheiros_;
};

// ---------------------------------------------------------------------------------------------
// An import stopped by one bad row holds the period until the row is mended

TEST_F(BadRowRun, AProductOrCustomerImportStoppedByOneRowHoldsThePeriodForItsLines) {
    struct Caso {
        const char* nome;
        const char* rotulo;
        const char* registo;
    };
    // A product code wider than the staged column, and a customer without a code, each before
    // the clean rows in the company's order.
    for (const Caso& caso : {Caso{"produto", "Função Processa Produtos", "(Produto P1234567890123456)"},
                             Caso{"cliente", "Função Processa Clientes", "(Cliente "}}) {
        SCOPED_TRACE(caso.nome);
        for (const char* t : {"Clientes", "Produtos", "MovProduto"}) db_.company.exec(QStringLiteral("delete from ") + t);
        for (const char* t : {"Clientes", "Produtos", "Movimentos", "LogGeral"}) db_.execStaging(QStringLiteral("delete from ") + t);
        ficheiros_.clear();
        db_.program.set("Extractor", "P11", "2017-03-01 09:00:00");
        db_.program.set("Extractor", kInicioMovimentos, "2017-03-01 09:00:00");
        if (QByteArray(caso.nome) == "produto") {
            produto("P1234567890123456");
        } else {
            cliente("C0");
            db_.company.exec("update Clientes set Codigo=NULL where Codigo='C0'");
        }
        produto("P1");
        cliente("C2");
        linha("L1", "P1", "C2", "2017-03-02");

        automatico();
        const Rows falhas = linhas(QStringLiteral("Função"));
        ASSERT_EQ(falhas.size(), 1u);
        EXPECT_EQ(falhas[0].first, QString::fromUtf8(caso.rotulo));
        EXPECT_TRUE(falhas[0].second.contains(QString::fromLatin1(caso.registo))) << falhas[0].second.toStdString();
        EXPECT_EQ(db_.stagingScalar("select count(*) from Movimentos").toInt32(), 0);
        EXPECT_EQ(LerIni("Extractor", kInicioMovimentos), QStringLiteral("2017-03-01 09:00:00"));

        // Mended, the next run reads the days again and the line reaches one file.
        db_.company.exec("update Produtos set Codigo='P2' where Codigo='P1234567890123456'");
        db_.company.exec("update Clientes set Codigo='C0' where Codigo is null");
        db_.execStaging(QStringLiteral("delete from LogGeral"));
        automatico();
        EXPECT_TRUE(linhas(QStringLiteral("Função")).empty());
        EXPECT_EQ(registosCom("1 301 20170302"), 1);
        EXPECT_EQ(LerIni("Extractor", kInicioMovimentos), QStringLiteral("2017-03-07 14:05:09"));
        automatico();
        EXPECT_EQ(registosCom("1 301 20170302"), 1);
    }
}

// ---------------------------------------------------------------------------------------------
// Nulls where the run reads an amount, a price or a quantity

TEST_F(BadRowRun, NullAmountsCountAsZeroAndANullDiscountIsNoDiscount) {
    produto("P1", Variant::null());  // no price at its level
    produto("P2");
    cliente("C1");
    linha("L1", "P2", "C1");
    db_.company.exec("update MovProduto set QuantNormal=NULL where Identifica='L1'");
    linha("L2", "P2", "C1");
    db_.company.exec("update MovProduto set ValorIliq=1, TotalDesconto=NULL where Identifica='L2'");
    linha("L3", "P1", "C1");

    automatico();
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << host_.criticalMessages.join('|').toStdString();
    const std::vector<QByteArray> rs = testsupport::registos(ficheiros_.back());
    // P1 at 0, L1 with no quantity, L2 a sale of 1.00 (not an offer of 0), L3 whole.
    ASSERT_EQ(rs.size(), 8u);
    EXPECT_EQ(rs[2].mid(126, 13), "000000000000 ");
    EXPECT_EQ(rs[3].mid(126, 13), "000000000200 ");
    int vendas = 0;
    for (const QByteArray& r : rs) {
        if (!r.startsWith("1 30")) continue;
        ++vendas;
        const QByteArray quantidade = r.mid(45, 13);
        const QByteArray valor = r.mid(58, 13);
        EXPECT_TRUE((quantidade == "000000000000 " && valor == "000000001000 ") ||
                    (quantidade == "000000000100 " && valor == "000000000100 ") ||
                    (quantidade == "000000000100 " && valor == "000000001000 "))
            << r.constData();
    }
    EXPECT_EQ(vendas, 3);
    EXPECT_EQ(db_.stagingScalar("select Mascara from Movimentos where Chave='L2'").toString(), "V");
    EXPECT_EQ(db_.stagingScalar("select Valor from Movimentos where Chave='L2'").toCurrency(), eur("1"));
    EXPECT_TRUE(rs.back().endsWith("            2100"));

    // Staged amounts left Null by another tool are written as 0, not a stop of every export.
    db_.execStaging("update Movimentos set Quantidade=NULL, Valor=NULL, Status='A' where Chave='L3'");
    db_.execStaging("update Produtos set PVP=NULL, Status='A' where Codigo='P2'");
    automatico();
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_EQ(testsupport::registos(ficheiros_.back()).size(), 4u);
}

// ---------------------------------------------------------------------------------------------
// A value too wide for its field stops the export, names the record, and mails nothing

TEST_F(BadRowRun, AValueTooWideForItsFieldNamesItsRecordAndTheMailSendsNoMissingFile) {
    produto("P1");
    cliente("C1");
    linha("L1", "P1", "C1");
    linha("L2", "P1", "C1");
    db_.company.exec("update MovProduto set ValorIliq=12345678901.99 where Identifica='L2'");
    Configuracao().gstrEmailTo = "a@norta.pt";

    automatico();
    EXPECT_TRUE(ficheiros_.back().isEmpty());
    EXPECT_EQ(linhas(QStringLiteral("Função")),
              (Rows{{"Função Cria Ficheiro", "Overflow (Movimento Chave L2, campo Valor)"}}));
    EXPECT_TRUE(mail_.calls.empty());
    const Rows envio = linhas(QStringLiteral("Envio de Email"));
    ASSERT_EQ(envio.size(), 1u);
    EXPECT_EQ(envio[0].first, "Envio de Email - Form_Activate");
    EXPECT_EQ(envio[0].second, "Não foi possível enviar E-mail\r\rFile not found: " + dir_.path() + "/NRT170307.MOV");
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Em Curso"));

    // Mended in the staging database, the next file carries the clean line and the mended one.
    db_.execStaging("update Movimentos set Valor=1 where Chave='L2'");
    db_.execStaging("delete from LogGeral");
    automatico();
    EXPECT_EQ(registosCom("1 301 20170301"), 2);
    ASSERT_EQ(mail_.calls.size(), 1u);
    EXPECT_TRUE(mail_.calls[0].fileThere);
}

// ---------------------------------------------------------------------------------------------
// A line without an identity is never staged

TEST_F(BadRowRun, ALineWithoutAnIdentityIsNamedOnceAndNeverSentAsGone) {
    produto("P1");
    produto("P9");
    cliente("C1");
    linha("L1", "P1", "C1");
    // Two lines of one document, both without an identity.
    for (int i = 0; i < 2; ++i) {
        db_.company.addLinha({.identifica = "SEM", .codigo = "P9", .terceiro = "C1", .tipo = "FT",
                              .data = "2017-03-02", .numero = "77"});
        db_.company.exec("update MovProduto set Identifica=NULL where Identifica='SEM'");
    }

    automatico();
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_EQ(db_.stagingScalar("select count(*) from Movimentos").toInt32(), 1);
    EXPECT_EQ(linhas(QStringLiteral("Movimento não importado")),
              (Rows{{"Movimento não importado", "Linha sem Identifica: Tipo FT, Numero 77, Ano 2017"}}));
    const std::vector<QByteArray> rs = testsupport::registos(ficheiros_.back());
    int gone = 0;
    for (const QByteArray& r : rs) {
        if (r.startsWith("1 303") || r.startsWith("1 313")) ++gone;
    }
    EXPECT_EQ(gone, 0);
    EXPECT_EQ(registosCom("1 301 20170301"), 1);
    EXPECT_EQ(registosCom("Produto P9"), 0) << "P9 was made active by a line that was not staged";
}

// ---------------------------------------------------------------------------------------------
// Codes outside the code page stay apart

TEST_F(BadRowRun, CodesOutsideTheCodePageTakeTheirBestFitAndStayApart) {
    produto(QStringLiteral("PŁ3"));
    produto(QStringLiteral("PŚ3"));
    cliente(QStringLiteral("Ż01"));
    cliente(QStringLiteral("Ś01"));
    db_.company.exec(QStringLiteral("update Clientes set local='Łódź', Descricao='Jose\u0301' where Codigo='Ż01'"));
    linha("L1", QStringLiteral("PŁ3"), QStringLiteral("Ż01"));
    linha("L2", QStringLiteral("PŚ3"), QStringLiteral("Ś01"));

    automatico();
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    const std::vector<QByteArray> rs = testsupport::registos(ficheiros_.back());
    ASSERT_EQ(rs.size(), 8u);
    // Customers and products in either order (the collation orders the letters), each apart.
    QList<QByteArray> clientes, produtos, vendas;
    for (const QByteArray& r : rs) {
        if (r.startsWith("1 011 ")) clientes << r.mid(6, 10) + '|' + r.mid(16, 5) + '|' + r.mid(256, 5);
        if (r.startsWith("1 101 ")) produtos << r.mid(6, 15);
        if (r.startsWith("1 30")) vendas << r.mid(20, 25);
    }
    std::sort(clientes.begin(), clientes.end());
    std::sort(produtos.begin(), produtos.end());
    std::sort(vendas.begin(), vendas.end());
    EXPECT_EQ(clientes, (QList<QByteArray>{"S01       |Clien|     ", "Z01       |Jos\xE9 |L\xF3" "dz "}));
    EXPECT_EQ(produtos, (QList<QByteArray>{"PL3            ", "PS3            "}));
    EXPECT_EQ(vendas, (QList<QByteArray>{"S01       PS3            ", "Z01       PL3            "}));
}

// ---------------------------------------------------------------------------------------------
// Every failure row names its record

TEST_F(BadRowRun, TheSalesLineImportsTrapNamesTheLineItStoppedOn) {
    produto("P1");
    cliente("C1");
    linha("L1", "P1", "C1");
    db_.company.addLinha({.identifica = "L2", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-02",
                          .vendedor = "LONGO"});  // wider than the staged seller code
    db_.program.set("Extractor", kInicioMovimentos, "2017-03-01 09:00:00");
    automatico();
    EXPECT_EQ(linhas(QStringLiteral("Função")),
              (Rows{{"Função Processa Movimentos", "String or binary data would be truncated. (Linha Identifica L2)"}}));
    EXPECT_EQ(LerIni("Extractor", kInicioMovimentos), QStringLiteral("2017-03-01 09:00:00"));
}

}  // namespace
