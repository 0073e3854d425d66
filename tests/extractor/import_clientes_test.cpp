// The customer import against an embedded company database and a staging database made by the
// schema routine: which customers the rules stage, the built postal code, and the re-check.
#include <gtest/gtest.h>

#include "data/connection.h"
#include "extractor/clsVelmora.h"
#include "support/clsvelmora_access.h"
#include "support/company_db.h"
#include "support/recording_run_host.h"

using data::Variant;
using testsupport::ClienteEmpresa;
using testsupport::LigaCliente;

namespace {

// The staged columns, in this order.
enum Col { Status, Activo, Descricao, Designacao, Contribuinte, BI_NIPC, Morada, Localidade, Distrito, Concelho,
           CodPost, Pais, Segmento };

class ProcessaClientesTest : public ::testing::Test {
protected:
    void run() { clsVelmoraTestAccess::ProcessaClientes(velmora_, *db_.geral, *db_.gestao, host_); }

    std::vector<Variant> staged(const QString& codigo) const {
        const auto r = db_.staging(
            QStringLiteral("select Status, Activo, Descricao, Designacao, Contribuinte, BI_NIPC, Morada, Localidade, "
                           "Distrito, Concelho, CodPost, Pais, Segmento from Clientes where Codigo='") +
            QString(codigo).replace(u'\'', QStringLiteral("''")) + u'\'');
        return r.empty() ? std::vector<Variant>{} : r.front();
    }
    QString field(const QString& codigo, Col c) const {
        const auto r = staged(codigo);
        if (r.empty()) return QStringLiteral("<absent>");
        return r[c].isNull() ? QStringLiteral("<null>") : r[c].toString();
    }
    QString status(const QString& codigo) const { return field(codigo, Status); }
    int count() const { return db_.stagingScalar(QStringLiteral("select count(*) from Clientes")).toInt32(); }
    void resetLetters() const { db_.execStaging(QStringLiteral("update Clientes set Status=''")); }
    std::vector<std::vector<Variant>> logRows() const {
        return db_.staging(QStringLiteral("select Opcao, Texto from LogGeral order by NumRegisto"));
    }
    void set(const QString& codigo, const char* coluna, const Variant& v) {
        db_.company.setCampo(QStringLiteral("Clientes"), codigo, QString::fromLatin1(coluna), v);
    }

    testsupport::RunDatabases db_;
    testsupport::RecordingRunHost host_;
    clsVelmora velmora_;
};

}  // namespace

