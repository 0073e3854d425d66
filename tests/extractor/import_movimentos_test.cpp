// The sales-line import against an embedded company database and a staging database made by the
// schema routine: which lines come in and with what, what they activate, the period and the
// re-check window, and the gone-line marks.
#include <gtest/gtest.h>

#include <QMap>

#include "data/connection.h"
#include "extractor/clsVelmora.h"
#include "support/clsvelmora_access.h"
#include "support/company_db.h"
#include "support/recording_run_host.h"

using data::Currency;
using data::Variant;
using testsupport::LigaMovimento;
using testsupport::LinhaEmpresa;

namespace {

using testsupport::eur;

QString quoted(const QString& s) { return u'\'' + QString(s).replace(u'\'', QStringLiteral("''")) + u'\''; }

class ProcessaMovimentosTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_.company.addTipoMov(QStringLiteral("FT"), "Debito");
        db_.company.addTipoMov(QStringLiteral("NC"), "Stock");
        db_.company.addTipoMov(QStringLiteral("XX"), "Nada");
        db_.company.addTipoMov(QStringLiteral("OF"), Variant::null());
    }

    void run(const QString& ini, const QString& fim, std::int16_t cutOff = 0) {
        clsVelmoraTestAccess::ProcessaMovimentos(velmora_, *db_.geral, *db_.gestao, ini, fim, cutOff, host_);
    }

    // Staged customers and products, as the imports before this step leave them.
    void cliente(const QString& codigo, const QString& status = QString(), const Variant& activo = std::int16_t{0}) {
        db_.execStaging(QStringLiteral("insert into Clientes (Codigo, Status, Activo) values (") + quoted(codigo) + u',' +
                        testsupport::sqlLiteral(status) + u',' + testsupport::sqlLiteral(activo) + u')');
    }
    void produto(const QString& codigo, const QString& status = QString(), const Variant& activo = Variant()) {
        db_.execStaging(QStringLiteral("insert into Produtos (Codigo, Status, Activo) values (") + quoted(codigo) + u',' +
                        testsupport::sqlLiteral(status) + u',' + testsupport::sqlLiteral(activo) + u')');
    }
    // A line staged by an earlier run.
    void staged(const QString& chave, const QString& data, const QString& status = QString()) {
        db_.execStaging(QStringLiteral("insert into Movimentos (Status, Mascara, Chave, Data) values (") +
                        testsupport::sqlLiteral(status) + QStringLiteral(", 'V', ") + quoted(chave) + u',' + quoted(data) +
                        u')');
    }

    QMap<QString, Variant> linha(const QString& chave) const {
        static const QStringList cols = {"Status", "Mascara", "Chave", "Data", "TipoVenda", "CodigoVendedor",
                                         "CodigoCliente", "CodigoProduto", "Quantidade", "Valor", "Cambio",
                                         "UnidadeVenda", "IEC", "Observacoes", "Motivo"};
        const auto r = db_.staging(QStringLiteral("select ") + cols.join(u',') +
                                   QStringLiteral(" from Movimentos where Chave=") + quoted(chave));
        QMap<QString, Variant> out;
        if (r.empty()) return out;
        for (int i = 0; i < cols.size(); ++i) out.insert(cols[i], r.front()[static_cast<size_t>(i)]);
        return out;
    }
    QString col(const QString& chave, const QString& coluna) const {
        const auto l = linha(chave);
        if (l.isEmpty()) return QStringLiteral("<absent>");
        const Variant v = l.value(coluna);
        return v.isNull() ? QStringLiteral("<null>") : v.toString();
    }
    QString status(const QString& chave) const { return col(chave, QStringLiteral("Status")); }
    int count() const { return db_.stagingScalar(QStringLiteral("select count(*) from Movimentos")).toInt32(); }
    QString activo(const char* tabela, const QString& codigo) const {
        const Variant v = db_.stagingScalar(QStringLiteral("select Activo from ") + QString::fromLatin1(tabela) +
                                            QStringLiteral(" where Codigo=") + quoted(codigo));
        return v.isNull() ? QStringLiteral("<null>") : v.toString();
    }
    QString letra(const char* tabela, const QString& codigo) const {
        return db_.stagingScalar(QStringLiteral("select Status from ") + QString::fromLatin1(tabela) +
                                 QStringLiteral(" where Codigo=") + quoted(codigo))
            .toString();
    }
    std::vector<std::vector<Variant>> logRows() const {
        return db_.staging(QStringLiteral("select Opcao, Texto from LogGeral order by NumRegisto"));
    }

    testsupport::RunDatabases db_;
    testsupport::RecordingRunHost host_;
    clsVelmora velmora_;
};

}  // namespace

