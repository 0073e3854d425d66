// Access rights against the configuration database BorviaConfig and its three procedures.
#include <gtest/gtest.h>

#include "data/connection.h"
#include "data/recordset.h"
#include "platform/messagebox.h"
#include "support/borvia_config.h"
#include "support/embedded_server.h"
#include "support/messagebox_recorder.h"
#include "util/EDiv.h"

using testsupport::AcessoConfig;
using testsupport::BorviaConfig;
using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;

namespace {

// The program's services as the access rights see them: OpenConfig opens BorviaConfig of the
// test server with its login (or a wrong password), and is counted.
class AcessosTest : public ::testing::Test {
protected:
    void SetUp() override {
        util::ServicosPrograma s;
        s.OpenConfig = [this](data::Connection& conn, std::int32_t& n, QString& t) {
            ++openings_;
            try {
                conn.setConnectionString("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + server_.login() +
                                         ";Initial Catalog=BorviaConfig;Data Source=" + server_.serverName());
                conn.Open(QString(), QString(), password_);
                return true;
            } catch (const platform::RuntimeError& e) {
                n = static_cast<std::int32_t>(e.number());
                t = e.description();
                return false;
            }
        };
        s.AcertaLocale = [this] { ++localeRefreshes_; };
        s.errC = &AcessosTest::errC;
        s.errD = &AcessosTest::errD;
        util::setServicosPrograma(std::move(s));
        util::setMousePointerHook([this](std::int16_t p) { pointer_.push_back(p); });
        password_ = server_.password();
    }
    void TearDown() override {
        util::setServicosPrograma({});
        util::setMousePointerHook({});
    }
    static std::int32_t& errC() {
        static std::int32_t v = 0;
        return v;
    }
    static QString& errD() {
        static QString v;
        return v;
    }
    std::unique_ptr<data::Connection> config() const { return server_.connect("BorviaConfig"); }

    TempEmbeddedServer server_;
    QString password_;
    int openings_ = 0;
    int localeRefreshes_ = 0;
    std::vector<std::int16_t> pointer_;
    MessageBoxRecorder boxes_;
    EDiv& e_ = eFun();
    const QString app_ = util::exeNameSemExtensao();
};

}  // namespace

TEST_F(AcessosTest, StatementTextsDoubleTheApostrophesOfValues) {
    EXPECT_EQ(acessotexto::CheckAcesso("O'Neill", "k", "0001"),
              "select * from acessos where utilizador='O''Neill' and chave='k' and empresa='0001'");
    EXPECT_EQ(acessotexto::CheckUtilizApp("app", "ana", "0001"),
              "select chave,value from acessos where chave='app' and utilizador='ana' and empresa='0001'");
    EXPECT_EQ(acessotexto::InsereApp("ana", "app", "0001"),
              " insert into acessos  (utilizador,chave,value,chave1,form,ctrl,caption,ctrlcap,empresa) "
              "values('ana','app', 0,'app' , '' , '','','','0001'  )");
    EXPECT_EQ(acessotexto::InsereCopia("ana", "k", "k1", "f", "c", "Cap'", "cc", "0001"),
              " insert into acessos  (utilizador,chave,value,chave1,form,ctrl,caption,ctrlcap,empresa) "
              "values('ana','k',1,'k1' , 'f' , 'c','Cap''','cc','0001'  )");
    EXPECT_EQ(acessotexto::ActualizaCaptions("a", "b", "k", "ana", "0001"),
              "update acessos set caption='a', ctrlcap='b'   where chave='k' and utilizador='ana' and empresa='0001' ");
    EXPECT_EQ(acessotexto::Apaga("ana", "TODOS"), "delete from acessos where utilizador='ana' and empresa='TODOS'");
    EXPECT_EQ(acessotexto::Apaga("TODOS", "0001"), "delete from acessos where empresa='0001'");
    EXPECT_EQ(acessotexto::Apaga("TODOS", "TODOS"), "delete from acessos");
}

