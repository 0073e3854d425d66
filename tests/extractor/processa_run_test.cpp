// Whole runs of Processa over a small company: the file of each run byte for byte, the status
// letters run after run, the log rows in order, the panel texts, P11/P12, the mail call, and
// the failures that end a run or let it go on.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "data/connection.h"
#include "extractor/MailHost.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/clsVelmora.h"
#include "platform/clock.h"
#include "support/company_db.h"
#include "support/recording_mail.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"

namespace {

using data::Currency;
using data::Variant;
using Rows = std::vector<std::pair<QString, QString>>;

const QByteArray kCrLf("\r\n");
const QString kNome = QStringLiteral("NRT170307.MOV");

QByteArray L(const QByteArray& bytes, int width) { return bytes.leftJustified(width, ' '); }
using testsupport::eur;

class ProcessaRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_.setExport(dir_.path());
        ConfiguracaoRecord& cfg = Configuracao();
        cfg.gstrEmailServer = "smtp.norta.pt";
        cfg.gstrEmailTo = "a@norta.pt;b@norta.pt";
        cfg.gstrEmailFrom = "velmora@norta.pt";
        cfg.gstrEmailLogin = "velmora";
        cfg.gstrEmailPassword = "segredo";
        cfg.gintSMTPPort = 587;
        cfg.gblnSMTPSSL = true;
        host_.mail = &mail_;

