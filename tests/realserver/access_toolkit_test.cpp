// The access-right members, whose procedures answer through output parameters and return
// values, and the toolkit members a user's server sees, in a configuration database of the
// tests' own on the target (made from the one the toolkit tests build on the embedded engine).

#include <gtest/gtest.h>

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "data/connection.h"
#include "realserver/target_server.h"
#include "sqltoolkit/CSql.h"
#include "sqltoolkit/csql_test_support.h"
#include "support/borvia_config.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "util/EDiv.h"

namespace {

using realserver::lines;
using realserver::rowTexts;
using testsupport::AcessoConfig;

const char* const kAcessos = "select utilizador, empresa, chave, value, form, caption, ctrlcap from acessos "
                             "order by utilizador, empresa, chave";

class RealServerAccess : public ::testing::Test {
protected:
    void SetUp() override {
        const auto target = realserver::Target::fromEnvironment();
        if (!target) GTEST_SKIP() << realserver::kNotSet;
        target_ = *target;

        cfg_.addEmpresa({.codigo = "0001", .principal = true});
        cfg_.addEmpresa({.codigo = "0002", .independente = true});
        cfg_.addEmpresa({.codigo = "0003"});
        // The base rights (user XX of company XXXX) and ANA's older copy of two of them.
        cfg_.addAcesso({.utilizador = "XX", .chave = "K1", .form = "F1", .caption = "Cap 1", .empresa = "XXXX"});
        cfg_.addAcesso({.utilizador = "XX", .chave = "K2", .caption = "Cap 2", .empresa = "XXXX"});
        cfg_.addAcesso({.utilizador = "XX", .chave = "K3", .chave1 = "K3b", .form = "F3", .ctrl = "btn",
                        .caption = "Cap 3", .ctrlcap = "Botão", .empresa = "XXXX"});
        cfg_.addAcesso({.utilizador = "ANA", .chave = "K1", .value = 0, .form = "F1", .caption = "Antiga",
                        .empresa = "0001"});
        cfg_.addAcesso({.utilizador = "ANA", .chave = "K2", .value = 0, .caption = "Antiga 2", .empresa = "0001"});

        config_ = std::make_unique<realserver::ScratchDatabase>(target_, realserver::uniqueName("VelmoraConfig"));
        for (const char* table : {"empresas", "acessos", "UserManagement"}) {
            realserver::copyTable(ref_, "BorviaConfig", target_, config_->name(), table, true);
        }
        login_ = std::make_unique<csqltest::ConfiguredLogin>(target_.server, target_.user, target_.password);
        conn_ = target_.connect(config_->name());
        refConn_ = ref_.connect("BorviaConfig");
        // The procedures as the program installs them: a script of batches.
        gobjSql().CreateStoredProcedures(*conn_, testsupport::BorviaConfig::scriptProcedimentos());
    }

    // The texts of the message boxes shown, a line each.
    std::string shown() const {
        QStringList out;
        for (const auto& b : boxes_.shown) out << b.text;
        return out.join(u'\n').toStdString();
    }

    void TearDown() override {
        for (auto* c : {&conn_, &refConn_}) {
            if (*c) (*c)->Close();
        }
    }

