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

// A user with rights on one table and one view only meets 229 whatever form reaches another
// table: no column, a constant, a join, a subquery, a view, the source of a write.
TEST(EmbeddedAdminRights, EveryTableAStatementReadsNeedsTheRightToSelect) {
    Server s;
    auto sa = s.connect();
    for (const char* sql : {"create table t (a int, b int)", "insert into t values (1, 2)", "create table ok (a int)",
                            "insert into ok values (1)", "create view v as select a from t",
                            "create view vok as select t.a, ok.a as k from t join ok on ok.a = t.a",
                            "create database Outra", "create table Outra..x (a int)", "sp_addlogin 'ana', 'pw'",
                            "sp_grantdbaccess 'ana'", "GRANT SELECT, INSERT, UPDATE, DELETE ON ok TO ana",
                            "GRANT SELECT ON vok TO ana", "use Outra", "sp_grantdbaccess 'ana'", "use Velmora"}) {
        ASSERT_EQ(errorOf(*sa, QString::fromLatin1(sql)), 0) << sql;
    }
    data::Connection ana;
    ana.Open(connectionString(s.folder(), QStringLiteral("Velmora"), QStringLiteral("ana")), QString(), QStringLiteral("pw"));
    struct Case {
        const char* sql;
        const char* refused;  // the object 229 names; nullptr: allowed
    };
    const Case cases[] = {
        // Nothing of t's columns is read, yet its rows are counted or found.
        {"select count(*) from t", "t"},
        {"select 1 from t", "t"},
        {"select 1 from t where 1 = 0", "t"},
        {"select count(*) from ok, t", "t"},
        {"select ok.a from ok join t on 1 = 1", "t"},
        {"select ok.a from ok left join t on t.a = ok.a", "t"},
        {"select a from ok where exists (select 1 from t)", "t"},
        {"select a from ok where a in (select a from t)", "t"},
        {"select a from ok where a = (select max(b) from t)", "t"},
        {"select (select count(*) from t)", "t"},
        {"select x.a from (select a from t) x", "t"},
        {"select a from ok union select 1 from t", "t"},
        {"select count(*) from v", "v"},
        {"select count(*) from Outra..x", "x"},
        {"update ok set a = 2 from t where t.a = ok.a", "t"},
        {"update ok set a = 2 from ok join t on t.a = ok.a", "t"},
        {"update o set a = 2 from ok o, v where v.a = o.a", "v"},
        {"update ok set a = t.b from t", "t"},
        {"update ok set a = 3 where exists (select 1 from t)", "t"},
        {"delete from ok where exists (select 1 from t where t.a = ok.a)", "t"},
        {"delete ok from ok join t on t.a = ok.a", "t"},
        {"delete from o from ok o where o.a in (select count(*) from t)", "t"},
        {"delete from ok where a in (select a from t)", "t"},
        {"insert into ok select a from t", "t"},
        {"insert into ok (a) select 1 from t", "t"},
        // What the user may read, in the same forms.
        {"select count(*) from ok", nullptr},
        {"select 1 from ok where 1 = 0", nullptr},
        {"select x.a from (select a from ok) x", nullptr},
        {"select x.a from (select top 1 a from ok order by a) x", nullptr},
        {"select a from ok where a is not distinct from 1", nullptr},
        {"select a from ok where a in (select a from ok)", nullptr},
        {"select 1", nullptr},
        // A view's own tables are covered by the right to read the view (both belong to dbo).
        {"select count(*) from vok", nullptr},
        {"select k from vok where a in (select k from vok)", nullptr},
        {"update ok set a = a where a > 0", nullptr},
        {"update o set a = v.k from ok o join vok v on v.k = o.a", nullptr},
        {"delete o from ok o join vok v on v.a = o.a where v.k = 5", nullptr},
        {"insert into ok select k from vok", nullptr},
        {"delete from ok where a = 5", nullptr},
    };
    for (const Case& c : cases) {
        QString text;
        const long error = errorOf(ana, QString::fromLatin1(c.sql), &text);
        if (!c.refused) {
            EXPECT_EQ(error, 0) << c.sql << ": " << text.toStdString();
            continue;
        }
        EXPECT_EQ(error, 229) << c.sql;
        EXPECT_TRUE(text.contains(QStringLiteral("'%1'").arg(QString::fromLatin1(c.refused)))) << c.sql << ": "
                                                                                              << text.toStdString();
    }
    EXPECT_EQ(scalar(*sa, QStringLiteral("select count(*) from ok")).toInt32(), 2) << "the refused writes wrote nothing";
}