        auto& c = db_.company;
        c.addFornecedor("F1", "Torrefacção Lda");
        c.addProduto({.codigo = "P1", .descricao = "Café Moído", .unidadeVenda = "KG", .forneceExterno = "F1",
                      .precoVenda = {eur("12.5")}});
        c.addProduto({.codigo = "P2", .descricao = "Chá Verde", .unidadeVenda = "CX", .forneceExterno = "F7",
                      .precoVenda = {eur("3")}});
        c.addProduto({.codigo = "P9", .descricao = "Sem vendas", .precoVenda = {eur("1")}});
        c.addPostal("1000-001", "LISBOA");
        c.addPostal("4000-123", "PORTO");
        c.addCliente({.codigo = "C1", .descricao = "João Ávila", .contribuinte = "123456789", .morada = "Rua d'Ouro 1",
                      .local = "Lisboa", .codPost = "1000-001", .pais = "Portugal", .distrito = "Lisboa"});
        c.addCliente({.codigo = "C2", .descricao = "Maria Conceição", .contribuinte = "PT501234567",
                      .local = "Porto", .codPost = "4000-123", .pais = "Portugal", .distrito = "Porto"});
        c.addCliente({.codigo = "C9", .descricao = "Sem compras", .codPost = "1000-001"});
        c.addTipoMov("FT", "D");
        c.addTipoMov("NC", "S");
        c.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-01",
                    .valorIliq = eur("25"), .quantNormal = eur("2"), .vendedor = "01", .unidade = "KG"});
        c.addIec("L1");
        c.addLinha({.identifica = "L2", .codigo = "P2", .terceiro = "C2", .tipo = "NC", .data = "2017-03-02",
                    .valorIliq = eur("10.5"), .totalDesconto = eur("0.5"), .quantNormal = eur("1"), .vendedor = "7",
                    .unidade = "CX"});
        db_.addLigaProduto({});
        db_.addLigaCliente({});
        db_.addLigaMovimento({.mascara = "V", .tipo = "FT"});
        db_.addLigaMovimento({.mascara = "D", .tipo = "NC"});
    }
    void run(bool manual, const QString& dataIni = "2017-01-01", const QString& dataFim = "2017-03-07") {
        clsVelmora v;
        v.Processa(*db_.geral, *db_.gestao, dataIni, dataFim, 3, host_, manual);
    }

    QByteArray file(const QString& folder = QString()) const {
        QFile f((folder.isEmpty() ? dir_.path() : folder) + u'/' + kNome);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }

    Rows log() const {
        Rows out;
        for (const auto& r : db_.staging("select Opcao, Texto from LogGeral order by NumRegisto")) {
            out.emplace_back(r[0].toString(), r[1].isNull() ? QStringLiteral("<null>") : r[1].toString());
        }
        return out;
    }
    void clearLog() const { db_.execStaging("delete from LogGeral"); }

    Rows letters(const QString& table, const QString& key = "Codigo") const {
        Rows out;
        for (const auto& r : db_.staging(QStringLiteral("select ") + key + QStringLiteral(", Status from ") + table +
                                         QStringLiteral(" order by ") + key)) {
            out.emplace_back(r[0].toString(), r[1].isNull() ? QStringLiteral("<null>") : r[1].toString());
        }
        return out;
    }

    static QByteArray header() {
        return "0" + L("SISTEMA NORTA", 32) + "20170307" + "140509" + L("NRT170307.MOV", 14) + kCrLf;
    }
    static QByteArray trailer(const char* counts, const QByteArray& total) {
        return "9" + QByteArray(counts) + "00000000" + QByteArray(16 - total.size(), ' ') + total + kCrLf;
    }
    // The staged customers and products of the company above, with the letter's record type.
    static QByteArray c1(const char* tipo) {
        return tipo + L("C1", 10) + L("Jo\xe3o \xc1vila", 80) + L("Jo\xe3o \xc1vila", 80) + " 123456789" + L("", 10) +
               L("Rua d'Ouro 1", 60) + L("Lisboa", 50) + L("Lisboa", 50) + L("", 50) + L("1000 - 001 LISBOA", 60) +
               L("Portugal", 50) + L("", 50) + kCrLf;
    }
    static QByteArray c2(const char* tipo) {
        return tipo + L("C2", 10) + L("Maria Concei\xe7\xe3o", 80) + L("Maria Concei\xe7\xe3o", 80) + "PT50123456" +
               L("", 10) + L("", 60) + L("Porto", 50) + L("Porto", 50) + L("", 50) + L("4000 - 123 PORTO", 60) +
               L("Portugal", 50) + L("", 50) + kCrLf;
    }
    static QByteArray p1(const char* tipo) {
        return tipo + L("P1", 15) + L("P1", 20) + L("Caf\xe9 Mo\xed" "do", 80) + L("KG", 5) + "000000001250 " +
               L("Torrefac\xe7\xe3o Lda", 50) + kCrLf;
    }
    static QByteArray p2(const char* tipo) {
        return tipo + L("P2", 15) + L("P2", 20) + L("Ch\xe1 Verde", 80) + L("CX", 5) + "000000000300 " + L("", 50) +
               kCrLf;
    }
    static QByteArray l1(const char* status) {
        return QByteArray("1 30") + status + "20170301" + "C" + L("01", 5) + L("C1", 10) + L("P1", 15) +
               "000000000200 " + "000000002500 " + "EUR  " + L("KG", 5) + "S" + kCrLf;
    }
    static QByteArray l2(const char* status) {
        return QByteArray("1 31") + status + "20170302" + L("7", 5) + L("C2", 10) + L("P2", 15) + "000000000100 " +
               "000000001000 " + "EUR  " + L("CX", 5) + L("", 100) + "N" + kCrLf;
    }

    Rows automaticLog(const QString& path = QString()) const {
        return {{"Início do processamento automático...", "2017-03-07"},
                {"Processando produtos...", ""},
                {"Processando clientes...", ""},
                {"Processando movimentos...", ""},
                {"Criando ficheiro...", path.isNull() ? dir_.path() + u'/' + kNome : path},
                {"Enviando ficheiro...", "a@norta.pt;b@norta.pt"},
                {"Fim do processamento automático.", "2017-03-07"}};
    }

    QTemporaryDir dir_;
    testsupport::RunDay day_;
    testsupport::RunDatabases db_;
    testsupport::RecordingRunHost host_;
    testsupport::RecordingMail mail_;
};