TEST_F(AcessosTest, BuiltInUsersPassWithoutTheDatabase) {
    EXPECT_TRUE(e_.AccCheckAcesso("sa", "0001", "App", "Frm", "Ctrl"));
    EXPECT_TRUE(e_.AccCheckAcesso("Admin", "0001"));
    EXPECT_EQ(openings_, 0);
    EXPECT_EQ(localeRefreshes_, 2) << "the regional settings are read first";
    data::Connection closed;
    EXPECT_TRUE(e_.AccCheckUtilizApp(closed, "aDmIn", "0001"));
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(AcessosTest, ApplicationRowIsCreatedOnceAndRefusesUntilChanged) {
    BorviaConfig cfg(server_, false);
    auto conn = config();
    e_.AccCreateAPP(*conn, "O'Neill", "0001");
    e_.AccCreateAPP(*conn, "O'Neill", "0001");
    const auto rows = cfg.acessos();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].utilizador.toString(), "O'Neill");
    EXPECT_EQ(rows[0].chave.toString(), app_);
    EXPECT_EQ(rows[0].chave1.toString(), app_);
    EXPECT_EQ(rows[0].value.toInt32(), 0);
    EXPECT_EQ(rows[0].form.toString(), "");
    EXPECT_EQ(rows[0].empresa.toString(), "0001");
    e_.AccCreateAPP(*conn, "O'Neill", "0002");
    EXPECT_EQ(cfg.acessos().size(), 2u);

    // Errors of the check are shown under its own title and refuse.
    data::Connection closed;
    EXPECT_FALSE(e_.AccCheckUtilizApp(closed, "ana", "0001"));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].title, "AccCheckUtilizApp");
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::Critical);
    EXPECT_TRUE(boxes_.shown[0].text.contains(" - "));
    EXPECT_THROW(e_.AccCreateAPP(closed, "ana", "0001"), platform::RuntimeError) << "AccCreateAPP traps nothing";
}

TEST_F(AcessosTest, DeletingRightsByUserCompanyOrEverything) {
    BorviaConfig cfg(server_, false);
    for (const char* u : {"ana", "rui"}) {
        for (const char* c : {"0001", "0002"}) cfg.addAcesso({.utilizador = u, .chave = "k", .empresa = c});
    }
    auto conn = config();
    e_.AccApagaTodososAcessos(*conn, "ana", "TODOS");
    EXPECT_EQ(cfg.acessos().size(), 4u) << "a company TODOS is taken literally for one user: no row has it";
    e_.AccApagaTodososAcessos(*conn, "ana", "0001");
    EXPECT_EQ(cfg.acessos("utilizador='ana'").size(), 1u);
    e_.AccApagaTodososAcessos(*conn, "TODOS", "0002");
    EXPECT_EQ(cfg.acessos().size(), 1u);
    EXPECT_EQ(cfg.acessos()[0].utilizador.toString(), "rui");
    e_.AccApagaTodososAcessos(*conn, "TODOS", "TODOS");
    EXPECT_TRUE(cfg.acessos().empty());
    data::Connection closed;
    EXPECT_THROW(e_.AccApagaTodososAcessos(closed, "TODOS", "TODOS"), platform::RuntimeError);
}

