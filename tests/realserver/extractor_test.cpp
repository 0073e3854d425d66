// The extractor's own statements on the target server: the staging schema, the three imports
// and whole runs, each done on the target and, the same way, on an embedded reference server
// built by the extractor tests' builders; the staged rows, the log and the .MOV bytes of the
// two must agree.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "data/connection.h"
#include "extractor/MainMod_configuracao.h"
#include "extractor/clsVelmora.h"
#include "extractor/modActDB.h"
#include "realserver/target_server.h"
#include "support/clsvelmora_access.h"
#include "support/company_db.h"
#include "support/recording_mail.h"
#include "support/recording_run_host.h"
#include "support/run_day.h"

namespace {

using data::Currency;
using realserver::lines;
using realserver::rowTexts;

const QString kVelmora = QStringLiteral("Velmora");
const QString kFicheiro = QStringLiteral("/NRT170307.MOV");

using testsupport::eur;

// A company with what a server may store otherwise than the engine: accents and apostrophes,
// NULLs, amounts with cents, a credit note, a line outside the period, a record the run skips.
void fillCompany(testsupport::RunDatabases& db) {
    auto& c = db.company;
    c.addFornecedor("F1", "Torrefacção Lda");
    c.addProduto({.codigo = "P1", .descricao = "Café Moído", .unidadeVenda = "KG", .forneceExterno = "F1",
                  .precoVenda = {eur("12.55")}});
    c.addProduto({.codigo = "P2", .descricao = "Chá d'Oeste", .unidadeVenda = "CX", .precoVenda = {eur("3")}});
    c.addProduto({.codigo = "P9", .descricao = "Modelo", .numRegisto = 0});
    c.addPostal("1000-001", "LISBOA");
    c.addPostal("4000-123", "PORTO");
    c.addCliente({.codigo = "C1", .descricao = "João Ávila", .contribuinte = "123456789", .morada = "Rua d'Ouro 1",
                  .local = "Lisboa", .codPost = "1000-001", .pais = "Portugal", .distrito = "Lisboa"});
    c.addCliente({.codigo = "C2", .descricao = "Maria Conceição", .local = "Porto", .codPost = "4000-123"});
    c.addCliente({.codigo = "C3", .descricao = "Sem postal"});
    c.addTipoMov("FT", "D");
    c.addTipoMov("NC", "S");
    c.addLinha({.identifica = "L1", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2017-03-01",
                .valorIliq = eur("25.1"), .quantNormal = eur("2.5"), .unidade = "KG"});
    c.addIec("L1");
    c.addLinha({.identifica = "L2", .codigo = "P2", .terceiro = "C2", .tipo = "NC", .data = "2017-02-12 17:30:00",
                .valorIliq = eur("10.5"), .totalDesconto = eur("0.5"), .vendedor = "7", .obsLinha = "Devolução"});
    c.addLinha({.identifica = "L3", .codigo = "P1", .terceiro = "C1", .tipo = "FT", .data = "2016-12-31"});
    c.addLinha({.identifica = "L4", .codigo = "P2", .terceiro = "C2", .tipo = "FT", .data = "2017-01-02",
                .fechado = "N"});
    db.addLigaProduto({});
    db.addLigaCliente({});
    db.addLigaMovimento({.mascara = "V", .tipo = "FT"});
    db.addLigaMovimento({.mascara = "D", .tipo = "NC"});
}

// What the two servers must hold alike after the same steps.
const char* const kStaged[] = {
    "select * from Produtos order by NumRegisto",
    "select * from Clientes order by NumRegisto",
    "select * from Movimentos order by NumRegisto",
    "select Opcao, Texto from LogGeral order by NumRegisto",
};

class RealServerRun : public ::testing::Test {
protected:
    // One server's side of a test: its login, company database, export folder and connections.
    struct Side {
        const char* name = "";
        QString server, login, password, company;
        QTemporaryDir export_{};
        std::unique_ptr<data::Connection> geral, gestao;
    };

    void SetUp() override {
        const auto target = realserver::Target::fromEnvironment();
        if (!target) GTEST_SKIP() << realserver::kNotSet;
        target_ = *target;
        if (target_.hasDatabase(kVelmora)) {
            GTEST_SKIP() << "the server already has a staging database Velmora, which these tests would change";
        }
        fillCompany(ref_);
        describe(refSide_, "embedded reference", ref_.server.serverName(), ref_.server.login(), ref_.server.password(),
                 ref_.company.name());
        refSide_.geral = std::move(ref_.geral);
        refSide_.gestao = std::move(ref_.gestao);

        company_ = std::make_unique<realserver::ScratchDatabase>(target_, realserver::uniqueName("VelmoraEmpresa"));
        for (const auto& r : ref_.server.rows(ref_.company.name(), "sp_tables")) {
            if (r[3].toString() != "TABLE") continue;
            realserver::copyTable(ref_.server, ref_.company.name(), target_, company_->name(), r[2].toString(), true);
        }
        describe(side_, "target", target_.server, target_.user, target_.password, company_->name());

        // The extractor makes its staging database itself, on the server its settings name.
        staging_ = std::make_unique<realserver::ScratchDatabase>(target_, kVelmora,
                                                                 realserver::ScratchDatabase::Origin::Adopt);
        use(side_);
        ActualizaBaseDados();
        ASSERT_TRUE(target_.hasDatabase(kVelmora)) << "ActualizaBaseDados made no staging database";
        for (const char* table : {"LigaProdutos", "LigaClientes", "LigaMovimentos"}) {
            realserver::copyTable(ref_.server, kVelmora, target_, kVelmora, table, false, {"NumRegisto"});
        }
        target_.exec(kVelmora, "delete from LogGeral");
        side_.geral = target_.connect(kVelmora);
        side_.gestao = target_.connect(company_->name());
    }