TEST_F(ProcessaRunTest, AutomaticRunsOneAfterAnother) {
    // First run: everything new; what no sales line refers to is deleted before the file.
    run(false);
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << host_.criticalMessages.join('|').toStdString();
    EXPECT_EQ(file(), header() + c1("1 011 ") + c2("1 011 ") + p1("1 101 ") + p2("1 101 ") + l1("1 ") + l2("1 ") +
                          trailer("0000000600000006000000000000000000000002000000020000000200000000", "3500"));
    EXPECT_EQ(log(), automaticLog());
    EXPECT_EQ(letters("Clientes"), (Rows{{"C1", ""}, {"C2", ""}}));
    EXPECT_EQ(letters("Produtos"), (Rows{{"P1", ""}, {"P2", ""}}));
    EXPECT_EQ(letters("Movimentos", "Chave"), (Rows{{"L1", ""}, {"L2", ""}}));
    EXPECT_EQ(LerIni("Extractor", "P11"), QStringLiteral("2017-03-07 14:05:09"));
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 1);

    // The panel: each step's text in order, emptied at the end.
    QStringList own;
    for (const QString& t : host_.panelTexts) {
        if (t.startsWith("Processando") || t.startsWith("Finalizando") || t.startsWith("Criando") ||
            t.startsWith("Enviando") || t.startsWith("Acertando")) {
            own << t;
        }
    }
    EXPECT_EQ(own, (QStringList{"Processando Produtos...", "Processando Clientes...",
                                "Processando Movimentos (2017-01-01 a 2017-03-07)", "Finalizando Processo...",
                                "Criando ficheiro NRT170307.MOV", "Enviando ficheiro NRT170307.MOV"}));
    EXPECT_EQ(host_.panel, QString());

    // The mail: every argument, the file there to attach, the window unloaded afterwards.
    ASSERT_EQ(mail_.calls.size(), 1u);
    const auto& m = mail_.calls[0];
    EXPECT_EQ(m.texts, (QStringList{"smtp.norta.pt", "a@norta.pt;b@norta.pt", "velmora@norta.pt",
                                    "Extractor de Dados - Norta", "", "", dir_.path(), kNome, "velmora", "segredo",
                                    ""}));
    EXPECT_FALSE(m.receipt);
    EXPECT_EQ(m.port, 587);
    EXPECT_TRUE(m.ssl);
    EXPECT_TRUE(m.fileThere);
    EXPECT_EQ(mail_.events, (QStringList{"send", "unload"}));

    // A second run with no change: header and trailer only, under the same name.
    clearLog();
    run(false);
    EXPECT_EQ(file(), header() + trailer("0000000000000000000000000000000000000000000000000000000000000000", "000"));
    EXPECT_EQ(log(), automaticLog());

    // A customer gone from the company is sent as gone at every later run, and stays active.
    db_.company.removeCliente("C2");
    for (int i = 0; i < 2; ++i) {
        run(false);
        EXPECT_EQ(file(), header() + c2("1 013 ") +
                              trailer("0000000100000000000000000000000100000001000000000000000000000000", "000"))
            << "run " << i;
        EXPECT_EQ(letters("Clientes"), (Rows{{"C1", ""}, {"C2", ""}}));
        EXPECT_EQ(db_.stagingScalar("select Activo from Clientes where Codigo='C2'").toInt32(), 1);
    }
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
}

TEST_F(ProcessaRunTest, ManualRunSendsThePeriodAgainAndLeavesTheNewToTheNextRun) {
    run(false);
    clearLog();
    db_.program.set("Extractor", "P11", "2017-03-07 14:05:09");
    db_.program.set("Extractor", "P12", "Em Curso");
    const QByteArray ini = [&] {
        QFile f(db_.program.iniFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    // A new product sold in the period, and a customer nobody buys for, staged by hand as
    // inactive with no letter: the manual run does not delete it.
    db_.company.addProduto({.codigo = "P3", .descricao = "Novo", .unidadeVenda = "UN", .precoVenda = {eur("2")}});
    db_.company.addLinha({.identifica = "L3", .codigo = "P3", .terceiro = "C1", .tipo = "FT", .data = "2017-03-05",
                          .valorIliq = eur("8"), .quantNormal = eur("4"), .vendedor = "01", .unidade = "UN"});
    db_.execStaging("insert into Clientes (Activo, Status, Codigo, Descricao, Contribuinte, Morada, Localidade) "
                    "values (0, '', 'C9', 'Sem compras', NULL, NULL, NULL)");

    // A past period: the name still carries today's date.
    run(true, "2017-03-01", "2017-03-05");
    EXPECT_TRUE(host_.criticalMessages.isEmpty()) << host_.criticalMessages.join('|').toStdString();
    const QByteArray l3 = QByteArray("1 30") + "1 " + "20170305" + "C" + L("01", 5) + L("C1", 10) + L("P3", 15) +
                          "000000000400 " + "000000000800 " + "EUR  " + L("UN", 5) + "N" + kCrLf;
    const QByteArray p3 = "1 101 " + L("P3", 15) + L("P3", 20) + L("Novo", 80) + L("UN", 5) + "000000000200 " +
                          L("", 50) + kCrLf;
    EXPECT_EQ(file(), header() + c1("1 012 ") + c2("1 012 ") + p1("1 102 ") + p2("1 102 ") + p3 + l1("2 ") + l3 +
                          l2("2 ") +
                          trailer("0000000800000002000000060000000000000002000000030000000300000000", "4300"));
    EXPECT_EQ(log(), (Rows{{"Início do processamento manual...", "2017-03-05"},
                           {"Processando produtos...", ""},
                           {"Processando clientes...", ""},
                           {"Processando movimentos...", ""},
                           {"Criando ficheiro...", dir_.path() + u'/' + kNome},
                           {"Enviando ficheiro...", "a@norta.pt;b@norta.pt"},
                           {"Fim do processamento manual.", "2017-03-05"}}));
    EXPECT_TRUE(host_.panelTexts.contains("Acertando clientes/produtos"));
    ASSERT_EQ(mail_.calls.size(), 2u);
    EXPECT_EQ(mail_.calls[1].texts[3], QStringLiteral("Extractor de Dados - Norta (Manual)"));

    // What it found new is gone again; the rest stays with empty letters; the settings file is
    // exactly as it was.
    EXPECT_EQ(letters("Clientes"), (Rows{{"C1", ""}, {"C2", ""}, {"C9", ""}}));
    EXPECT_EQ(letters("Produtos"), (Rows{{"P1", ""}, {"P2", ""}}));
    EXPECT_EQ(letters("Movimentos", "Chave"), (Rows{{"L1", ""}, {"L2", ""}}));
    QFile after(db_.program.iniFile());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), ini);

    // The next automatic run takes them in, and sends them, as new.
    run(false);
    EXPECT_EQ(file(), header() + p3 + l3 +
                          trailer("0000000200000002000000000000000000000000000000010000000100000000", "800"));
}