TEST_F(AcessosTest, ChecksFollowThePrincipalCompanyUnlessIndependent) {
    BorviaConfig cfg(server_);
    cfg.addEmpresa({.codigo = "0001", .principal = true});
    cfg.addEmpresa({.codigo = "0002"});
    cfg.addEmpresa({.codigo = "0003", .independente = true});
    cfg.addAcesso({.utilizador = "ana", .chave = "AppFrmBtn", .value = 0, .empresa = "0001"});
    cfg.addAcesso({.utilizador = "ana", .chave = "AppFrmOk", .value = 7, .empresa = "0001"});
    cfg.addAcesso({.utilizador = "ana", .chave = "AppFrmBtn", .value = 1, .empresa = "0003"});
    cfg.addAcesso({.utilizador = "O'Neill", .chave = "AppFrmBtn", .value = 0, .empresa = "0001"});
    auto conn = config();
    EXPECT_EQ(e_.GetAcessoPrincipal(*conn), "0001");
    EXPECT_EQ(e_.GetAcessoIndependente(*conn, "0002"), 0);
    EXPECT_NE(e_.GetAcessoIndependente(*conn, "0003"), 0);
    gstrCodEmpresa() = "0003";
    EXPECT_NE(e_.GetAcessoIndependente(*conn), 0) << "an empty company takes the program's company code";
    gstrCodEmpresa().clear();

    EXPECT_FALSE(e_.AccCheckAcesso("ana", "0001", "App", "Frm", "Btn")) << "value 0 refuses";
    EXPECT_TRUE(e_.AccCheckAcesso("ana", "0001", "App", "Frm", "Ok"));
    EXPECT_TRUE(e_.AccCheckAcesso("ana", "0001", "App", "Frm", "Outro")) << "a key without a row is allowed";
    EXPECT_FALSE(e_.AccCheckAcesso("ana", "0002", "App", "Frm", "Btn")) << "checked against the principal company";
    EXPECT_TRUE(e_.AccCheckAcesso("ana", "0003", "App", "Frm", "Btn")) << "an independent company has its own rows";
    EXPECT_FALSE(e_.AccCheckAcesso("O'Neill", "0002", "App", "Frm", "Btn"));
    EXPECT_EQ(openings_, 6);
    EXPECT_TRUE(boxes_.shown.empty());

    // The application's own row: refused without it and while its value is 0.
    EXPECT_FALSE(e_.AccCheckUtilizApp(*conn, "ana", "0002"));
    e_.AccCreateAPP(*conn, "ana", "0001");
    EXPECT_FALSE(e_.AccCheckUtilizApp(*conn, "ana", "0002"));
    conn->Execute("update acessos set value=1 where chave='" + app_ + "'");
    EXPECT_TRUE(e_.AccCheckUtilizApp(*conn, "ana", "0002"));
    EXPECT_FALSE(e_.AccCheckUtilizApp(*conn, "ana", "0003")) << "the independent company has no such row";
    EXPECT_TRUE(boxes_.shown.empty());

    // Without a principal company every company checks its own rows.
    conn->Execute("update empresas set AcessoPrincipal=0");
    EXPECT_EQ(e_.GetAcessoPrincipal(*conn), "");
    EXPECT_TRUE(e_.AccCheckAcesso("ana", "0002", "App", "Frm", "Btn"));

    // A configuration database that does not open: its error is shown and the right refused.
    password_ = "errada";
    EXPECT_FALSE(e_.AccCheckAcesso("ana", "0001", "App", "Frm", "Ok"));
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, "18456\rLogin failed for user 'sa'.");
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::Critical);
    data::Connection closed;
    EXPECT_EQ(e_.GetAcessoIndependente(closed, "0003"), 0) << "a failed call answers 0";
    EXPECT_THROW(e_.GetAcessoPrincipal(closed), platform::RuntimeError);
}