TEST_F(ProcessaClientesTest, RulesStageCustomersWithAKnownPostalCode) {
    db_.company.addPostal(QStringLiteral("1000-001"), "LISBOA");
    db_.company.addCliente({.codigo = "C1", .descricao = "Ana Lda", .contribuinte = "500100200", .morada = "Rua A",
                            .local = "Lisboa", .codPost = "1000-001", .pais = "PT", .distrito = "Lisboa"});
    db_.company.addCliente({.codigo = "SEMCP", .descricao = "Sem postal", .codPost = "9999-999"});
    db_.company.addCliente({.codigo = "NULOCP", .descricao = "Sem código"});
    db_.company.addCliente({.codigo = "ZERO", .descricao = "Modelo", .codPost = "1000-001", .numRegisto = 0});

    run();
    EXPECT_EQ(count(), 0);

    db_.addLigaCliente({});
    run();
    EXPECT_EQ(count(), 1);
    const auto c = staged(QStringLiteral("C1"));
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c[Status].toString(), QStringLiteral("N"));
    EXPECT_EQ(c[Activo].toInt32(), 0);
    EXPECT_EQ(c[Descricao].toString(), QStringLiteral("Ana Lda"));
    EXPECT_EQ(c[Designacao].toString(), QStringLiteral("Ana Lda"));
    EXPECT_EQ(c[Contribuinte].toString(), QStringLiteral("500100200"));
    EXPECT_EQ(field(QStringLiteral("C1"), BI_NIPC), QStringLiteral(""));
    EXPECT_EQ(c[Morada].toString(), QStringLiteral("Rua A"));
    EXPECT_EQ(c[Localidade].toString(), QStringLiteral("Lisboa"));
    EXPECT_EQ(c[Distrito].toString(), QStringLiteral("Lisboa"));
    EXPECT_EQ(field(QStringLiteral("C1"), Concelho), QStringLiteral(""));
    EXPECT_EQ(c[CodPost].toString(), QStringLiteral("1000 - 001 LISBOA"));
    EXPECT_EQ(c[Pais].toString(), QStringLiteral("PT"));
    EXPECT_EQ(field(QStringLiteral("C1"), Segmento), QStringLiteral(""));

    // A second run with nothing changed stages nothing twice and keeps the letter.
    run();
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(status(QStringLiteral("C1")), QStringLiteral("N"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaClientesTest, PostalCodeIsRebuiltForTheExport) {
    db_.company.addPostal(QStringLiteral(" 1000 - 001 "), "LISBOA");
    db_.company.addPostal(QStringLiteral("4000001"), "PORTO");
    db_.company.addPostal(QStringLiteral("12"), "CURTO");
    db_.company.addPostal(QStringLiteral("3000-100"), Variant::null());
    db_.company.addCliente({.codigo = "BLANK", .descricao = "a", .codPost = " 1000 - 001 "});
    db_.company.addCliente({.codigo = "SETE", .descricao = "b", .codPost = "4000001"});
    db_.company.addCliente({.codigo = "CURTO", .descricao = "c", .codPost = "12"});
    db_.company.addCliente({.codigo = "SEMNOME", .descricao = "d", .codPost = "3000-100"});
    db_.addLigaCliente({});
    run();
    EXPECT_EQ(field(QStringLiteral("BLANK"), CodPost), QStringLiteral("1000 - 001 LISBOA"));
    EXPECT_EQ(field(QStringLiteral("SETE"), CodPost), QStringLiteral("4000 - 01 PORTO"));
    EXPECT_EQ(field(QStringLiteral("CURTO"), CodPost), QStringLiteral("12 -  CURTO"));
    EXPECT_EQ(field(QStringLiteral("SEMNOME"), CodPost), QStringLiteral("3000 - 100 "));
}

TEST_F(ProcessaClientesTest, EachRuleRowFiltersOnlyOnItsOwnFields) {
    db_.company.addPostal(QStringLiteral("1000-001"), "LISBOA");
    auto add = [&](const char* codigo, const char* g, const char* f, const char* s) {
        db_.company.addCliente({.codigo = QString::fromLatin1(codigo), .descricao = "x", .codPost = "1000-001",
                                .grupo = g, .familia = f, .subfamilia = s});
    };
    add("A", "G1", "F1", "S1");
    add("B", "G1", "F2", "S1");
    add("C", "G2", "F1", "S2");
    add("D", "G2", "F3", "S1");

    db_.addLigaCliente({.grupo = "G1", .familia = "F1", .subfamilia = "S1"});
    run();
    EXPECT_EQ(count(), 1);

    // A later row with a blank group and family filters on its sub-family only.
    db_.addLigaCliente({.grupo = "  ", .subfamilia = "S1"});
    run();
    EXPECT_EQ(count(), 3);
    EXPECT_EQ(status(QStringLiteral("C")), QStringLiteral("<absent>"));
    EXPECT_EQ(status(QStringLiteral("D")), QStringLiteral("N"));

    // A family rule: C is new; A, selected by three rows now, is still staged once.
    db_.addLigaCliente({.familia = "F1"});
    run();
    EXPECT_EQ(count(), 4);
    EXPECT_EQ(db_.stagingScalar(QStringLiteral("select count(*) from Clientes where Codigo='A'")).toInt32(), 1);
}

TEST_F(ProcessaClientesTest, ReCheckComparesNameTaxNumberAddressAndTown) {
    db_.company.addPostal(QStringLiteral("1000-001"), "LISBOA");
    db_.company.addPostal(QStringLiteral("2000-002"), "SANTARÉM");
    for (const char* c :
         {"NOME", "NIF", "MORADA", "LOCAL", "POSTAL", "IGUAL", "NULO", "EMPNULO", "FORA", "APAGADO", "NOVO"}) {
        db_.company.addCliente({.codigo = QString::fromLatin1(c), .descricao = "Nome", .contribuinte = "123",
                                .morada = "Rua", .local = "Terra", .codPost = "1000-001", .pais = "PT",
                                .distrito = "D", .grupo = "G1"});
    }
    db_.addLigaCliente({.grupo = "G1"});
    run();
    ASSERT_EQ(count(), 11);
    resetLetters();
    db_.execStaging(QStringLiteral("update Clientes set Morada=NULL where Codigo='NULO'"));
    // Staged and never sent (its run stopped before the letters were reset): still new.
    db_.execStaging(QStringLiteral("update Clientes set Status='N' where Codigo='NOVO'"));

    set(QStringLiteral("NOME"), "Descricao", "Nome Novo");
    set(QStringLiteral("NIF"), "Contribuinte", "124");
    set(QStringLiteral("MORADA"), "Morada", "rua");  // case counts
    set(QStringLiteral("LOCAL"), "local", "Terra ");  // a trailing blank counts
    set(QStringLiteral("POSTAL"), "CodPost", "2000-002");
    set(QStringLiteral("POSTAL"), "Pais", "ES");
    set(QStringLiteral("POSTAL"), "Distrito", "X");
    set(QStringLiteral("NULO"), "Morada", "Rua Nova");
    set(QStringLiteral("EMPNULO"), "Contribuinte", Variant::null());
    set(QStringLiteral("FORA"), "Grupo", "G9");
    set(QStringLiteral("FORA"), "Descricao", "Mudou");
    db_.company.removeCliente(QStringLiteral("APAGADO"));
    set(QStringLiteral("NOVO"), "Descricao", "Novo Nome");
    set(QStringLiteral("NOVO"), "Contribuinte", "999");
    set(QStringLiteral("NOVO"), "Morada", "Avenida");
    set(QStringLiteral("NOVO"), "local", "Vila");

    run();
    EXPECT_EQ(status(QStringLiteral("NOME")), QStringLiteral("A"));
    EXPECT_EQ(field(QStringLiteral("NOME"), Descricao), QStringLiteral("Nome Novo"));
    EXPECT_EQ(field(QStringLiteral("NOME"), Designacao), QStringLiteral("Nome Novo"));
    EXPECT_EQ(status(QStringLiteral("NIF")), QStringLiteral("A"));
    EXPECT_EQ(field(QStringLiteral("NIF"), Contribuinte), QStringLiteral("124"));
    EXPECT_EQ(status(QStringLiteral("MORADA")), QStringLiteral("A"));
    EXPECT_EQ(field(QStringLiteral("MORADA"), Morada), QStringLiteral("rua"));
    EXPECT_EQ(status(QStringLiteral("LOCAL")), QStringLiteral("A"));
    EXPECT_EQ(field(QStringLiteral("LOCAL"), Localidade), QStringLiteral("Terra "));
    // Postal code, country and district are never compared again.
    EXPECT_EQ(status(QStringLiteral("POSTAL")), QStringLiteral(""));
    EXPECT_EQ(field(QStringLiteral("POSTAL"), CodPost), QStringLiteral("1000 - 001 LISBOA"));
    EXPECT_EQ(field(QStringLiteral("POSTAL"), Pais), QStringLiteral("PT"));
    EXPECT_EQ(status(QStringLiteral("IGUAL")), QStringLiteral(""));
    // A Null on either side is no difference.
    EXPECT_EQ(status(QStringLiteral("NULO")), QStringLiteral(""));
    EXPECT_EQ(field(QStringLiteral("NULO"), Morada), QStringLiteral("<null>"));
    EXPECT_EQ(status(QStringLiteral("EMPNULO")), QStringLiteral(""));
    EXPECT_EQ(field(QStringLiteral("EMPNULO"), Contribuinte), QStringLiteral("123"));
    // No rule selects it any more, but it exists: compared, not gone.
    EXPECT_EQ(status(QStringLiteral("FORA")), QStringLiteral("A"));
    EXPECT_EQ(field(QStringLiteral("FORA"), Descricao), QStringLiteral("Mudou"));
    EXPECT_EQ(status(QStringLiteral("APAGADO")), QStringLiteral("E"));
    // A customer still new takes every change and stays new: the receiver has never had it.
    EXPECT_EQ(status(QStringLiteral("NOVO")), QStringLiteral("N"));
    EXPECT_EQ(field(QStringLiteral("NOVO"), Descricao), QStringLiteral("Novo Nome"));
    EXPECT_EQ(field(QStringLiteral("NOVO"), Designacao), QStringLiteral("Novo Nome"));
    EXPECT_EQ(field(QStringLiteral("NOVO"), Contribuinte), QStringLiteral("999"));
    EXPECT_EQ(field(QStringLiteral("NOVO"), Morada), QStringLiteral("Avenida"));
    EXPECT_EQ(field(QStringLiteral("NOVO"), Localidade), QStringLiteral("Vila"));

    // Gone customers are marked at every run while they stay staged; Activo is not touched.
    db_.execStaging(QStringLiteral("update Clientes set Status='', Activo=1"));
    run();
    EXPECT_EQ(status(QStringLiteral("APAGADO")), QStringLiteral("E"));
    EXPECT_EQ(field(QStringLiteral("APAGADO"), Activo), QStringLiteral("1"));
    EXPECT_EQ(status(QStringLiteral("NOME")), QStringLiteral(""));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaClientesTest, ApostrophesInCodesAndRuleValues) {
    db_.company.addPostal(QStringLiteral("1000-001"), "SANT'ANA");
    db_.company.addCliente({.codigo = "O'NEILL", .descricao = "O'Neill & Filhos", .morada = "Rua d'Ouro",
                            .codPost = "1000-001", .grupo = "G'1"});
    db_.addLigaCliente({.grupo = "G'1"});
    run();
    ASSERT_EQ(status(QStringLiteral("O'NEILL")), QStringLiteral("N"));
    EXPECT_EQ(field(QStringLiteral("O'NEILL"), Descricao), QStringLiteral("O'Neill & Filhos"));
    EXPECT_EQ(field(QStringLiteral("O'NEILL"), CodPost), QStringLiteral("1000 - 001 SANT'ANA"));

    resetLetters();
    run();
    EXPECT_EQ(status(QStringLiteral("O'NEILL")), QStringLiteral(""));  // found again, not gone
    set(QStringLiteral("O'NEILL"), "Morada", "Rua d'Prata");
    run();
    EXPECT_EQ(status(QStringLiteral("O'NEILL")), QStringLiteral("A"));
    EXPECT_EQ(field(QStringLiteral("O'NEILL"), Morada), QStringLiteral("Rua d'Prata"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaClientesTest, ErrorsEndTheStepThroughItsTrap) {
    db_.company.addPostal(QStringLiteral("1000-001"), "LISBOA");
    db_.company.addCliente({.codigo = "BOM", .descricao = "ok", .codPost = "1000-001"});
    db_.addLigaCliente({});
    run();
    ASSERT_EQ(count(), 1);

    // A name wider than the staging column: the database refuses it and the step ends before
    // its re-check (the gone customer keeps its letter).
    db_.company.removeCliente(QStringLiteral("BOM"));
    db_.company.addCliente({.codigo = "LONGO", .descricao = Variant(QString(61, u'n')), .codPost = "1000-001"});
    host_.pointerBusy = true;
    run();
    EXPECT_EQ(host_.criticalMessages, QStringList{QStringLiteral("Falha no Processo")});
    EXPECT_FALSE(host_.pointerBusy);
    auto log = logRows();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][0].toString(), QStringLiteral("Função Processa Clientes"));
    EXPECT_EQ(log[0][1].toString().toStdString(), "String or binary data would be truncated. (Cliente LONGO)");
    EXPECT_EQ(status(QStringLiteral("BOM")), QStringLiteral("N"));
    EXPECT_EQ(status(QStringLiteral("LONGO")), QStringLiteral("<absent>"));

    // A rule field holding Null instead of text.
    db_.company.removeCliente(QStringLiteral("LONGO"));
    db_.execStaging(QStringLiteral("update LigaClientes set Familia=NULL"));
    run();
    EXPECT_EQ(host_.criticalMessages.size(), 2);
    log = logRows();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1][0].toString(), QStringLiteral("Função Processa Clientes"));
}

TEST_F(ProcessaClientesTest, ALongPlaceNameIsCutToTheStagedWidthInsteadOfStoppingTheImport) {
    const QString place(50, u'L');
    db_.company.addPostal(QStringLiteral("4000-123"), place);
    db_.company.addCliente({.codigo = "LONGO", .descricao = "Longe", .codPost = "4000-123"});
    db_.company.addCliente({.codigo = "DEPOIS", .descricao = "Depois", .codPost = "4000-123"});
    db_.addLigaCliente({});
    run();
    EXPECT_TRUE(host_.criticalMessages.empty());
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(field(QStringLiteral("LONGO"), CodPost), (QStringLiteral("4000 - 123 ") + place).left(60));
}
