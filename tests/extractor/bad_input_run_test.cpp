// Whole runs over company data, link rules and settings that hold what a careless or hostile
// hand may type: quotes, semicolons and comment dashes, texts wider than their columns, Null
// where a value is expected, and characters the export code page does not have. Each run must
// end on the system's own path (a step's trap or a normal end), keep every staging table
// intact, and leave either a file whose every record has its exact width or no file at all.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "extractor/MailHost.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "platform/win1252.h"
#include "support/company_db.h"
#include "support/export_records.h"
#include "support/recording_mail.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"

namespace {

using data::Currency;
using data::Variant;
using Rows = std::vector<std::pair<QString, QString>>;
using testsupport::registos;

const QString kNome = QStringLiteral("NRT170307.MOV");

const QByteArray* registoDe(const std::vector<QByteArray>& rs, const QByteArray& tipo, const QByteArray& codigo,
                           int inicioCodigo) {
    for (const QByteArray& r : rs) {
        if (r.startsWith(tipo) && r.mid(inicioCodigo).startsWith(codigo)) return &r;
    }
    return nullptr;
}

QByteArray campo(const QByteArray& registo, int inicio, int largura) { return registo.mid(inicio, largura); }
QByteArray L(const QByteArray& bytes, int width) { return bytes.leftJustified(width, ' '); }
QByteArray ansi(const QString& s) { return platform::toAnsi(s); }
using testsupport::eur;

class BadInputRun : public ::testing::Test {
protected:
    void SetUp() override {
        db_.setExport(dir_.path());
        Configuracao().gstrEmailTo.clear();
        host_.mail = &mail_;
    }
    // A small company every scenario starts from: one product, one customer and one sale of it.
    void empresaBase() {
        auto& c = db_.company;
        c.addFornecedor("F1", "Fornecedor");
        c.addProduto({.codigo = "P1", .descricao = "Produto", .forneceExterno = "F1", .precoVenda = {eur("2")}});
        c.addPostal("1000-001", "LISBOA");
        c.addCliente({.codigo = "C1", .descricao = "Cliente", .contribuinte = "123456789", .morada = "Rua",
                      .local = "Lisboa", .codPost = "1000-001", .pais = "Portugal", .distrito = "Lisboa"});
        c.addTipoMov("FT", "D");
        c.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-01"});
        db_.addLigaProduto({});
        db_.addLigaCliente({});
        db_.addLigaMovimento({.mascara = "V", .tipo = "FT"});
    }

    void run(bool manual = false, const QString& ini = "2017-01-01", const QString& fim = "2017-03-07") {
        clsVelmora v;
        v.Processa(*db_.geral, *db_.gestao, ini, fim, 3, host_, manual);
    }

    QByteArray file(const QString& path) const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }
    QByteArray file() const { return file(dir_.path() + u'/' + kNome); }

    Rows log() const {
        Rows out;
        for (const auto& r : db_.staging("select Opcao, Texto from LogGeral order by NumRegisto")) {
            out.emplace_back(r[0].toString(), r[1].isNull() ? QStringLiteral("<null>") : r[1].toString());
        }
        return out;
    }
    QStringList labels() const {
        QStringList out;
        for (const auto& [opcao, texto] : log()) out << opcao;
        return out;
    }
    Rows letters(const QString& table, const QString& key = "Codigo") const {
        Rows out;
        for (const auto& r : db_.staging(QStringLiteral("select ") + key + QStringLiteral(", Status from ") + table +
                                         QStringLiteral(" order by ") + key)) {
            out.emplace_back(r[0].toString(), r[1].isNull() ? QStringLiteral("<null>") : r[1].toString());
        }
        return out;
    }
    static QString iniValue(const QString& key) { return LerIni(QStringLiteral("Extractor"), key); }
    // Every staging table still there, with its row count.
    QString tabelas() const {
        QString out;
        for (const char* t : {"Clientes", "Produtos", "Movimentos", "LigaClientes", "LigaProdutos",
                              "LigaMovimentos", "HistFiles"}) {
            out += QString::fromLatin1(t) + u'=' +
                   db_.stagingScalar(QStringLiteral("select count(*) from ") + QString::fromLatin1(t)).toString() +
                   u' ';
        }
        return out;
    }

    QTemporaryDir dir_;
    testsupport::RunDay day_;
    testsupport::RunDatabases db_;
    testsupport::RecordingRunHost host_;
    testsupport::RecordingMail mail_;
};

