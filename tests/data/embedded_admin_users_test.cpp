// Database users and fixed database roles, and the access a login needs to open a database.
#include <gtest/gtest.h>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

long openAs(const Server& s, const QString& login, const QString& db, QString* text = nullptr) {
    data::Connection c;
    try {
        c.Open(connectionString(s.folder(), db, login), QString(), QStringLiteral("pw"));
    } catch (const data::DbError& e) {
        if (text) *text = e.description();
        return e.number();
    }
    return 0;
}

std::unique_ptr<data::Connection> as(const Server& s, const QString& login, const QString& db) {
    auto c = std::make_unique<data::Connection>();
    c->Open(connectionString(s.folder(), db, login), QString(), QStringLiteral("pw"));
    return c;
}

struct HelpRow {
    QString user, role, login;
    bool operator==(const HelpRow&) const = default;
    friend void PrintTo(const HelpRow& r, std::ostream* os) {
        *os << r.user.toStdString() << '/' << r.role.toStdString() << '/' << r.login.toStdString();
    }
};

std::vector<HelpRow> helpUser(data::Connection& c, const QString& sql) {
    std::vector<HelpRow> out;
    auto rs = c.Execute(sql);
    while (!rs.EOF()) {
        const data::Variant login = rs.Fields(QStringLiteral("loginname")).Value();
        out.push_back({rs.Fields(QStringLiteral("UserName")).Value().toString(), rs.Fields(QStringLiteral("RoleName")).Value().toString(),
                       login.isNull() ? QStringLiteral("<null>") : login.toString()});
        rs.MoveNext();
    }
    return out;
}

}  // namespace