TEST_F(ProcessaMovimentosTest, NewLinesAreStagedOnceAndActivateTheirCustomerAndProduct) {
    cliente(QStringLiteral("C1"));
    cliente(QStringLiteral("C2"), QStringLiteral("N"));
    produto(QStringLiteral("P1"), QStringLiteral("A"));
    produto(QStringLiteral("P2"));
    db_.addLigaMovimento({.mascara = "V", .tipo = "FT", .tipoOferta = "0"});
    db_.addLigaMovimento({.mascara = "D", .tipo = "NC", .tipoOferta = "1"});
    db_.addLigaMovimento({.mascara = "V", .tipo = "XX", .tipoOferta = ""});
    db_.company.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT",
                          .data = "2017-01-05 10:30:00", .numero = "77", .valorIliq = eur("100"),
                          .totalDesconto = eur("0.5"), .quantNormal = eur("2.125"), .vendedor = "07", .unidade = "KG",
                          .numRegisto = 41});
    db_.company.addIec(QStringLiteral("L1"));
    db_.company.addLinha({.identifica = "L2", .codigo = "P2", .terceiro = "C2", .tipo = "NC", .data = "2017-01-06",
                          .valorIliq = eur("-20")});
    db_.company.addIec(QStringLiteral("L2"), QStringLiteral("IVA"));  // only the "IEC" tax counts
    db_.company.addLinha({.identifica = "L3", .codigo = "P1", .terceiro = "C2", .tipo = "XX", .data = "2017-01-07"});

    run(QStringLiteral("2017-01-01"), QStringLiteral("2017-01-31"));
    EXPECT_EQ(count(), 3);

    const auto l1 = linha(QStringLiteral("L1"));
    EXPECT_EQ(l1.value("Status").toString(), QStringLiteral("N"));
    EXPECT_EQ(l1.value("Mascara").toString(), QStringLiteral("V"));
    EXPECT_EQ(l1.value("Data").toString(), QStringLiteral("2017-01-05"));
    EXPECT_EQ(l1.value("TipoVenda").toString(), QStringLiteral("C"));
    EXPECT_EQ(l1.value("CodigoVendedor").toString(), QStringLiteral("07"));
    EXPECT_EQ(l1.value("CodigoCliente").toString(), QStringLiteral("C1"));
    EXPECT_EQ(l1.value("CodigoProduto").toString(), QStringLiteral("P1"));
    EXPECT_EQ(l1.value("Quantidade").toCurrency(), eur("2.125"));
    EXPECT_EQ(l1.value("Valor").toCurrency(), eur("99.5"));
    EXPECT_EQ(l1.value("Cambio").toString(), QStringLiteral("EUR"));
    EXPECT_EQ(l1.value("UnidadeVenda").toString(), QStringLiteral("KG"));
    EXPECT_EQ(l1.value("IEC").toString(), QStringLiteral("S"));
    EXPECT_FALSE(l1.value("Observacoes").isNull());
    EXPECT_EQ(l1.value("Observacoes").toString(), QString());
    EXPECT_FALSE(l1.value("Motivo").isNull());
    EXPECT_EQ(l1.value("Motivo").toString(), QString());

    EXPECT_EQ(col(QStringLiteral("L2"), QStringLiteral("Mascara")), QStringLiteral("D"));
    EXPECT_EQ(col(QStringLiteral("L2"), QStringLiteral("TipoVenda")), QStringLiteral("V"));
    EXPECT_EQ(col(QStringLiteral("L2"), QStringLiteral("IEC")), QStringLiteral("N"));
    EXPECT_EQ(col(QStringLiteral("L2"), QStringLiteral("Valor")), QStringLiteral("-20"));
    // Neither "D" nor "S" leaves the kind of sale unset; an empty offer handling leaves the kind
    // of movement unset.
    EXPECT_EQ(col(QStringLiteral("L3"), QStringLiteral("TipoVenda")), QStringLiteral("<null>"));
    EXPECT_EQ(col(QStringLiteral("L3"), QStringLiteral("Mascara")), QStringLiteral("<null>"));

    // Customers and products of new lines are active; their letters stay.
    EXPECT_EQ(activo("Clientes", QStringLiteral("C1")), QStringLiteral("1"));
    EXPECT_EQ(activo("Clientes", QStringLiteral("C2")), QStringLiteral("1"));
    EXPECT_EQ(activo("Produtos", QStringLiteral("P1")), QStringLiteral("1"));
    EXPECT_EQ(activo("Produtos", QStringLiteral("P2")), QStringLiteral("1"));
    EXPECT_EQ(letra("Clientes", QStringLiteral("C1")), QString());
    EXPECT_EQ(letra("Clientes", QStringLiteral("C2")), QStringLiteral("N"));
    EXPECT_EQ(letra("Produtos", QStringLiteral("P1")), QStringLiteral("A"));

    // The panel: each company row, then the record number of a new one, each refreshed; the
    // gone-line pass shows the keys, and the panel is emptied at the end.
    const QString first = QStringLiteral("2017-01-05 10:30:00 FT/77");
    const auto at = host_.events.indexOf(QStringLiteral("panel:") + first);
    ASSERT_GE(at, 0);
    EXPECT_EQ(host_.events.mid(at, 4),
              (QStringList{QStringLiteral("panel:") + first, QStringLiteral("refresh"),
                           QStringLiteral("panel:") + first + QStringLiteral(" (Nº Reg.41)"), QStringLiteral("refresh")}));
    EXPECT_TRUE(host_.panelTexts.contains(QStringLiteral("L2")));
    EXPECT_EQ(host_.panel, QString());
    EXPECT_EQ(host_.refreshes, 6);

    // The same period again adds nothing.
    host_.panelTexts.clear();
    run(QStringLiteral("2017-01-01"), QStringLiteral("2017-01-31"));
    EXPECT_EQ(count(), 3);
    for (const QString& t : host_.panelTexts) EXPECT_FALSE(t.contains(QStringLiteral("Nº Reg."))) << t.toStdString();
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_TRUE(logRows().empty());
}