// ---------------------------------------------------------------------------------------------
// Quotes, semicolons and comment dashes

TEST_F(BadInputRun, QuotesSemicolonsAndDashesTravelThroughWholeRunsAsPlainText) {
    // Each value is what it looks like, never a piece of a statement.
    const QString fornecedor = QStringLiteral("F'1;--");
    const QString nomeFornecedor = QStringLiteral("For\"ne'ce; drop table Produtos --");
    const QString produto = QStringLiteral("P'1\";--");
    const QString descProduto = QStringLiteral("Caf\u00e9 \"Bom\"; -- ' or 1=1");
    const QString cliente = QStringLiteral("C'1\";--");
    const QString nomeCliente = QStringLiteral("O'Neill \"Filhos\"; delete from Clientes --");
    const QString morada = QStringLiteral("Rua d'Ouro; --");
    const QString tipo = QStringLiteral("F'T");
    const QString linha = QStringLiteral("L'1'); delete from Movimentos; --");

    auto& c = db_.company;
    c.addFornecedor(fornecedor, nomeFornecedor);
    c.addProduto({.codigo = produto, .descricao = descProduto, .unidadeVenda = "K'", .grupo = "G'1",
                  .forneceExterno = fornecedor, .precoVenda = {eur("2")}});
    c.addPostal("1000-001", "SANT'ANA \"X\"");
    c.addCliente({.codigo = cliente, .descricao = nomeCliente, .contribuinte = "12'3;--", .morada = morada,
                  .local = "L'x", .codPost = "1000-001", .pais = "P\"t", .distrito = "D;--", .grupo = "G'\""});
    c.addTipoMov(tipo, "D");
    c.addLinha({.identifica = linha, .codigo = produto, .terceiro = cliente, .tipo = tipo, .data = "2017-03-01",
                .vendedor = "0'", .unidade = "K'"});
    db_.addLigaProduto({.grupo = "G'1", .fornecedor = fornecedor});
    db_.addLigaCliente({.grupo = "G'\""});
    db_.addLigaMovimento({.mascara = "V", .tipo = tipo});

    // The settings the run reads hold them too: the folder, the prefix, the system name.
    const QString pasta = dir_.path() + QStringLiteral("/d'ex; \"x\" --");
    ASSERT_TRUE(QDir().mkpath(pasta));
    db_.program.set("Extractor", "P3", pasta);
    db_.program.set("Extractor", "P15", "N'R");
    db_.program.set("Extractor", "P8", "SIS'TEMA \"N\"; --");
    Configuracao().gstrEmailTo = QStringLiteral("o'neill@x.pt;\"b\"@x.pt --");

    run(false);
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << host_.criticalMessages.join('|').toStdString();
    const QString nome = QStringLiteral("N'R170307.MOV");
    const QByteArray bytes = file(pasta + u'/' + nome);
    const auto rs = registos(bytes);
    ASSERT_EQ(rs.size(), 5u) << bytes.constData();
    EXPECT_EQ(rs[0], "0" + L("SIS'TEMA \"N\"; --", 32) + "20170307140509" + L("N'R170307.MOV", 14));

    const QByteArray* rc = registoDe(rs, "1 011 ", ansi(cliente), 6);
    ASSERT_NE(rc, nullptr);
    EXPECT_EQ(campo(*rc, 16, 80), L(ansi(nomeCliente), 80));
    EXPECT_EQ(campo(*rc, 176, 10), "   12'3;--");
    EXPECT_EQ(campo(*rc, 196, 60), L(ansi(morada), 60));
    EXPECT_EQ(campo(*rc, 406, 60), L("1000 - 001 SANT'ANA \"X\"", 60));

    const QByteArray* rp = registoDe(rs, "1 101 ", ansi(produto), 6);
    ASSERT_NE(rp, nullptr);
    EXPECT_EQ(campo(*rp, 41, 80), L(ansi(descProduto), 80));
    EXPECT_EQ(campo(*rp, 139, 50), L(ansi(nomeFornecedor), 50));

    ASSERT_TRUE(rs[3].startsWith("1 301 "));
    EXPECT_EQ(campo(rs[3], 15, 5), L("0'", 5));
    EXPECT_EQ(campo(rs[3], 20, 10), L(ansi(cliente), 10));
    EXPECT_EQ(campo(rs[3], 30, 15), L(ansi(produto), 15));

    // Nothing was injected: every table is there with what the run put in it, and the log rows
    // quote the path and the recipients as they are.
    EXPECT_EQ(tabelas(), "Clientes=1 Produtos=1 Movimentos=1 LigaClientes=1 LigaProdutos=1 LigaMovimentos=1 "
                         "HistFiles=1 ");
    EXPECT_EQ(db_.stagingScalar("select Chave from Movimentos").toString(), linha);
    EXPECT_EQ(db_.stagingScalar("select Filename from HistFiles").toString(), nome);
    const Rows l = log();
    ASSERT_EQ(l.size(), 7u);
    EXPECT_EQ(l[4], (std::pair<QString, QString>{"Criando ficheiro...", pasta + u'/' + nome}));
    EXPECT_EQ(l[5].second, Configuracao().gstrEmailTo);
    ASSERT_EQ(mail_.calls.size(), 1u);
    EXPECT_EQ(mail_.calls[0].texts[1], Configuracao().gstrEmailTo);
    EXPECT_EQ(mail_.calls[0].texts[6] + u'/' + mail_.calls[0].texts[7], pasta + u'/' + nome);
    EXPECT_EQ(iniValue("P12"), QStringLiteral("Concluído"));

    // The next runs find the same records by their quoted codes: a change is "A", a line gone
    // is "E", and a manual run re-marks them by those codes.
    c.setCampo("Clientes", cliente, "Descricao", QStringLiteral("Novo 'nome' --"));
    c.setCampo("Produtos", produto, "Descricao", QStringLiteral("Novo \"desc\";"));
    run(false);
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << host_.criticalMessages.join('|').toStdString();
    const auto rs2 = registos(file(pasta + u'/' + nome));
    ASSERT_EQ(rs2.size(), 4u);
    EXPECT_TRUE(rs2[1].startsWith("1 012 " + L(ansi(cliente), 10) + L("Novo 'nome' --", 80)));
    EXPECT_TRUE(rs2[2].startsWith("1 102 " + L(ansi(produto), 15)));

    run(true, "2017-03-01", "2017-03-01");
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << host_.criticalMessages.join('|').toStdString();
    const auto rs3 = registos(file(pasta + u'/' + nome));
    ASSERT_EQ(rs3.size(), 5u);
    EXPECT_TRUE(rs3[1].startsWith("1 012 " + L(ansi(cliente), 10)));
    EXPECT_TRUE(rs3[3].startsWith("1 302 "));

    c.removeLinha(linha);
    run(false);
    const auto rs4 = registos(file(pasta + u'/' + nome));
    ASSERT_EQ(rs4.size(), 3u);
    EXPECT_TRUE(rs4[1].startsWith("1 303 "));
    EXPECT_EQ(letters("Movimentos", "Chave"), Rows{});
    EXPECT_EQ(letters("Clientes"), (Rows{{cliente, ""}}));
    EXPECT_EQ(letters("Produtos"), (Rows{{produto, ""}}));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(BadInputRun, QuotedPeriodDatesGiveTheTrapNotAStatement) {
    empresaBase();
    // A period date that is not a date at all, with a statement's end in it.
    run(true, "2017-01-01' or '1'='1", "2017-03-07");
    EXPECT_EQ(labels(), (QStringList{"Início do processamento manual...", "Processando produtos...",
                                     "Processando clientes...", "Processando movimentos...",
                                     "Função Processa Movimentos", "Criando ficheiro...",
                                     "Fim do processamento manual."}));
    EXPECT_EQ(host_.criticalMessages, QStringList{"Falha no Processo"});
    // The re-marking compares with the text as given and selects nothing it should not.
    EXPECT_EQ(letters("Movimentos", "Chave"), Rows{});
    // The manual reset takes the new customer and product out again.
    EXPECT_EQ(tabelas(), "Clientes=0 Produtos=0 Movimentos=0 LigaClientes=1 LigaProdutos=1 LigaMovimentos=1 "
                         "HistFiles=1 ");
}

// A company address or name typed over two lines holds CR LF. Written as it is, it would end
// the record in the middle and make the file unreadable from there on: every record must stay
// one line of its own width: the writer turns line breaks into blanks.
TEST_F(BadInputRun, LineBreaksInCompanyTextsKeepEveryRecordOnOneLine) {
    empresaBase();
    db_.company.setCampo("Clientes", "C1", "Morada", QStringLiteral("Rua X\r\nApt 2"));
    db_.company.setCampo("Produtos", "P1", "Descricao", QStringLiteral("Caneta\nAzul\rFina"));
    run(false);
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    const auto rs = registos(file());
    ASSERT_EQ(rs.size(), 5u);
    EXPECT_EQ(campo(rs[1], 196, 60), L("Rua X  Apt 2", 60));
    EXPECT_EQ(campo(rs[2], 41, 80), L("Caneta Azul Fina", 80));
    // The staging database keeps the texts as the company has them.
    EXPECT_EQ(db_.stagingScalar("select Morada from Clientes").toString(), QStringLiteral("Rua X\r\nApt 2"));
}

// Dates a database file written by another tool may hold in the company's sales lines: a day
// that does not exist, zeros, the last day there is, nothing, a word.
TEST_F(BadInputRun, ImpossibleSalesLineDatesGiveTheStepsTrapAndNeverReachTheFile) {
    empresaBase();
    const auto planta = [this](const QString& identifica, const QByteArray& data) {
        db_.company.addLinha(
            {.identifica = identifica, .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-02"});
        sqlite3* h = nullptr;
        ASSERT_EQ(sqlite3_open(db_.server.databaseFile("Empresa").toUtf8().constData(), &h), SQLITE_OK);
        const QByteArray sql =
            "update MovProduto set Data='" + data + "' where Identifica='" + identifica.toLatin1() + "'";
        EXPECT_EQ(sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(h);
    };
    planta("L2", "2017-02-30");
    planta("L3", "0000-00-00");
    planta("L4", "9999-12-31");
    planta("L5", "");
    planta("L6", "lixo");
    planta("L7", "2017-02-29 10:00:00.000");
    run(false);
    EXPECT_EQ(host_.criticalMessages, QStringList{"Falha no Processo"});
    EXPECT_EQ(labels(), (QStringList{"Início do processamento automático...", "Processando produtos...",
                                     "Processando clientes...", "Processando movimentos...",
                                     "Função Processa Movimentos", "Criando ficheiro...",
                                     "Fim do processamento automático."}));
    EXPECT_EQ(log()[4].second.toStdString(), "Type mismatch (Linha Identifica L2)");
    // What came before the impossible line is in the file; no record carries a date that is
    // not one.
    const auto rs = registos(file());
    for (const QByteArray& r : rs) {
        if (r.startsWith("1 3")) {
            EXPECT_TRUE(QDate::fromString(QString::fromLatin1(r.mid(6, 8)), "yyyyMMdd").isValid()) << r.constData();
        }
    }
    EXPECT_EQ(letters("Movimentos", "Chave"), (Rows{{"L1", ""}}));

    // The dates put right, the next run takes the lines of the period.
    for (const char* id : {"L2", "L7"}) {
        sqlite3* h = nullptr;
        ASSERT_EQ(sqlite3_open(db_.server.databaseFile("Empresa").toUtf8().constData(), &h), SQLITE_OK);
        const QByteArray sql = "update MovProduto set Data='2017-02-28' where Identifica='" + QByteArray(id) + "'";
        EXPECT_EQ(sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(h);
    }
    run(false);
    EXPECT_EQ(host_.criticalMessages.size(), 1);
    EXPECT_EQ(registos(file()).size(), 4u);
    EXPECT_EQ(letters("Movimentos", "Chave"), (Rows{{"L1", ""}, {"L2", ""}, {"L7", ""}}));
}

// ---------------------------------------------------------------------------------------------
// Texts wider than their columns

TEST_F(BadInputRun, TextsWiderThanTheStagingColumnsStopOnlyTheirImport) {
    empresaBase();
    run(false);
    ASSERT_TRUE(host_.criticalMessages.isEmpty());
    const QByteArray primeiro = file();

    // A new customer whose name, and a new product whose supplier's name, do not fit their
    // staged columns; and a sales line whose seller code is wider than its staged column.
    auto& c = db_.company;
    c.addCliente({.codigo = "C2", .descricao = Variant(QString(100, u'n')), .codPost = "1000-001"});
    c.addFornecedor("F2", QString(60, u'f'));
    c.addProduto({.codigo = "P2", .descricao = "Outro", .forneceExterno = "F2"});
    c.addLinha({.identifica = "L2", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-02",
                .vendedor = "12345"});
    run(false);
    EXPECT_EQ(labels().mid(6), (QStringList{"Início do processamento automático...", "Processando produtos...",
                                            "Função Processa Produtos", "Processando clientes...",
                                            "Função Processa Clientes", "Processando movimentos...",
                                            "Função Processa Movimentos", "Criando ficheiro...",
                                            "Fim do processamento automático."}));
    QStringList falhas;
    for (const auto& [opcao, texto] : log()) {
        if (opcao.startsWith(QStringLiteral("Função"))) falhas << texto;
    }
    EXPECT_EQ(falhas.join(u'|').toStdString(),
              "String or binary data would be truncated. (Produto P2)|"
              "String or binary data would be truncated. (Cliente C2)|"
              "String or binary data would be truncated. (Linha Identifica L2)");
    EXPECT_EQ(host_.criticalMessages.size(), 3);
    // What was staged before is intact, nothing of the refused rows is there, and the file of
    // this run is a valid empty one.
    EXPECT_EQ(letters("Clientes"), (Rows{{"C1", ""}}));
    EXPECT_EQ(letters("Produtos"), (Rows{{"P1", ""}}));
    EXPECT_EQ(letters("Movimentos", "Chave"), (Rows{{"L1", ""}}));
    EXPECT_EQ(registos(file()).size(), 2u);
    EXPECT_EQ(iniValue("P12"), QStringLiteral("Concluído"));
    EXPECT_NE(primeiro, file());
}

TEST_F(BadInputRun, AValueWiderThanItsFileFieldStopsTheWriterAndWritesNothing) {
    empresaBase();
    run(false);
    ASSERT_TRUE(host_.criticalMessages.isEmpty());
    const QByteArray anterior = file();
    ASSERT_EQ(registos(anterior).size(), 5u);

    // A staging database whose columns another tool widened: a street of 61 characters has no
    // place in the file's field of 60. The writer stops through its trap and leaves the
    // previous file, the letters and "Em Curso" for the next run.
    db_.execStaging("alter table Clientes alter column Morada varchar(200) null");
    db_.company.setCampo("Clientes", "C1", "Morada", QString(61, u'm'));
    run(false);
    EXPECT_EQ(host_.criticalMessages, QStringList{"Falha no Processo"});
    EXPECT_TRUE(labels().contains(QStringLiteral("Função Cria Ficheiro")));
    EXPECT_EQ(file(), anterior);
    EXPECT_EQ(letters("Clientes"), (Rows{{"C1", "A"}}));
    EXPECT_EQ(iniValue("P12"), QStringLiteral("Em Curso"));
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 1);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{kNome});

    // The system name wider than the header's 32 and a prefix that makes the name wider than
    // its 14: the same path, whatever the run holds.
    db_.company.exec("update Clientes set Morada = 'Rua'");
    for (const auto& [chave, valor] : {std::pair<const char*, QString>{"P8", QString(33, u's')},
                                       std::pair<const char*, QString>{"P15", QStringLiteral("NORTA")}}) {
        host_.criticalMessages.clear();
        db_.program.set("Extractor", "P8", chave == QByteArray("P8") ? valor : QStringLiteral("SISTEMA"));
        db_.program.set("Extractor", "P15", chave == QByteArray("P15") ? valor : QStringLiteral("NRT"));
        db_.execStaging("delete from LogGeral");
        run(false);
        EXPECT_EQ(host_.criticalMessages, QStringList{"Falha no Processo"}) << chave;
        EXPECT_TRUE(labels().contains(QStringLiteral("Função Cria Ficheiro"))) << chave;
        EXPECT_EQ(file(), anterior) << chave;
        EXPECT_EQ(letters("Clientes"), (Rows{{"C1", "A"}})) << chave;
        EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{kNome}) << chave;
    }

    // Put right, the next run carries the letters that waited.
    db_.program.set("Extractor", "P8", "SISTEMA");
    db_.program.set("Extractor", "P15", "NRT");
    host_.criticalMessages.clear();
    run(false);
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    const auto rs = registos(file());
    ASSERT_EQ(rs.size(), 3u);
    EXPECT_TRUE(rs[1].startsWith("1 012 C1"));
    EXPECT_EQ(campo(rs[1], 196, 60), L("Rua", 60));
}

// ---------------------------------------------------------------------------------------------
// Null in every column the run reads

struct CasoNulo {
    const char* tabela;  // company table, or "Velmora:" and a staging table
    const char* coluna;  // one column, or several (comma-separated) that share their outcome
    // The trap labels the run must write (in order), none for a run that ends normally.
    QStringList traps;
    bool manual = false;
};

// Runs each case on one set of databases, emptied and filled again with a small company (one
// product, one customer, one sale) before it. A staging case first has a clean run stage the
// company, then puts its Null into the staged rows and marks them changed, so the next run
// writes them.
class CorredorNulos {
public:
    CorredorNulos() {
        db_.program.set("Extractor", "P3", dir_.path());
        db_.program.set("Extractor", "P15", "NRT");
        db_.program.set("Extractor", "P8", "SISTEMA");
        Configuracao().gstrEmailTo.clear();
    }
    // The cases that end as they must.
    int corre(const std::vector<CasoNulo>& casos) {
        int passados = 0;
        for (const CasoNulo& caso : casos) {
            SCOPED_TRACE(std::string(caso.tabela) + "." + caso.coluna + (caso.manual ? " (manual)" : ""));
            const auto falhas = [] {
                return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
            };
            const int antes = falhas();
            try {
                corre(caso);
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
            }
            if (falhas() == antes) ++passados;
        }
        return passados;
    }

private:
    void limpa() {
        auto& c = db_.company;
        for (const char* t : {"Clientes", "TabPostal", "Produtos", "Fornece", "TabTipoMov", "MovProduto"}) {
            c.exec(QStringLiteral("delete from ") + QString::fromLatin1(t));
        }
        for (const char* t : {"Clientes", "Produtos", "Movimentos", "LigaClientes", "LigaProdutos", "LigaMovimentos",
                              "LogGeral", "HistFiles"}) {
            db_.execStaging(QStringLiteral("delete from ") + QString::fromLatin1(t));
        }
        c.addFornecedor("F1", "Fornecedor");
        c.addProduto({.codigo = "P1", .descricao = "Produto", .forneceExterno = "F1", .precoVenda = {eur("2")}});
        c.addPostal("1000-001", "LISBOA");
        c.addCliente({.codigo = "C1", .descricao = "Cliente", .contribuinte = "123456789", .morada = "Rua",
                      .local = "Lisboa", .codPost = "1000-001", .pais = "Portugal", .distrito = "Lisboa"});
        c.addTipoMov("FT", "D");
        c.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-01"});
        db_.addLigaProduto({});
        db_.addLigaCliente({});
        db_.addLigaMovimento({.mascara = "V", .tipo = "FT"});
    }

    void processa(testsupport::RecordingRunHost& host, bool manual) {
        clsVelmora v;
        v.Processa(*db_.geral, *db_.gestao, manual ? "2017-03-01" : "2017-01-01", "2017-03-07", 3, host, manual);
    }

    void corre(const CasoNulo& caso) {
        limpa();
        const QString ficheiro = dir_.path() + u'/' + kNome;
        const QString tabela = QString::fromLatin1(caso.tabela);
        QStringList atribuicoes;
        for (const QString& coluna : QString::fromLatin1(caso.coluna).split(u',')) atribuicoes << coluna + "=NULL";
        const QString nula = QStringLiteral("update ") + tabela.section(u':', -1) + QStringLiteral(" set ") +
                             atribuicoes.join(u',');
        const bool staging = tabela.startsWith(QStringLiteral("Velmora:"));
        const bool regra = tabela.startsWith(QStringLiteral("Velmora:Liga"));
        if (staging && !regra) {
            testsupport::RecordingRunHost primeira;
            processa(primeira, false);
            ASSERT_TRUE(primeira.criticalMessages.isEmpty());
            db_.execStaging(QStringLiteral("update ") + tabela.section(u':', -1) + QStringLiteral(" set Status='A'"));
            db_.execStaging(nula);
            db_.execStaging("delete from LogGeral");
        } else if (staging) {
            db_.execStaging(nula);
        } else {
            db_.company.exec(nula);
        }
        QFile::remove(ficheiro);
        db_.program.set("Extractor", "P12", "");

        testsupport::RecordingRunHost host;
        processa(host, caso.manual);

        QStringList traps;
        for (const auto& r : db_.staging("select Opcao from LogGeral order by NumRegisto")) {
            if (r[0].toString().startsWith(QStringLiteral("Função"))) traps << r[0].toString();
        }
        EXPECT_EQ(traps, caso.traps);
        EXPECT_EQ(host.criticalMessages.size(), caso.traps.size());
        // Every run reaches its end row; the file is either whole or not written at all.
        const QString fim = db_.stagingScalar("select top 1 Opcao from LogGeral order by NumRegisto desc").toString();
        EXPECT_EQ(fim, caso.manual ? QStringLiteral("Fim do processamento manual.")
                                   : QStringLiteral("Fim do processamento automático."));
        QFile f(ficheiro);
        const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
        if (caso.traps.contains(QStringLiteral("Função Cria Ficheiro"))) {
            EXPECT_EQ(bytes, "<no file>");
            if (!caso.manual) {
                EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Em Curso"));
            }
            // The letters wait for the next run.
            int letras = 0;
            for (const char* t : {"Clientes", "Produtos", "Movimentos"}) {
                letras += db_.stagingScalar(QStringLiteral("select count(*) from ") + QString::fromLatin1(t) +
                                            QStringLiteral(" where isnull(Status,'')<>''"))
                              .toInt32();
            }
            EXPECT_GT(letras, 0);
        } else {
            EXPECT_FALSE(registos(bytes).empty());
            if (!caso.manual) {
                EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
            }
        }
    }

    QTemporaryDir dir_;
    testsupport::RunDay day_;
    testsupport::RunDatabases db_;
};

TEST(BadInputRunNull, NullInEveryCompanyColumnTheRunReadsGivesTheStepsPath) {
    const std::vector<CasoNulo> casos = {
        // Company customers: a Null code is no text and stops the import; the other columns are
        // staged as Null and written as blanks.
        {"Clientes", "Codigo", {"Função Processa Clientes"}},
        {"Clientes", "Descricao,Contribuinte,Morada,local", {}},
        {"Clientes", "Pais,Distrito,CodPost", {}},
        {"Clientes", "Grupo", {}},
        {"Clientes", "NumRegisto", {}},
        {"TabPostal", "descricao", {}},
        // Company products.
        {"Produtos", "Codigo", {"Função Processa Produtos"}},
        {"Produtos", "Descricao,UnidadeVenda", {}},
        {"Produtos", "ForneceExterno", {}},
        {"Produtos", "PrecoVenda1", {}},
        {"Fornece", "Descricao", {}},
        // Company sales lines: Null where the selection compares leaves the line out; a Null
        // identity is not staged; a Null quantity or discount counts as 0.
        {"MovProduto", "Identifica", {}},
        {"MovProduto", "Data", {}},
        {"MovProduto", "Tipo", {}},
        {"MovProduto", "Vendedor,Unidade", {}},
        {"MovProduto", "ValorIliq", {}},
        {"MovProduto", "TotalDesconto", {}},
        {"MovProduto", "QuantNormal", {}},
        {"MovProduto", "Numero", {}},
        {"MovProduto", "Terceiro", {}},
        {"MovProduto", "Fechado", {}},
        {"TabTipoMov", "AfectaCli", {}},
        // Link rules: a Null rule field is no text and stops its import.
        {"Velmora:LigaClientes", "Grupo", {"Função Processa Clientes"}},
        {"Velmora:LigaProdutos", "Fornecedor", {"Função Processa Produtos"}},
        {"Velmora:LigaProdutos", "PVP", {"Função Processa Produtos"}},
        {"Velmora:LigaMovimentos", "Mascara", {}},
        {"Velmora:LigaMovimentos", "TipoOferta,ApenasMovComValor", {}},
    };
    CorredorNulos corredor;
    EXPECT_EQ(corredor.corre(casos), static_cast<int>(casos.size()));
}

TEST(BadInputRunNull, NullInEveryStagedColumnTheRunReadsGivesTheStepsPath) {
    const std::vector<CasoNulo> casos = {
        // Text fields are written as blanks; a code that is Null no longer finds its company
        // record and is marked gone.
        {"Velmora:Clientes", "Codigo", {}},
        {"Velmora:Clientes", "Descricao,Designacao,Contribuinte,BI_NIPC,Morada,Localidade", {}},
        {"Velmora:Clientes", "Distrito,Concelho,CodPost,Pais,Segmento", {}},
        {"Velmora:Clientes", "Activo", {}},
        {"Velmora:Clientes", "Status", {}},
        {"Velmora:Produtos", "Codigo", {}},
        {"Velmora:Produtos", "Descricao,UnidadeVenda,NomeFornecedor", {}},
        {"Velmora:Produtos", "Activo", {}},
        // An amount counts as 0.
        {"Velmora:Produtos", "PVP", {}},
        {"Velmora:Movimentos", "Status", {}},
        {"Velmora:Movimentos", "Mascara", {}},
        {"Velmora:Movimentos", "Chave", {}},
        {"Velmora:Movimentos", "TipoVenda,CodigoVendedor,CodigoCliente,CodigoProduto,UnidadeVenda,IEC", {}},
        // A date has no digits of its own: the writer stops and the letters wait.
        {"Velmora:Movimentos", "Data", {"Função Cria Ficheiro"}},
        {"Velmora:Movimentos", "Quantidade,Valor", {}},
        // The manual run's re-marking reads the staged line's codes.
        {"Velmora:Movimentos", "CodigoCliente,CodigoProduto", {}, true},
        {"Velmora:Movimentos", "Data", {"Função Cria Ficheiro"}, true},
    };
    CorredorNulos corredor;
    EXPECT_EQ(corredor.corre(casos), static_cast<int>(casos.size()));
}

// ---------------------------------------------------------------------------------------------
// Characters outside the code page

TEST_F(BadInputRun, CharactersOutsideTheCodePageBecomeOneQuestionMarkEachAndKeepTheWidths) {
    // CJK, an emoji (one character, two UTF-16 units), a combining accent (composed with its
    // letter into the code page's "\u00e9" first) and the euro sign (which it has).
    const QString nome = QStringLiteral("Lojas \u6771\u4eac \U0001F600 Cafe\u0301 \u20ac");
    const QByteArray noFicheiro = "Lojas ?? ? Caf\xE9 \x80";
    // A name as wide as the file's field once each emoji is one character: 80 emoji are 80
    // characters of the file although they are 160 UTF-16 units.
    QString emojis;
    for (int i = 0; i < 80; ++i) emojis += QStringLiteral("\U0001F600");
    empresaBase();
    auto& c = db_.company;
    c.addCliente({.codigo = "C\u4e2d", .descricao = nome, .morada = "Rua \U0001F3E0", .codPost = "1000-001"});
    c.addProduto({.codigo = "P\U0001F600", .descricao = nome, .forneceExterno = "F1"});
    c.addLinha({.identifica = "L\u4e2d", .codigo = "P\U0001F600", .terceiro = "C\u4e2d", .tipo = "FT",
                .data = "2017-03-02", .unidade = "\u4e2d"});
    db_.program.set("Extractor", "P8", "Sistema \u4e2d\U0001F600");
    run(false);
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << host_.criticalMessages.join('|').toStdString()
                                                  << log().back().second.toStdString();
    auto rs = registos(file());
    ASSERT_EQ(rs.size(), 8u);
    // The settings file itself is Windows-1252, so P8 already reads back with "?".
    EXPECT_EQ(campo(rs[0], 1, 32), L("Sistema ??", 32));
    const QByteArray* rc = registoDe(rs, "1 011 ", "C?", 6);
    ASSERT_NE(rc, nullptr);
    EXPECT_EQ(campo(*rc, 16, 80), L(noFicheiro, 80));
    EXPECT_EQ(campo(*rc, 196, 60), L("Rua ?", 60));
    const QByteArray* rp = registoDe(rs, "1 101 ", "P?", 6);
    ASSERT_NE(rp, nullptr);
    EXPECT_EQ(campo(*rp, 6, 15), L("P?", 15));
    EXPECT_EQ(campo(*rp, 41, 80), L(noFicheiro, 80));
    const QByteArray* rl = registoDe(rs, "1 301 ", "20170302", 6);
    ASSERT_NE(rl, nullptr);
    EXPECT_EQ(campo(*rl, 30, 15), L("P?", 15));
    EXPECT_EQ(campo(*rl, 76, 5), L("?", 5));
    // The staging database keeps the characters themselves.
    EXPECT_EQ(db_.stagingScalar("select Descricao from Produtos where Codigo='P\U0001F600'").toString(), nome);

    // The widest name the product field takes, in emoji: exactly 80 "?" in the file.
    db_.execStaging("alter table Produtos alter column Descricao varchar(200) null");
    c.exec("alter table Produtos alter column Descricao varchar(200) null");
    c.setCampo("Produtos", "P\U0001F600", "Descricao", emojis);
    db_.execStaging("delete from LogGeral");
    run(false);
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << host_.criticalMessages.join('|').toStdString();
    rs = registos(file());
    rp = registoDe(rs, "1 102 ", "P?", 6);
    ASSERT_NE(rp, nullptr);
    EXPECT_EQ(campo(*rp, 41, 80), QByteArray(80, '?'));
}

}  // namespace