TEST(EmbeddedAdminUsers, AccessIsGrantedRevokedAndNeededToOpen) {
    Server s;
    auto sa = s.connect(QStringLiteral("master"));
    sa->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    sa->Execute(QStringLiteral("sp_addlogin 'bob' , 'pw'"));
    // As the toolkit makes a login: a user of master under its own name.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_adduser 'ana' , 'ana'")), 0);

    QString text;
    EXPECT_EQ(openAs(s, QStringLiteral("ana"), QStringLiteral("Velmora"), &text), 4060);
    EXPECT_EQ(text, QStringLiteral("Cannot open database \"Velmora\" requested by the login. The login failed."));
    auto ana = as(s, QStringLiteral("ana"), QStringLiteral("master"));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("use Velmora"), &text), 916);
    EXPECT_EQ(text, QStringLiteral("The server principal \"ana\" is not able to access the database \"Velmora\" under the "
                                   "current security context."));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("select count(*) from sysobjects")), 208);  // still in master

    // GrantAcess's statements.
    for (const char* sql : {"use Velmora", "sp_grantdbaccess 'ana'", "sp_addrolemember 'db_datawriter','ana'",
                            "sp_addrolemember 'db_datareader','ana'", "sp_addrolemember 'db_owner','ana'"}) {
        EXPECT_EQ(errorOf(*sa, QString::fromLatin1(sql)), 0) << sql;
    }
    EXPECT_EQ(openAs(s, QStringLiteral("ana"), QStringLiteral("velmora")), 0);
    EXPECT_EQ(errorOf(*ana, QStringLiteral("use Velmora")), 0);

    EXPECT_EQ(helpUser(*sa, QStringLiteral("sp_helpuser 'ANA'")),
              (std::vector<HelpRow>{{QStringLiteral("ana"), QStringLiteral("db_datareader"), QStringLiteral("ana")},
                                    {QStringLiteral("ana"), QStringLiteral("db_datawriter"), QStringLiteral("ana")},
                                    {QStringLiteral("ana"), QStringLiteral("db_owner"), QStringLiteral("ana")}}));
    {
        const auto all = helpUser(*sa, QStringLiteral("sp_helpuser"));
        ASSERT_EQ(all.size(), 4u);
        EXPECT_EQ(all.back(), (HelpRow{QStringLiteral("dbo"), QStringLiteral("db_owner"), QStringLiteral("sa")}));
    }
    {
        auto rs = sa->Execute(QStringLiteral("sp_helpuser 'db_owner '"));
        EXPECT_EQ(rs.Fields(QStringLiteral("Users_in_role")).Value().toString(), QStringLiteral("ana"));
    }
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_helpuser 'nobody'"), &text), 15198);
    EXPECT_EQ(text, QStringLiteral("The name supplied (nobody) is not a user, role, or aliased login."));

    // The refusals SQL Server gives.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_grantdbaccess 'ana'"), &text), 15023);
    EXPECT_EQ(text, QStringLiteral("User, group, or role 'ana' already exists in the current database."));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_adduser 'sa'")), 15063);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_grantdbaccess 'nobody'")), 15007);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addrolemember '' , 'ana'"), &text), 15014);
    EXPECT_EQ(text, QStringLiteral("The role '' does not exist in the current database."));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addrolemember 'db_owner ' , 'bob'"), &text), 15410);
    EXPECT_EQ(text, QStringLiteral("User or role 'bob' does not exist in this database."));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addrolemember 'db_owner' , 'dbo'")), 15405);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dropuser 'dbo'")), 15150);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dropuser 'nobody'"), &text), 15008);
    EXPECT_EQ(text, QStringLiteral("User 'nobody' does not exist in the current database."));

    // A member of db_owner administers users; a plain user does not.
    auto anaV = as(s, QStringLiteral("ana"), QStringLiteral("Velmora"));
    EXPECT_EQ(errorOf(*anaV, QStringLiteral("sp_grantdbaccess 'bob'")), 0);
    auto bob = as(s, QStringLiteral("bob"), QStringLiteral("Velmora"));
    EXPECT_EQ(errorOf(*bob, QStringLiteral("sp_addrolemember 'db_owner','bob'")), 15247);
    EXPECT_EQ(errorOf(*bob, QStringLiteral("sp_revokedbaccess 'ana'")), 15247);
    EXPECT_EQ(errorOf(*bob, QStringLiteral("sp_helpuser 'bob'")), 0);

    // RevokeAccess's statements: the drops after the revoke find no user any more.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_revokedbaccess 'ana'")), 0);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_droprolemember 'db_datawriter','ana'")), 15410);
    EXPECT_EQ(openAs(s, QStringLiteral("ana"), QStringLiteral("Velmora")), 4060);

    // guest opens a database to every login.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_grantdbaccess 'guest'")), 0);
    EXPECT_EQ(openAs(s, QStringLiteral("ana"), QStringLiteral("Velmora")), 0);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_revokedbaccess 'guest'")), 0);
    EXPECT_EQ(openAs(s, QStringLiteral("ana"), QStringLiteral("Velmora")), 4060);

    // A dropped login leaves its user without a login.
    bob->Close();
    sa->Execute(QStringLiteral("use master"));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_droplogin 'bob'")), 0);
    sa->Execute(QStringLiteral("use Velmora"));
    EXPECT_EQ(helpUser(*sa, QStringLiteral("sp_helpuser 'bob'")),
              (std::vector<HelpRow>{{QStringLiteral("bob"), QStringLiteral("public"), QStringLiteral("<null>")}}));
}

TEST(EmbeddedAdminUsers, DatabasesMadeByOtherToolsHaveOnlyTheirOwner) {
    Server s;
    rawExec(s.folder() + QStringLiteral("/Loja.db"), QStringLiteral("CREATE TABLE Clientes (Codigo varchar(10))"));
    auto sa = s.connect(QStringLiteral("master"));
    sa->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    EXPECT_EQ(openAs(s, QStringLiteral("ana"), QStringLiteral("Loja")), 4060);
    auto loja = s.connect(QStringLiteral("Loja"));
    EXPECT_EQ(helpUser(*loja, QStringLiteral("sp_helpuser")),
              (std::vector<HelpRow>{{QStringLiteral("dbo"), QStringLiteral("db_owner"), QStringLiteral("sa")}}));
    // Users and members are system tables of the database, not user tables.
    EXPECT_EQ(errorOf(*loja, QStringLiteral("sp_grantdbaccess 'ana', 'Ana Loja'")), 0);
    EXPECT_EQ(openAs(s, QStringLiteral("ana"), QStringLiteral("Loja")), 0);
    auto tables = loja->Execute(QStringLiteral("sp_tables @table_type = \"'TABLE'\""));
    EXPECT_EQ(tables.Fields(QStringLiteral("TABLE_NAME")).Value().toString(), QStringLiteral("Clientes"));
    tables.MoveNext();
    EXPECT_TRUE(tables.EOF());
    EXPECT_EQ(helpUser(*loja, QStringLiteral("sp_helpuser 'Ana Loja'")).front().login, QStringLiteral("ana"));
}