TEST_F(ProcessaRunTest, AFailingStepLetsTheRunGoOnAndAFailingExportKeepsEmCurso) {
    // A second rule row whose field holds Null stops the product import after the first row's
    // products; a prefix of five characters stops the export writer only.
    db_.addLigaProduto({.grupo = Variant::null()});
    db_.program.set("Extractor", "P15", "NORTA");
    run(false);
    EXPECT_EQ(host_.criticalMessages, (QStringList{"Falha no Processo", "Falha no Processo"}));
    const Rows got = log();
    ASSERT_EQ(got.size(), 10u);
    const QStringList labels = [&] {
        QStringList l;
        for (const auto& r : got) l << r.first;
        return l;
    }();
    EXPECT_EQ(labels, (QStringList{"Início do processamento automático...", "Processando produtos...",
                                   "Função Processa Produtos", "Processando clientes...", "Processando movimentos...",
                                   "Criando ficheiro...", "Função Cria Ficheiro", "Enviando ficheiro...",
                                   "Envio de Email - Form_Activate", "Fim do processamento automático."}));
    EXPECT_EQ(got[5].second, dir_.path() + QStringLiteral("/NORTA170307.MOV"));
    EXPECT_FALSE(QFile::exists(dir_.path() + QStringLiteral("/NORTA170307.MOV")));
    // No mail goes out without its file; the letters and Em Curso stay.
    EXPECT_EQ(got[8].second, QStringLiteral("Não foi possível enviar E-mail\r\rFile not found: ") + dir_.path() +
                                 QStringLiteral("/NORTA170307.MOV"));
    EXPECT_TRUE(mail_.calls.empty());
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Em Curso"));
    EXPECT_EQ(letters("Clientes"), (Rows{{"C1", "N"}, {"C2", "N"}}));
    EXPECT_EQ(db_.stagingScalar("select count(*) from HistFiles").toInt32(), 0);
}