    static void describe(Side& s, const char* name, const QString& server, const QString& login,
                         const QString& password, const QString& company) {
        s.name = name;
        s.server = server;
        s.login = login;
        s.password = password;
        s.company = company;
    }

    void TearDown() override {
        for (Side* s : {&refSide_, &side_}) {
            if (s->geral) s->geral->Close();
            if (s->gestao) s->gestao->Close();
        }
    }

    // The settings point at the side's server, as the settings screen would have saved them.
    void use(Side& s) {
        ref_.program.set("Tramontix", "Database", s.company);
        ref_.program.set("Tramontix", "Server", s.server);
        ref_.program.set("Tramontix", "Login", s.login);
        ref_.program.set("Tramontix", "Password", testsupport::storedPassword(s.password));
        ref_.setExport(s.export_.path());
        LerConfiguracao();
    }

    // Runs the steps on the reference, then on the target; each host must show no failure.
    template <class Steps>
    void onBoth(Steps steps) {
        for (Side* s : {&refSide_, &side_}) {
            use(*s);
            testsupport::RecordingRunHost host;
            testsupport::RecordingMail mail;
            host.mail = &mail;
            steps(*s, host);
            EXPECT_EQ(host.criticalMessages.join(u'\n').toStdString(), "") << s->name;
        }
    }

    // The side's rows, a line each, its export folder written "<export>".
    static std::string rows(const Side& s, const char* sql) {
        return rowTexts(*s.geral, sql).join(u'\n').replace(s.export_.path(), "<export>").toStdString();
    }

    void expectSameStaging() {
        for (const char* sql : kStaged) EXPECT_EQ(rows(side_, sql), rows(refSide_, sql)) << sql;
    }

    static QByteArray file(const Side& s) {
        QFile f(s.export_.path() + kFicheiro);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }

    testsupport::RunDay day_;
    realserver::Target target_;
    testsupport::RunDatabases ref_;
    std::unique_ptr<realserver::ScratchDatabase> company_;
    std::unique_ptr<realserver::ScratchDatabase> staging_;
    Side refSide_, side_;
};

TEST_F(RealServerRun, StagingSchemaHasTheEmbeddedColumns) {
    for (const char* table : {"LigaClientes", "LigaProdutos", "LigaMovimentos", "Clientes", "Produtos", "Movimentos",
                              "HistFiles", "LogGeral"}) {
        EXPECT_EQ(testsupport::tableColumns(*side_.geral, table), testsupport::tableColumns(*refSide_.geral, table))
            << table;
    }
}

TEST_F(RealServerRun, ImportsStageWhatTheEmbeddedEngineStages) {
    onBoth([](Side& s, testsupport::RecordingRunHost& host) {
        clsVelmora v;
        clsVelmoraTestAccess::ProcessaProdutos(v, *s.geral, *s.gestao, host);
        clsVelmoraTestAccess::ProcessaClientes(v, *s.geral, *s.gestao, host);
        clsVelmoraTestAccess::ProcessaMovimentos(v, *s.geral, *s.gestao, "2017-01-01", "2017-03-07", 3, host);
    });
    expectSameStaging();
    // What the rules select, so that two empty stagings do not pass as equal.
    EXPECT_EQ(lines(*side_.geral, "select Codigo, Status from Produtos order by Codigo"), "P1|N\nP2|N");
    EXPECT_EQ(lines(*side_.geral, "select Codigo from Clientes order by Codigo"), "C1\nC2");
    EXPECT_EQ(lines(*side_.geral, "select Chave, Mascara, Data from Movimentos order by Chave"),
              "L1|V|2017-03-01\nL2|D|2017-02-12");
}

// Each run after the company changed as the statements say; the second sees changed and gone
// records.
struct RunCase {
    const char* name;
    std::vector<const char*> company;
    bool manual;
};
const RunCase kRuns[] = {
    {"first", {}, false},
    {"after changes", {"update Clientes set Descricao='Maria C. Lda' where Codigo='C2'",
                       "update Produtos set PrecoVenda1=13.4 where Codigo='P1'", "delete from Produtos where Codigo='P2'",
                       "delete from MovProduto where Identifica='L2'"},
     false},
    {"manual", {}, true},
};

TEST_F(RealServerRun, RunsWriteTheFileTheEmbeddedEngineWrites) {
    for (const RunCase& c : kRuns) {
        SCOPED_TRACE(c.name);
        onBoth([&](Side& s, testsupport::RecordingRunHost& host) {
            QFile::remove(s.export_.path() + kFicheiro);
            for (const char* sql : c.company) s.gestao->Execute(sql);
            clsVelmora().Processa(*s.geral, *s.gestao, "2017-01-01", "2017-03-07", 3, host, c.manual);
        });
        const QByteArray bytes = file(side_);
        EXPECT_EQ(bytes, file(refSide_));
        EXPECT_TRUE(bytes.contains("SISTEMA NORTA")) << bytes.toStdString();
        expectSameStaging();
        EXPECT_EQ(rows(side_, "select Filename from HistFiles"), rows(refSide_, "select Filename from HistFiles"));
    }
}

}  // namespace