TEST_F(AcessosTest, TemplateRightsAreCopiedAndCaptionsRefreshed) {
    BorviaConfig cfg(server_);
    auto conn = config();
    e_.AccCopiaAcessosBase(*conn, "ana", "0001");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text,
              "Não Há Acessos Base Definidos !\rOs Acessos base tem que ser criados pelo "
              "Administrador do sistema, no Menu de utilitários");
    EXPECT_EQ(boxes_.shown[0].style, platform::mb::Information);
    EXPECT_TRUE(pointer_.empty());

    for (const char* k : {"k1", "k2", "k3"}) {
        cfg.addAcesso({.utilizador = "XX",
                       .chave = k,
                       .value = 0,
                       .chave1 = QString(k) + "x",
                       .form = "frm",
                       .ctrl = "ctl",
                       .caption = "Nova'",
                       .ctrlcap = "NovaC",
                       .empresa = "XXXX"});
    }
    cfg.addAcesso(
        {.utilizador = "ana", .chave = "k1", .value = 0, .form = "frm", .caption = "Velha", .empresa = "0001"});
    // The first template key exists: with SoSenaoExiste nothing is copied.
    e_.AccCopiaAcessosBase(*conn, "ana", "0001", true);
    EXPECT_EQ(cfg.acessos("utilizador='ana'").size(), 1u);
    EXPECT_EQ(pointer_, (std::vector<std::int16_t>{util::vbHourglass, util::vbDefault}));

    e_.AccCopiaAcessosBase(*conn, "ana", "0001");
    const auto rows = cfg.acessos("utilizador='ana'");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].caption.toString(), "Nova'") << "the captions of a key he has are refreshed";
    EXPECT_EQ(rows[0].value.toInt32(), 0) << "and its value kept";
    EXPECT_EQ(rows[1].chave.toString(), "k2");
    EXPECT_EQ(rows[1].value.toInt32(), 1);
    EXPECT_EQ(rows[1].chave1.toString(), "k2x");
    EXPECT_EQ(rows[1].ctrlcap.toString(), "NovaC");
    EXPECT_EQ(boxes_.shown.size(), 1u);

    // Errors are shown with the member's name, and the pointer comes back.
    pointer_.clear();
    data::Connection closed;
    e_.AccCopiaAcessosBase(closed, "ana", "0001");
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_TRUE(boxes_.shown[1].text.startsWith("AccCopiaAcessosBase.\r"));
    EXPECT_EQ(boxes_.shown[1].style, platform::mb::OKOnly);
}

TEST_F(AcessosTest, SoSenaoExisteStopsAtTheFirstTemplateKeyTheUserHasAndANullRightRefuses) {
    BorviaConfig cfg(server_);
    // The template in the order it is read; the middle key has no value at all.
    for (const char* k : {"k1", "k2", "k3"}) {
        cfg.addAcesso({.utilizador = "XX",
                       .chave = k,
                       .value = QString(k) == "k2" ? data::Variant::null() : data::Variant(std::int32_t{0}),
                       .form = "frm",
                       .caption = "Base",
                       .empresa = "XXXX"});
    }
    cfg.addAcesso({.utilizador = "ana", .chave = "k2", .value = 0, .form = "frm", .caption = "Dela", .empresa = "0001"});
    auto conn = config();
    e_.AccCopiaAcessosBase(*conn, "ana", "0001", true);
    auto rows = cfg.acessos("utilizador='ana'");
    ASSERT_EQ(rows.size(), 2u) << "k1 copied, then the copy stops at k2: k3 never comes";
    EXPECT_EQ(rows[0].chave.toString(), "k1");
    EXPECT_EQ(rows[0].value.toInt32(), 1);
    EXPECT_EQ(rows[1].chave.toString(), "k2");
    EXPECT_EQ(rows[1].caption.toString(), "Dela") << "the key he has is left as it was";

    // Without SoSenaoExiste the rest comes too, whatever the template's value.
    e_.AccCopiaAcessosBase(*conn, "ana", "0001");
    rows = cfg.acessos("utilizador='ana'");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].chave.toString(), "k3");
    EXPECT_EQ(rows[2].value.toInt32(), 1);
    EXPECT_TRUE(boxes_.shown.empty());

    // A right whose value is Null refuses, where a key without a row would be allowed.
    conn->Execute("update acessos set value=NULL where utilizador='ana' and chave='k1'");
    EXPECT_FALSE(e_.AccCheckAcesso("ana", "0001", "k1", "", ""));
    EXPECT_TRUE(e_.AccCheckAcesso("ana", "0001", "k9", "", ""));
    e_.AccCreateAPP(*conn, "ana", "0001");
    conn->Execute("update acessos set value=NULL where chave='" + app_ + "'");
    EXPECT_FALSE(e_.AccCheckUtilizApp(*conn, "ana", "0001"));
    EXPECT_TRUE(boxes_.shown.empty());
}