TEST_F(ProcessaRunTest, TheRunsOwnFailuresEndIt) {
    const auto labels = [&] {
        QStringList l;
        for (const auto& r : log()) l << r.first;
        return l;
    };

    // An apostrophe in the export path or the recipients is logged intact; the run goes on.
    const QString quoted = dir_.path() + QStringLiteral("/it's");
    ASSERT_TRUE(QDir().mkpath(quoted));
    db_.program.set("Extractor", "P3", quoted);
    Configuracao().gstrEmailTo = "o'neill@example.com";
    run(false);
    EXPECT_EQ(labels(), (QStringList{"Início do processamento automático...", "Processando produtos...",
                                     "Processando clientes...", "Processando movimentos...", "Criando ficheiro...",
                                     "Enviando ficheiro...", "Fim do processamento automático."}));
    EXPECT_EQ(log()[4].second, quoted + u'/' + kNome);
    EXPECT_EQ(log()[5].second, QStringLiteral("o'neill@example.com"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());
    EXPECT_TRUE(QFile::exists(quoted + u'/' + kNome));
    EXPECT_EQ(mail_.calls.size(), 1u);
    EXPECT_EQ(LerIni("Extractor", "P12"), QStringLiteral("Concluído"));

    // An error in the manual re-marking: no file, no mail, no end row.
    clearLog();
    mail_.calls.clear();
    host_ = testsupport::RecordingRunHost();
    host_.mail = &mail_;
    db_.program.set("Extractor", "P3", dir_.path());
    db_.execStaging("drop table Movimentos");
    run(true, "2017-03-01", "2017-03-07");
    EXPECT_EQ(labels(), (QStringList{"Início do processamento manual...", "Processando produtos...",
                                     "Processando clientes...", "Processando movimentos...",
                                     "Função Processa Movimentos", "Função Processa"}));
    EXPECT_EQ(host_.criticalMessages, (QStringList{"Falha no Processo", "Falha no Processo"}));
    EXPECT_FALSE(QFile::exists(dir_.path() + u'/' + kNome));
    EXPECT_TRUE(mail_.calls.empty());
}

TEST_F(ProcessaRunTest, EmptyFolderAndRecipients) {
    // No folder: the bare name in the current folder, and an empty folder for the mail.
    QTemporaryDir current;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(current.path()));
    db_.program.set("Extractor", "P3", "");
    run(false);
    ASSERT_EQ(mail_.calls.size(), 1u);
    EXPECT_TRUE(mail_.calls[0].fileThere);
    QDir::setCurrent(previous);
    EXPECT_EQ(log(), automaticLog(kNome));
    EXPECT_TRUE(file(current.path()).startsWith(header()));
    EXPECT_EQ(mail_.calls[0].texts[6], QString());

    // Blank recipients: no mail step at all.
    clearLog();
    host_ = testsupport::RecordingRunHost();
    host_.mail = &mail_;
    db_.program.set("Extractor", "P3", dir_.path());
    Configuracao().gstrEmailTo = "   ";
    run(false);
    Rows expected = automaticLog();
    expected.erase(expected.begin() + 5);
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(mail_.calls.size(), 1u);
    EXPECT_FALSE(host_.panelTexts.contains("Enviando ficheiro NRT170307.MOV"));
    EXPECT_TRUE(host_.criticalMessages.isEmpty());

    // Recipients but no mail window to send with: the run's own failure, after the mail's row.
    clearLog();
    Configuracao().gstrEmailTo = "a@norta.pt";
    host_.mail = nullptr;
    run(false);
    const Rows got = log();
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2].first, QStringLiteral("Enviando ficheiro..."));
    EXPECT_EQ(got.back().first, QStringLiteral("Função Processa"));
    EXPECT_EQ(host_.criticalMessages, QStringList{"Falha no Processo"});
}

}  // namespace

// An error in the middle of the manual re-marking (the staging database refuses one product's
// letter after the period's lines and another customer and product took theirs): the
// re-marking is undone whole, so no half-marked period reaches the next automatic file; the
// run ends through its own trap without a file.
TEST_F(ProcessaRunTest, AnErrorInTheManualReMarkingUndoesAllOfIt) {
    run(false);
    clearLog();
    QFile::remove(dir_.path() + u'/' + kNome);
    // Triggers are written as another tool would: the engine speaks T-SQL only.
    const auto sqlite = [&](const QString& sql) {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {db_.server.databaseFile(QStringLiteral("Velmora")), sql});
        return p.waitForFinished() && p.exitCode() == 0;
    };
    ASSERT_TRUE(sqlite("create trigger recusa before update on Produtos when new.Codigo='P2' and new.Status='A' "
                       "begin select raise(abort, 'recusado'); end;"));

    run(true, "2017-03-01", "2017-03-07");
    const Rows l = log();
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[4].first, QStringLiteral("Função Processa"));
    EXPECT_TRUE(l[4].second.contains(QStringLiteral("recusado"))) << l[4].second.toStdString();
    EXPECT_FALSE(QFile::exists(dir_.path() + u'/' + kNome));
    EXPECT_EQ(letters("Movimentos", "Chave"), (Rows{{"L1", ""}, {"L2", ""}}));
    // Only the imports' own letters: the records nobody buys come in again as new.
    EXPECT_EQ(letters("Clientes"), (Rows{{"C1", ""}, {"C2", ""}, {"C9", "N"}}));
    EXPECT_EQ(letters("Produtos"), (Rows{{"P1", ""}, {"P2", ""}, {"P9", "N"}}));

    // The next automatic run sends nothing the manual run had begun to mark.
    ASSERT_TRUE(sqlite("drop trigger recusa;"));
    run(false);
    const QByteArray f = file();
    EXPECT_TRUE(f.startsWith(header()));
    EXPECT_EQ(f.count('\n'), 2) << "a header and a trailer, no record";
}
