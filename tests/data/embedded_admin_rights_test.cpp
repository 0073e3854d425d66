// The login sa on every server, and what GRANT, DENY and REVOKE refuse.
#include <gtest/gtest.h>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

long openAs(const QString& folder, const QString& login, const QString& password, QString* text = nullptr) {
    data::Connection c;
    try {
        c.Open(connectionString(folder, QStringLiteral("master"), login), QString(), password);
    } catch (const data::DbError& e) {
        if (text) *text = e.description();
        return e.number();
    }
    return 0;
}

}  // namespace

TEST(EmbeddedAdminRights, SaIsThereDisabledWhenTheFirstLoginIsAnother) {
    QTemporaryDir dir;
    EXPECT_EQ(openAs(dir.path(), QStringLiteral("demo"), QStringLiteral("Demo.1")), 0);
    EXPECT_EQ(openAs(dir.path(), QStringLiteral("sa"), QString()), 18456) << "sa has no password to log in with";
    data::Connection demo;
    demo.Open(connectionString(dir.path(), QStringLiteral("master"), QStringLiteral("demo")), QString(),
              QStringLiteral("Demo.1"));
    EXPECT_EQ(errorOf(demo, QStringLiteral("sp_password NULL, 'Sa.1', 'sa'")), 0);
    QString text;
    EXPECT_EQ(openAs(dir.path(), QStringLiteral("SA"), QStringLiteral("Sa.1"), &text), 18470);
    EXPECT_EQ(text, QStringLiteral("Login failed for user 'sa'. Reason: The account is disabled."));
    EXPECT_EQ(errorOf(demo, QStringLiteral("sp_droplogin 'sa'"), &text), 15405);

    // A folder made before sa was always there gets it when it is opened.
    const QString master = dir.path() + QStringLiteral("/master.db");
    rawExec(master, QStringLiteral("DELETE FROM syslogins WHERE name = 'sa'; PRAGMA user_version = 1;"));
    EXPECT_EQ(openAs(dir.path(), QStringLiteral("demo"), QStringLiteral("Demo.1")), 0);
    EXPECT_EQ(rawText(master, QStringLiteral("SELECT denylogin || sysadmin FROM syslogins WHERE name = 'sa'")),
              QStringLiteral("11"));
}

TEST(EmbeddedAdminRights, PermissionStatementsRefuseWhatSqlServerRefuses) {
    Server s;
    auto sa = s.connect();
    sa->Execute(QStringLiteral("create table t (a int)"));
    sa->Execute(QStringLiteral("create table t2 (a int)"));
    sa->Execute(QStringLiteral("create procedure p AS select 1"));
    sa->Execute(QStringLiteral("sp_addlogin 'ana', 'pw'"));
    sa->Execute(QStringLiteral("sp_grantdbaccess 'ana'"));
    struct Case {
        const char* sql;
        long error;
    };
    const Case cases[] = {
        {"GRANT SELECT, INSERT ON dbo.t TO ana", 0},
        {"GRANT ALL ON OBJECT::[t] TO ana, db_datareader WITH GRANT OPTION", 0},
        {"REVOKE GRANT OPTION FOR SELECT ON t FROM ana CASCADE", 0},
        {"REVOKE DELETE ON t FROM ana", 0},
        {"DENY EXECUTE ON p TO db_datareader", 0},
        {"GRANT EXEC ON Velmora.dbo.p TO ana", 0},
        {"GRANT SELECT ON nada TO ana", 15151},
        {"GRANT SELECT ON t TO nobody", 15151},
        {"GRANT SELECT ON t TO dbo", 15405},
        {"GRANT EXECUTE ON t TO ana", 4606},
        {"GRANT SELECT ON p TO ana", 4606},
        {"GRANT CREATE TABLE TO ana", 102},
        {"GRANT SELECT ON t ana", 102},
    };
    for (const Case& c : cases) EXPECT_EQ(errorOf(*sa, QString::fromLatin1(c.sql)), c.error) << c.sql;

    // A user without db_owner or db_securityadmin grants nothing, even on what she may read.
    data::Connection ana;
    ana.Open(connectionString(s.folder(), QStringLiteral("Velmora"), QStringLiteral("ana")), QString(), QStringLiteral("pw"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("select * from t")), 0);
    EXPECT_EQ(errorOf(ana, QStringLiteral("update t set a = 1")), 0);
    EXPECT_EQ(errorOf(ana, QStringLiteral("delete from t")), 229);
    EXPECT_EQ(errorOf(ana, QStringLiteral("GRANT SELECT ON t TO guest")), 15151);
    EXPECT_EQ(errorOf(ana, QStringLiteral("drop table t")), 3701);
    EXPECT_EQ(errorOf(ana, QStringLiteral("create index ix on t (a)")), 1088);
    EXPECT_EQ(errorOf(ana, QStringLiteral("create view v as select a from t")), 262);
    EXPECT_EQ(errorOf(ana, QStringLiteral("exec p")), 0);
    sa->Execute(QStringLiteral("GRANT SELECT ON t2 TO ana"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("select * from t2")), 0);
    sa->Execute(QStringLiteral("drop table t2"));
    sa->Execute(QStringLiteral("create table t2 (a int)"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("select * from t2")), 229) << "a table made again starts without rights";
    sa->Execute(QStringLiteral("sp_revokedbaccess 'ana'"));
    sa->Execute(QStringLiteral("sp_grantdbaccess 'ana'"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("select * from t")), 229) << "a user added again has none of the old rights";
}