    testsupport::TempEmbeddedServer ref_;
    testsupport::BorviaConfig cfg_{ref_};
    realserver::Target target_;
    std::unique_ptr<realserver::ScratchDatabase> config_;
    std::unique_ptr<csqltest::ConfiguredLogin> login_;
    std::unique_ptr<data::Connection> conn_, refConn_;
    testsupport::MessageBoxRecorder boxes_;
};

// The company marked principal, and per company whether it is independent, after the change.
struct ProcedureCase {
    const char* change;
    const char* principal;
    std::vector<std::pair<const char*, int>> independente;
};
const ProcedureCase kProcedures[] = {
    {nullptr, "0001", {{"0001", 0}, {"0002", 1}, {"0003", 0}, {"9999", 0}, {"", 1}}},
    {"update empresas set AcessoPrincipal=0, AcessoIndependente=1 where codigo<>'0002'", "",
     {{"0001", 1}, {"0003", 1}}},
    {"update empresas set AcessoPrincipal=1 where codigo='0003'", "0003", {{"0003", 1}}},
};

TEST_F(RealServerAccess, ProceduresAnswerThroughOutputParametersAndReturnValues) {
    gstrCodEmpresa() = "0002";  // what an empty company stands for
    for (const ProcedureCase& c : kProcedures) {
        SCOPED_TRACE(c.change ? c.change : "as made");
        if (c.change) conn_->Execute(c.change);
        EXPECT_EQ(eFun().GetAcessoPrincipal(*conn_), QString::fromUtf8(c.principal));
        for (const auto& [empresa, esperado] : c.independente) {
            EXPECT_EQ(eFun().GetAcessoIndependente(*conn_, empresa), esperado) << empresa;
        }
    }
    gstrCodEmpresa().clear();
}

// Copies of the base rights, one after the other, done alike on both servers.
struct CopyCase {
    const char* utilizador;
    const char* empresa;
    bool soSeNaoExiste;
};
const CopyCase kCopies[] = {{"ANA", "0001", false}, {"RUI", "0002", true}, {"RUI", "0002", false}};

TEST_F(RealServerAccess, BaseRightsCopyAsOnTheEmbeddedEngine) {
    for (const CopyCase& c : kCopies) {
        SCOPED_TRACE(c.utilizador);
        for (data::Connection* conn : {refConn_.get(), conn_.get()}) {
            eFun().AccCopiaAcessosBase(*conn, c.utilizador, c.empresa, c.soSeNaoExiste);
        }
        EXPECT_EQ(lines(*conn_, kAcessos), lines(*refConn_, kAcessos));
    }
    EXPECT_EQ(shown(), "");
    // ANA's row with a form takes the base's captions, the one without keeps its own, the
    // missing one is added allowed.
    EXPECT_EQ(lines(*conn_, "select chave, value, caption from acessos where utilizador='ANA' order by chave"),
              "K1|0|Cap 1\nK2|0|Antiga 2\nK3|1|Cap 3");
}

// A toolkit member on the target, as text, and what it must give.
struct ToolkitCase {
    const char* name;
    std::function<QString(data::Connection&, const QString& database, const realserver::Target&)> call;
    QString expected;
};

QString yes(bool b) { return b ? QStringLiteral("yes") : QStringLiteral("no"); }

const std::vector<ToolkitCase>& toolkitCases() {
    static const std::vector<ToolkitCase> cases = {
        {"CreateDbConnection",
         [](data::Connection&, const QString& db, const realserver::Target& t) {
             data::Connection c;
             const bool ok = gobjSql().CreateDbConnection(c, t.server, db, t.user, t.password, 30);
             data::Connection refused;
             std::int32_t code = 0;
             const bool wrong = gobjSql().CreateDbConnection(refused, t.server, db, t.user, t.password + "x", 30, code);
             return yes(ok) + yes(wrong) + yes(code != 0);
         },
         "yesnoyes"},
        {"ValidateLogin",
         [](data::Connection&, const QString& db, const realserver::Target& t) {
             const bool right = gobjSql().ValidateLogin(t.user, t.password, db);
             return yes(right) + yes(gobjSql().ValidateLogin(t.user, t.password + "x", db));
         },
         "yesno"},
        {"CheckDatabase",
         [](data::Connection&, const QString& db, const realserver::Target&) {
             bool naoSeSabe = true;
             const bool absent = gobjSql().CheckDatabase(db + "_nenhuma", naoSeSabe);
             const bool present = gobjSql().CheckDatabase(db);
             return yes(present) + yes(absent) + yes(naoSeSabe);
         },
         "yesnono"},
        {"table members",
         [](data::Connection& c, const QString&, const realserver::Target&) {
             CSql& s = gobjSql();
             QString out = yes(s.SQLCheckTable(c, "Teste"));
             out += yes(s.SQLCreateTable(c, "Teste"));
             s.SQLAddField(c, "Teste", "Nome", "varchar(3) null ");
             s.SQLChangeField(c, "Teste", "Nome", "varchar(30) null ");
             s.SQLAddField(c, "Teste", "Extra", "int null ");
             s.SQLCreateIndex(c, "IX_Teste_Nome", "Teste", "Nome");
             c.Execute("insert into Teste (Nome) values ('um nome mais longo')");
             for (const bool b : {s.SQLCheckTable(c, "Teste"), s.SQLCheckField(c, "Teste", "Nome"),
                                  s.SQLCheckIndex(c, "Teste", "IX_Teste_Nome"), s.SQLCheckIndex(c, "Teste", "IX_Outro")}) {
                 out += yes(b);
             }
             out += u'|' + rowTexts(c, "select NumRegisto, Nome, Extra from Teste").join(u',') + u'|';
             // A column under an index stays, on SQL Server as on the engine.
             for (const char* coluna : {"Extra", "Nome"}) {
                 out += yes(s.SQLDropField(c, "Teste", coluna));
                 out += yes(s.SQLCheckField(c, "Teste", coluna));
             }
             return out;
         },
         "noyesyesyesyesno|1|um nome mais longo|NULL|yesnonoyes"},
        {"ExecutaSQL",
         [](data::Connection&, const QString& db, const realserver::Target&) {
             data::Recordset rs = gobjSql().ExecutaSQL(db, "select codigo from empresas order by codigo");
             QStringList out;
             for (; !rs.EOF(); rs.MoveNext()) out << rs.Fields(0L).Value().toString();
             return out.join(u',');
         },
         "0001,0002,0003"},
        {"DuplicateStructure",
         [](data::Connection& c, const QString& db, const realserver::Target& t) {
             c.Execute(gobjSql().DuplicateStructure(t.server, t.user, t.password, db, "acessos", "acessos2"));
             const bool same = testsupport::tableColumns(c, "acessos2") == testsupport::tableColumns(c, "acessos");
             return yes(same);
         },
         "yes"},
        {"CheckForReadOnly",
         [](data::Connection& c, const QString& db, const realserver::Target&) {
             return yes(gobjSql().CheckForReadOnly(c, db));
         },
         "no"},
    };
    return cases;
}

TEST_F(RealServerAccess, ToolkitMembersOnTheServer) {
    for (const ToolkitCase& c : toolkitCases()) {
        EXPECT_EQ(c.call(*conn_, config_->name(), target_).toStdString(), c.expected.toStdString()) << c.name;
    }
    EXPECT_EQ(shown(), "");
}

}  // namespace