TEST_F(ProcessaMovimentosTest, OnlyClosedCustomerLinesOfThePeriodWithRuleAndStagedCodes) {
    cliente(QStringLiteral("C1"));
    cliente(QStringLiteral("C3"));
    produto(QStringLiteral("P1"));
    produto(QStringLiteral("P3"));
    db_.addLigaMovimento({.tipo = "FT"});
    db_.addLigaMovimento({.tipo = "ZZ"});  // a rule for a type the company does not have
    auto add = [&](LinhaEmpresa l) {
        if (l.codigo.isEmpty()) l.codigo = "P1";
        if (l.terceiro.isEmpty()) l.terceiro = "C1";
        if (l.tipo.isEmpty()) l.tipo = "FT";
        if (l.data.isEmpty()) l.data = "2017-03-15";
        db_.company.addLinha(l);
    };
    add({.identifica = "OK"});
    add({.identifica = "INICIO", .data = "2017-03-01"});
    add({.identifica = "FIM", .data = "2017-03-31"});
    add({.identifica = "ANTES", .data = "2017-02-28"});
    add({.identifica = "DEPOIS", .data = "2017-04-01"});
    add({.identifica = "FORNECEDOR", .clifor = "F"});
    add({.identifica = "ABERTO", .fechado = "N"});
    add({.identifica = "SEMNUMERO", .numero = ""});
    add({.identifica = "NUMERONULO", .numero = Variant::null()});
    add({.identifica = "SEMREGRA", .tipo = "NC"});
    add({.identifica = "SEMTIPO", .tipo = "ZZ"});
    add({.identifica = "CLIENTE", .codigo = "P3", .terceiro = "C9"});
    add({.identifica = "PRODUTO", .codigo = "P9", .terceiro = "C3"});

    run(QStringLiteral("2017-03-01"), QStringLiteral("2017-03-31"));
    QStringList chaves;
    for (const auto& r : db_.staging(QStringLiteral("select Chave from Movimentos order by Chave"))) {
        chaves << r[0].toString();
    }
    EXPECT_EQ(chaves, (QStringList{"FIM", "INICIO", "OK"}));
    // A line that is not seen activates nothing.
    EXPECT_EQ(activo("Clientes", QStringLiteral("C3")), QStringLiteral("0"));
    EXPECT_EQ(activo("Produtos", QStringLiteral("P3")), QStringLiteral("<null>"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaMovimentosTest, PeriodNeverSpansTwoYearsAndTheWindowStaysInTheStartYear) {
    cliente(QStringLiteral("C1"));
    produto(QStringLiteral("P1"));
    db_.addLigaMovimento({.tipo = "FT"});
    for (const char* d : {"2016-12-20", "2017-01-01", "2017-01-10", "2017-01-11"}) {
        db_.company.addLinha({.identifica = QStringLiteral("L") + QString::fromLatin1(d), .codigo = "P1",
                              .terceiro = "C1", .tipo = "FT", .data = d});
    }
    // From 15 November 2016 to 10 January 2017: only the lines of 2017. The scheduler's end date
    // may carry another date separator.
    run(QStringLiteral("2016-11-15"), QStringLiteral("2017/01/10"));
    QStringList chaves;
    for (const auto& r : db_.staging(QStringLiteral("select Chave from Movimentos order by Chave"))) {
        chaves << r[0].toString();
    }
    EXPECT_EQ(chaves, (QStringList{"L2017-01-01", "L2017-01-10"}));

    // Three months back from 10 February 2017 would be November 2016: the window starts on
    // 1 January 2017 and ends with the period.
    db_.execStaging(QStringLiteral("delete from Movimentos"));
    staged(QStringLiteral("G2016"), QStringLiteral("2016-12-20"));
    staged(QStringLiteral("G0101"), QStringLiteral("2017-01-01"), QStringLiteral("N"));
    staged(QStringLiteral("G0205"), QStringLiteral("2017-02-05"), QStringLiteral("A"));
    staged(QStringLiteral("G0301"), QStringLiteral("2017-03-01"));
    staged(QStringLiteral("L2017-01-10"), QStringLiteral("2017-01-10"));  // still in the company
    run(QStringLiteral("2017-02-10"), QStringLiteral("2017-02-28"), 3);
    EXPECT_EQ(status(QStringLiteral("G2016")), QString());
    EXPECT_EQ(status(QStringLiteral("G0101")), QStringLiteral("E"));  // whatever letter it had
    EXPECT_EQ(status(QStringLiteral("G0205")), QStringLiteral("E"));
    EXPECT_EQ(status(QStringLiteral("G0301")), QString());
    EXPECT_EQ(status(QStringLiteral("L2017-01-10")), QString());

    // One month back from 10 March: from 10 February on.
    db_.execStaging(QStringLiteral("delete from Movimentos"));
    staged(QStringLiteral("G0209"), QStringLiteral("2017-02-09"));
    staged(QStringLiteral("G0210"), QStringLiteral("2017-02-10"));
    run(QStringLiteral("2017-03-10"), QStringLiteral("2017-03-31"), 1);
    EXPECT_EQ(status(QStringLiteral("G0209")), QString());
    EXPECT_EQ(status(QStringLiteral("G0210")), QStringLiteral("E"));

    // Extreme windows are answered, not refused.
    run(QStringLiteral("2017-03-10"), QStringLiteral("2017-03-31"), 32767);
    EXPECT_EQ(status(QStringLiteral("G0209")), QStringLiteral("E"));
    run(QStringLiteral("2017-03-10"), QStringLiteral("2017-03-31"), -32768);
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaMovimentosTest, ValueRulesAndOfferHandling) {
    for (const char* c : {"C1", "CZ"}) cliente(QString::fromLatin1(c));
    for (const char* p : {"P1", "PZ"}) produto(QString::fromLatin1(p));
    db_.company.addTipoMov(QStringLiteral("OX"), "D");
    db_.company.addTipoMov(QStringLiteral("OE"), "D");
    db_.company.addTipoMov(QStringLiteral("AV"), "D");
    db_.company.addTipoMov(QStringLiteral("AO"), "D");
    db_.company.addTipoMov(QStringLiteral("NV"), "D");
    db_.addLigaMovimento({.mascara = "V", .tipo = "FT", .tipoOferta = "0", .apenasMovComValor = std::int16_t{1}});
    db_.addLigaMovimento({.mascara = "V", .tipo = "OF", .tipoOferta = "1", .apenasMovComValor = std::int16_t{0}});
    db_.addLigaMovimento({.mascara = "V", .tipo = "OX", .tipoOferta = Variant::null()});
    db_.addLigaMovimento({.mascara = "V", .tipo = "OE", .tipoOferta = ""});
    db_.addLigaMovimento({.mascara = "AV", .tipo = "AV"});
    db_.addLigaMovimento({.mascara = "AO", .tipo = "AO", .tipoOferta = "1"});
    db_.addLigaMovimento({.mascara = "V", .tipo = "NV", .apenasMovComValor = Variant::null()});
    auto add = [&](const char* id, const char* tipo, Currency valor, Currency desconto = Currency(),
                   const char* cli = "C1", const char* pro = "P1") {
        db_.company.addLinha({.identifica = QString::fromLatin1(id), .codigo = pro, .terceiro = cli, .tipo = tipo,
                              .data = "2017-05-02", .valorIliq = valor, .totalDesconto = desconto});
    };
    add("ZERO", "FT", eur("10"), eur("10"), "CZ", "PZ");
    add("NEG", "FT", eur("-5"));
    add("OFERTA", "OF", eur("0"));
    add("OFNULO", "OX", eur("0"));
    add("OFVAZIO", "OE", eur("0"));
    add("VALORVAZIO", "OE", eur("3"));
    add("ACERTO", "AV", eur("4"));
    add("ACERTOOF", "AO", eur("6"));
    add("SEMAPENAS", "NV", eur("0"));
    db_.company.addLinha({.identifica = "VALORNULO", .codigo = "P1", .terceiro = "C1", .tipo = "OF",
                          .data = "2017-05-02", .valorIliq = Variant::null()});

    run(QStringLiteral("2017-05-01"), QStringLiteral("2017-05-31"));
    // Without value under "only lines with value": not staged, and nothing activated.
    EXPECT_EQ(status(QStringLiteral("ZERO")), QStringLiteral("<absent>"));
    EXPECT_EQ(activo("Clientes", QStringLiteral("CZ")), QStringLiteral("0"));
    EXPECT_EQ(activo("Produtos", QStringLiteral("PZ")), QStringLiteral("<null>"));
    // A negative value is a value.
    EXPECT_EQ(col(QStringLiteral("NEG"), QStringLiteral("Mascara")), QStringLiteral("V"));
    EXPECT_EQ(col(QStringLiteral("NEG"), QStringLiteral("Valor")), QStringLiteral("-5"));
    // Without value under offer handling "0" or "1" (Null counts as "0"): an offer delivery.
    EXPECT_EQ(col(QStringLiteral("OFERTA"), QStringLiteral("Mascara")), QStringLiteral("EO"));
    EXPECT_EQ(col(QStringLiteral("OFERTA"), QStringLiteral("Valor")), QStringLiteral("0"));
    EXPECT_EQ(col(QStringLiteral("OFNULO"), QStringLiteral("Mascara")), QStringLiteral("EO"));
    EXPECT_EQ(col(QStringLiteral("VALORNULO"), QStringLiteral("Mascara")), QStringLiteral("EO"));
    EXPECT_EQ(col(QStringLiteral("VALORNULO"), QStringLiteral("Valor")), QStringLiteral("0"));
    EXPECT_EQ(col(QStringLiteral("SEMAPENAS"), QStringLiteral("Mascara")), QStringLiteral("EO"));
    // An empty offer handling leaves the kind unset, with or without value.
    EXPECT_EQ(col(QStringLiteral("OFVAZIO"), QStringLiteral("Mascara")), QStringLiteral("<null>"));
    EXPECT_EQ(col(QStringLiteral("VALORVAZIO"), QStringLiteral("Mascara")), QStringLiteral("<null>"));
    // Adjustment kinds are kept as the rule names them.
    EXPECT_EQ(col(QStringLiteral("ACERTO"), QStringLiteral("Mascara")), QStringLiteral("AV"));
    EXPECT_EQ(col(QStringLiteral("ACERTOOF"), QStringLiteral("Mascara")), QStringLiteral("AO"));
    EXPECT_EQ(count(), 9);
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaMovimentosTest, ATypeWithTwoRulesIsStagedOnce) {
    cliente(QStringLiteral("C1"));
    produto(QStringLiteral("P1"));
    db_.addLigaMovimento({.mascara = "V", .tipo = "FT"});
    db_.addLigaMovimento({.mascara = "D", .tipo = "FT"});
    db_.company.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-05-02"});
    run(QStringLiteral("2017-05-01"), QStringLiteral("2017-05-31"));
    // The line comes twice from the company query (the query has no order): the first row
    // stages it, the second finds it staged.
    EXPECT_EQ(host_.panelTexts.count(QStringLiteral("2017-05-02 FT/1")), 2);
    EXPECT_EQ(host_.panelTexts.count(QStringLiteral("2017-05-02 FT/1 (Nº Reg.1)")), 1);
    EXPECT_EQ(count(), 1);
    const QString kind = col(QStringLiteral("L1"), QStringLiteral("Mascara"));
    EXPECT_TRUE(kind == u"V" || kind == u"D") << kind.toStdString();
}

TEST_F(ProcessaMovimentosTest, ApostrophesInKeysAndCodes) {
    cliente(QStringLiteral("O'NEILL"));
    produto(QStringLiteral("P'1"));
    db_.addLigaMovimento({.tipo = "FT"});
    db_.company.addLinha({.identifica = "L'1", .codigo = "P'1", .terceiro = "O'NEILL", .tipo = "FT",
                          .data = "2017-05-02"});
    run(QStringLiteral("2017-05-01"), QStringLiteral("2017-05-31"));
    EXPECT_EQ(status(QStringLiteral("L'1")), QStringLiteral("N"));
    EXPECT_EQ(activo("Clientes", QStringLiteral("O'NEILL")), QStringLiteral("1"));
    EXPECT_EQ(activo("Produtos", QStringLiteral("P'1")), QStringLiteral("1"));

    // Found again (not added twice, not gone), and marked gone once the company line is deleted,
    // even while it still has its "N" from an export that failed.
    run(QStringLiteral("2017-05-01"), QStringLiteral("2017-05-31"));
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(status(QStringLiteral("L'1")), QStringLiteral("N"));
    db_.company.removeLinha(QStringLiteral("L'1"));
    run(QStringLiteral("2017-05-01"), QStringLiteral("2017-05-31"));
    EXPECT_EQ(status(QStringLiteral("L'1")), QStringLiteral("E"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaMovimentosTest, ErrorsEndTheStepThroughItsTrap) {
    cliente(QStringLiteral("C1"));
    produto(QStringLiteral("P1"));
    db_.addLigaMovimento({.tipo = "FT"});
    staged(QStringLiteral("GONE"), QStringLiteral("2017-05-03"));

    // Dates that name no day.
    host_.pointerBusy = true;
    run(QStringLiteral("abc"), QStringLiteral("2017-05-31"));
    EXPECT_FALSE(host_.pointerBusy);
    run(QStringLiteral("2017-05-01"), QString());
    run(QStringLiteral("2017-02-30"), QStringLiteral("2017-05-31"));
    run(QString(40000, u'9'), QStringLiteral("2017-05-31"));
    EXPECT_EQ(host_.criticalMessages.size(), 4);
    auto log = logRows();
    ASSERT_EQ(log.size(), 4u);
    for (const auto& r : log) {
        EXPECT_EQ(r[0].toString(), QStringLiteral("Função Processa Movimentos"));
        EXPECT_EQ(r[1].toString(), QStringLiteral("Type mismatch"));
    }
    EXPECT_EQ(status(QStringLiteral("GONE")), QString());  // nothing was done

    // A value that does not fit its staging column: the step ends before the gone-line pass.
    db_.company.addLinha({.identifica = "LONGO", .codigo = "P1", .terceiro = "C1", .tipo = "FT",
                          .data = "2017-05-02", .vendedor = "12345"});
    run(QStringLiteral("2017-05-01"), QStringLiteral("2017-05-31"));
    EXPECT_EQ(host_.criticalMessages.size(), 5);
    log = logRows();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[4][0].toString(), QStringLiteral("Função Processa Movimentos"));
    EXPECT_EQ(log[4][1].toString().toStdString(), "String or binary data would be truncated. (Linha Identifica LONGO)");
    EXPECT_EQ(status(QStringLiteral("LONGO")), QStringLiteral("<absent>"));
    EXPECT_EQ(status(QStringLiteral("GONE")), QString());
}

TEST_F(ProcessaMovimentosTest, AStepStoppedByAnErrorKeepsTheLinesStagedBeforeIt) {
    cliente(QStringLiteral("C1"));
    produto(QStringLiteral("P1"));
    db_.addLigaMovimento({.tipo = "FT"});
    staged(QStringLiteral("GONE"), QStringLiteral("2017-05-03"));
    // More lines than one group of writes holds, the 1,100th with a seller code too long to stage.
    // (Written over the open company connection: a connection per line would take a minute.)
    for (int i = 1; i <= 1200; ++i) {
        db_.gestao->Execute(QStringLiteral("insert into MovProduto (NumRegisto, Identifica, ObsLinha, Vendedor, ValorIliq, "
                                           "TotalDesconto, Codigo, Tipo, Numero, Ano, Data, Preco, QuantNormal, Terceiro, "
                                           "Clifor, Fechado, Unidade) values (%1, 'L%2', '', '%3', 10, 0, 'P1', 'FT', '1', "
                                           "2017, '2017-05-02', 10, 1, 'C1', 'C', 'S', 'UN')")
                                .arg(i)
                                .arg(i, 4, 10, QChar(u'0'))
                                .arg(i == 1100 ? QStringLiteral("123") : QStringLiteral("01")));
    }
    run(QStringLiteral("2017-05-01"), QStringLiteral("2017-05-31"));

    const auto log = logRows();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0][1].toString().toStdString(), "String or binary data would be truncated. (Linha Identifica L1100)");
    EXPECT_EQ(count(), 1 + 1099) << "the lines before the error stay staged, as each statement left them";
    EXPECT_EQ(status(QStringLiteral("L1099")), QStringLiteral("N"));
    EXPECT_EQ(status(QStringLiteral("L1100")), QStringLiteral("<absent>"));
    EXPECT_EQ(activo("Clientes", QStringLiteral("C1")), QStringLiteral("1"));
    EXPECT_EQ(status(QStringLiteral("GONE")), QString()) << "the gone-line pass never ran";

    // The next run takes the rest once the company's code is mended.
    db_.company.exec(QStringLiteral("update MovProduto set Vendedor='01' where Identifica='L1100'"));
    run(QStringLiteral("2017-05-01"), QStringLiteral("2017-05-31"));
    EXPECT_EQ(count(), 1 + 1200);
    EXPECT_EQ(status(QStringLiteral("GONE")), QStringLiteral("E"));
}
