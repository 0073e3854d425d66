// What the role and access members change for the data a login may read and write: the
// configuration database's users, as SQL Server would refuse them.
#include <gtest/gtest.h>

#include "csql_test_support.h"
#include "data/embedded_test_helpers.h"
#include "data/dberror.h"
#include "support/borvia_config.h"

using csqltest::ConfiguredLogin;
using embeddedtest::errorOf;
using testsupport::BorviaConfig;
using testsupport::MessageBoxRecorder;
using testsupport::TempEmbeddedServer;

namespace {

const QString kBase = QStringLiteral("BorviaConfig");

// Role codes of SetDBRoleMember.
enum DbRole { Owner = 0, Reader = 2, Writer = 3, DdlAdmin = 4, DenyReader = 7, DenyWriter = 8 };

std::unique_ptr<data::Connection> openAs(const TempEmbeddedServer& s, const QString& login, const QString& db = kBase) {
    auto c = std::make_unique<data::Connection>();
    c->setConnectionString("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + login + ";Initial Catalog=" + db +
                           ";Data Source=" + s.serverName());
    c->Open(QString(), QString(), "Pw.1");
    return c;
}

class CSqlDireitosTest : public ::testing::Test {
protected:
    void SetUp() override {
        cfg_.addEmpresa({.codigo = "0001", .principal = true});
        cfg_.addAcesso({.utilizador = "XX", .chave = "app", .empresa = "XXXX"});
    }
    // A login that is a user of the configuration database with the given roles.
    void user(const QString& login, std::initializer_list<DbRole> roles) {
        ASSERT_TRUE(s_.CreateLogin(login, "Pw.1", 5));
        server_.exec(kBase, "sp_grantdbaccess '" + login + "'");
        for (const DbRole r : roles) ASSERT_TRUE(s_.SetDBRoleMember(kBase, login, r, 1));
    }
    TempEmbeddedServer server_;
    BorviaConfig cfg_{server_};
    ConfiguredLogin login_{server_};
    CSql& s_ = gobjSql();
    MessageBoxRecorder boxes_;
};

}  // namespace

TEST_F(CSqlDireitosTest, FixedDatabaseRolesDecideWhatTheUserMayDo) {
    struct Case {
        std::initializer_list<DbRole> roles;
        const char* sql;
        long error;
    };
    const Case cases[] = {
        {{}, "select * from acessos", 229},
        {{}, "create table t (a int)", 262},
        {{}, "create table #t (a int)", 0},
        {{Reader}, "select count(*) from acessos a join empresas e on e.codigo = a.empresa", 0},
        {{Reader}, "insert into acessos (utilizador) values ('x')", 229},
        {{Reader}, "delete from acessos", 229},
        {{Writer}, "insert into acessos (utilizador) values ('x')", 0},
        {{Writer}, "select * from acessos", 229},
        {{Writer}, "insert into acessos (utilizador) select codigo from empresas", 229},
        {{Reader, Writer}, "update acessos set value = 0 where utilizador = 'XX'", 0},
        {{Reader, Writer, DenyWriter}, "insert into acessos (utilizador) values ('x')", 229},
        {{Reader, Writer, DenyWriter}, "select * from acessos", 0},
        {{Owner, DenyReader}, "select * from empresas", 229},
        {{Owner, DenyReader}, "insert into empresas (codigo) values ('0002')", 0},
        {{DdlAdmin}, "create table t2 (a int)", 0},
        {{DdlAdmin}, "select * from acessos", 229},
        {{Owner}, "create table t3 (a int)", 0},
        {{Owner}, "exec GetAcessoIndependente '0001'", 0},
        {{Reader}, "exec GetAcessoIndependente '0001'", 229},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString login = QStringLiteral("u%1").arg(n++);
        user(login, c.roles);
        auto conn = openAs(server_, login);
        EXPECT_EQ(errorOf(*conn, c.sql), c.error) << login.toStdString() << ": " << c.sql;
    }
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(CSqlDireitosTest, RefusalsCarrySqlServersTexts) {
    user("ana", {});
    auto ana = openAs(server_, "ana");
    QString text;
    EXPECT_EQ(errorOf(*ana, "select * from acessos", &text), 229);
    EXPECT_EQ(text, "The SELECT permission was denied on the object 'acessos', database 'BorviaConfig', schema 'dbo'.");
    EXPECT_EQ(errorOf(*ana, "Create Table Novos (a int)", &text), 262);
    EXPECT_EQ(text, "CREATE TABLE permission denied in database 'BorviaConfig'.");
    EXPECT_EQ(errorOf(*ana, "exec GetAcessoPrincipal", &text), 229);
    EXPECT_EQ(text, "The EXECUTE permission was denied on the object 'GetAcessoPrincipal', database 'BorviaConfig', "
                    "schema 'dbo'.");
}

TEST_F(CSqlDireitosTest, GrantDenyAndRevokeChangeAnOpenConnectionsRights) {
    user("ana", {});
    auto ana = openAs(server_, "ana");
    auto sa = server_.connect(kBase);
    struct Step {
        const char* bySa;  // run first, by the server's administrator (or a toolkit member)
        const char* byAna;
        long error;
    };
    const Step steps[] = {
        {"GRANT SELECT ON [dbo].[acessos] TO ana", "select * from acessos", 0},
        {nullptr, "select * from empresas", 229},
        {"role+", "select * from empresas", 0},
        {"DENY SELECT ON empresas TO ana", "select * from empresas", 229},
        {nullptr, "select * from acessos", 0},
        {"REVOKE SELECT ON empresas FROM ana", "select * from empresas", 0},
        {"REVOKE SELECT ON acessos FROM ana", "select * from acessos", 0},
        {"role-", "select * from acessos", 229},
        {"GRANT INSERT, UPDATE ON acessos TO public", "insert into acessos (utilizador) values ('ana')", 0},
        {nullptr, "update acessos set value = 1", 0},
        {nullptr, "update acessos set value = 1 where utilizador = 'ana'", 229},
        {nullptr, "delete from acessos", 229},
        {"DENY INSERT ON acessos TO ana", "insert into acessos (utilizador) values ('ana')", 229},
        {"GRANT EXECUTE ON GetAcessoIndependente TO ana", "exec GetAcessoIndependente '0001'", 0},
        {nullptr, "exec VerSeExisteCopiaAcessosBase 'app', 'XX', 'XXXX', NULL", 229},
    };
    for (const Step& s : steps) {
        const QString by = s.bySa ? QString::fromLatin1(s.bySa) : QString();
        if (by == u"role+" || by == u"role-") {
            ASSERT_TRUE(s_.SetDBRoleMember(kBase, "ana", Reader, by == u"role+" ? 1 : 0));
        } else if (!by.isEmpty()) {
            ASSERT_EQ(errorOf(*sa, by), 0) << s.bySa;
        }
        EXPECT_EQ(errorOf(*ana, s.byAna), s.error) << (s.bySa ? s.bySa : "") << " / " << s.byAna;
    }
    // The procedure read empresas for her, which she cannot read herself.
    EXPECT_EQ(errorOf(*ana, "select * from empresas"), 229);

    // GrantAcess makes her an owner of the data; RevokeAccess takes the database from her.
    EXPECT_TRUE(s_.GrantAcess(kBase, "ana"));
    EXPECT_EQ(errorOf(*ana, "create table DaAna (a int)"), 0);
    EXPECT_EQ(errorOf(*ana, "select * from empresas"), 0);
    EXPECT_TRUE(s_.RevokeAccess(kBase, "ana"));
    EXPECT_EQ(errorOf(*ana, "select * from empresas"), 916);
    EXPECT_THROW(openAs(server_, "ana"), data::DbError);
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(CSqlDireitosTest, RightsHoldInTheDatabaseATableIsReadFrom) {
    server_.exec("master", "Create Database Loja");
    server_.exec("Loja", "create table vendas (n int)");
    user("ana", {Reader});
    auto ana = openAs(server_, "ana");
    QString text;
    EXPECT_EQ(errorOf(*ana, "select * from Loja..vendas", &text), 916);
    EXPECT_EQ(text, "The server principal \"ana\" is not able to access the database \"Loja\" under the current security "
                    "context.");
    server_.exec("Loja", "sp_grantdbaccess 'ana'");
    EXPECT_EQ(errorOf(*ana, "select * from Loja.dbo.vendas", &text), 229);
    EXPECT_EQ(text, "The SELECT permission was denied on the object 'vendas', database 'Loja', schema 'dbo'.");
    server_.exec("Loja", "GRANT SELECT ON vendas TO ana");
    EXPECT_EQ(errorOf(*ana, "select * from Loja..vendas v join acessos a on a.value = v.n"), 0);

    // From master (where every login is a guest) the configuration database's roles count.
    auto fromMaster = openAs(server_, "ana", "master");
    EXPECT_EQ(errorOf(*fromMaster, "select * from BorviaConfig..acessos"), 0);
    EXPECT_EQ(errorOf(*fromMaster, "insert into BorviaConfig..acessos (utilizador) values ('x')"), 229);
}

TEST(CSqlDireitosSa, AServerWhoseFirstLoginIsNotSaStillRemovesALogin) {
    TempEmbeddedServer demo(QStringLiteral("demo"), QStringLiteral("Demo.1"));
    ConfiguredLogin configured(demo);
    MessageBoxRecorder boxes;
    CSql& s = gobjSql();
    demo.exec("master", "Create Database DoRui");
    ASSERT_TRUE(s.CreateLogin("rui", "Pw.1", 5));
    ASSERT_TRUE(s.GrantAcess("DoRui", "rui"));
    {
        auto conn = demo.connect("DoRui");
        ASSERT_TRUE(s.ChangeDatabaseOwner(*conn, "DoRui", "", "rui"));
    }
    EXPECT_TRUE(s.DeleteUserFromAllDatabases("rui"));
    EXPECT_EQ(csqltest::databaseOwner(demo, "DoRui"), "sa");
    EXPECT_TRUE(s.DeleteLogin("rui"));
    EXPECT_TRUE(demo.rows("master", "select name from syslogins where name = 'rui'").empty());
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(s.ValidarLoginSysAdmin("sa")) << "sa is a sysadmin, as on SQL Server";
    EXPECT_FALSE(s.ValidateLogin("sa", "", "master", false)) << "but it cannot connect";
}
