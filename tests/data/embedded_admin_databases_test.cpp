// Whole databases: the catalogue, DROP DATABASE, USE, files, owners and the options that
// change who may reach a database and how.
#include <gtest/gtest.h>

#include <QFile>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

long openError(const Server& s, const QString& db, const QString& login = QStringLiteral("sa"),
               const QString& password = Server::password()) {
    data::Connection c;
    try {
        c.Open(connectionString(s.folder(), db, login), QString(), password);
    } catch (const data::DbError& e) {
        return e.number();
    }
    return 0;
}

std::unique_ptr<data::Connection> as(const Server& s, const QString& login, const QString& db) {
    auto c = std::make_unique<data::Connection>();
    c->Open(connectionString(s.folder(), db, login), QString(), QStringLiteral("pw"));
    return c;
}

QString setting(data::Connection& c, const QString& sql) {
    auto rs = c.Execute(sql);
    return rs.Fields(QStringLiteral("currentsetting")).Value().toString();
}

}  // namespace

TEST(EmbeddedAdminDatabases, CatalogueDropAndUse) {
    Server s;
    auto sa = s.connect(QStringLiteral("master"));
    sa->Execute(QStringLiteral("Create Database LOJA"));
    EXPECT_EQ(scalar(*sa, QStringLiteral("Select Name from SysDataBases Where upper(Name)='LOJA'")).toString(), QStringLiteral("LOJA"));
    EXPECT_FALSE(hasRows(*sa, QStringLiteral("Select Name from SysDataBases Where upper(Name)='NADA'")));

    QString text;
    {
        auto inside = s.connect(QStringLiteral("loja"));
        EXPECT_EQ(errorOf(*sa, QStringLiteral("drop database loja"), &text), 3702);
        EXPECT_EQ(text, QStringLiteral("Cannot drop database \"loja\" because it is currently in use."));
    }
    sa->Execute(QStringLiteral("use loja"));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("drop database loja")), 3702);
    sa->BeginTrans();
    EXPECT_EQ(errorOf(*sa, QStringLiteral("drop database Velmora")), 226);
    sa->RollbackTrans();
    EXPECT_EQ(errorOf(*sa, QStringLiteral("use master")), 0);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("drop database loja")), 0);
    EXPECT_FALSE(QFile::exists(s.file(QStringLiteral("LOJA"))));
    EXPECT_FALSE(hasRows(*sa, QStringLiteral("Select Name from SysDataBases Where upper(Name)='LOJA'")));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("drop database loja"), &text), 3701);
    EXPECT_EQ(text, QStringLiteral("Cannot drop the database 'loja', because it does not exist or you do not have permission."));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("drop database master")), 3708);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("use loja"), &text), 911);
    EXPECT_EQ(openError(s, QStringLiteral("loja")), 4060);

    // Without sysadmin or dbcreator, only a database's owner drops it.
    sa->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    sa->Execute(QStringLiteral("Create Database Outra"));
    auto ana = as(s, QStringLiteral("ana"), QStringLiteral("master"));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("drop database Outra")), 3701);
    EXPECT_TRUE(QFile::exists(s.file(QStringLiteral("Outra"))));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("Create Database Dela")), 262);
    sa->Execute(QStringLiteral("sp_addsrvrolemember 'ana' , 'dbcreator'"));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("Create Database Dela")), 0);  // the new role counts at once
    EXPECT_EQ(errorOf(*ana, QStringLiteral("drop database Outra")), 0);
    EXPECT_EQ(errorOf(*ana, QStringLiteral("drop database Velmora, Outra")), 3701);
    EXPECT_FALSE(QFile::exists(s.file(QStringLiteral("Velmora"))));  // a list drops in order
}

TEST(EmbeddedAdminDatabases, FilesAndOwners) {
    Server s;
    auto sa = s.connect(QStringLiteral("master"));
    sa->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    sa->Execute(QStringLiteral("sp_addlogin 'bob' , 'pw'"));
    auto v = s.connect();
    {
        auto rs = v->Execute(QStringLiteral("sp_helpfile"));
        EXPECT_EQ(rs.Fields(QStringLiteral("name")).Value().toString(), QStringLiteral("Velmora"));
        EXPECT_EQ(rs.Fields(QStringLiteral("filename")).Value().toString(), s.file(QStringLiteral("Velmora")));
        EXPECT_EQ(rs.Fields(QStringLiteral("usage")).Value().toString(), QStringLiteral("data only"));
        rs.MoveNext();
        EXPECT_TRUE(rs.EOF());
    }
    QString text;
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_changedbowner 'ana'"), &text), 15109);
    EXPECT_EQ(errorOf(*v, QStringLiteral("sp_changedbowner 'nobody'")), 15007);
    EXPECT_EQ(errorOf(*v, QStringLiteral("sp_changedbowner 'ana'")), 0);
    EXPECT_EQ(scalar(*v, QStringLiteral("select sid from master..sysdatabases where name = 'Velmora'")).toInt64(), 2);
    EXPECT_EQ(openError(s, QStringLiteral("Velmora"), QStringLiteral("ana"), QStringLiteral("pw")), 0);
    {
        auto ana = as(s, QStringLiteral("ana"), QStringLiteral("Velmora"));
        EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_changedbowner 'sa'")), 15247);
        EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_grantdbaccess 'bob'")), 0);  // the owner administers users
    }
    // The new owner must not be a user of the database yet: drop the user first.
    EXPECT_EQ(errorOf(*v, QStringLiteral("sp_changedbowner 'bob'"), &text), 15110);
    EXPECT_EQ(text, QStringLiteral("The proposed new database owner is already a user or aliased in the database."));
    EXPECT_EQ(errorOf(*v, QStringLiteral("sp_dropuser bob")), 0);
    EXPECT_EQ(errorOf(*v, QStringLiteral("sp_changedbowner 'bob'")), 0);
    auto rs = v->Execute(QStringLiteral("sp_helpuser"));
    EXPECT_EQ(rs.Fields(QStringLiteral("UserName")).Value().toString(), QStringLiteral("dbo"));
    EXPECT_EQ(rs.Fields(QStringLiteral("LoginName")).Value().toString(), QStringLiteral("bob"));
    EXPECT_EQ(openError(s, QStringLiteral("Velmora"), QStringLiteral("ana"), QStringLiteral("pw")), 4060);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_droplogin 'bob'"), &text), 15174);
    EXPECT_EQ(text, QStringLiteral("Login 'bob' owns one or more database(s). Change the owner of the database(s) before dropping "
                                   "the login."));
}

TEST(EmbeddedAdminDatabases, ReadOnlySingleUserAndOffline) {
    Server s;
    auto sa = s.connect(QStringLiteral("master"));
    auto v = s.connect();
    v->Execute(QStringLiteral("create table T (a int)"));
    v->Execute(QStringLiteral("insert into T values (1)"));

    // Read only: refused while another connection is inside, then enforced on every write.
    QString text;
    EXPECT_EQ(setting(*sa, QStringLiteral("sp_dboption 'Velmora','read only'")), QStringLiteral("off"));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','read only','true'"), &text), 5070);
    EXPECT_EQ(text, QStringLiteral("Database state cannot be changed while other users are using the database 'Velmora'"));
    v->Close();
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','read only','true'")), 0);
    EXPECT_EQ(setting(*sa, QStringLiteral("sp_dboption 'Velmora','read only'")), QStringLiteral("on"));
    v = s.connect();
    EXPECT_EQ(scalar(*v, QStringLiteral("select count(*) from T")).toInt32(), 1);
    EXPECT_EQ(errorOf(*v, QStringLiteral("insert into T values (2)"), &text), 3906);
    EXPECT_EQ(text, QStringLiteral("Failed to update database \"Velmora\" because the database is read-only."));
    EXPECT_EQ(errorOf(*v, QStringLiteral("update T set a = 5")), 3906);
    EXPECT_EQ(errorOf(*v, QStringLiteral("create table U (b int)")), 3906);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("insert into Velmora..T values (3)"), &text), 3906);
    EXPECT_EQ(text, QStringLiteral("Failed to update database \"Velmora\" because the database is read-only."));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("delete from Velmora.dbo.T")), 3906);
    {
        data::Recordset rs;
        rs.Open(QStringLiteral("select a from T"), *v, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
        rs.Fields(QStringLiteral("a")).setValue(9);
        EXPECT_THROW(rs.Update(), data::DbError);
    }
    v->Close();
    // The database's only user switches its own connection both ways.
    v = s.connect();
    EXPECT_EQ(errorOf(*v, QStringLiteral("sp_dboption 'Velmora','read','false'")), 0);
    EXPECT_EQ(errorOf(*v, QStringLiteral("insert into T values (2)")), 0);
    EXPECT_EQ(errorOf(*v, QStringLiteral("sp_dboption Velmora,'read only',true")), 0);
    EXPECT_EQ(errorOf(*v, QStringLiteral("insert into T values (3)")), 3906);
    EXPECT_EQ(errorOf(*v, QStringLiteral("sp_dboption 'Velmora','read only','FALSE'")), 0);
    EXPECT_EQ(scalar(*v, QStringLiteral("select count(*) from T")).toInt32(), 2);

    // Single user: one connection at a time.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption Velmora,'single user',true")), 5070);
    v->Close();
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption Velmora,'single user',true")), 0);
    auto first = s.connect();
    EXPECT_EQ(openError(s, QStringLiteral("Velmora")), 924);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("use Velmora"), &text), 924);
    EXPECT_EQ(text, QStringLiteral("Database 'Velmora' is already open and can only have one user at a time."));
    first->Close();
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption Velmora,'single user',false")), 0);
    EXPECT_EQ(openError(s, QStringLiteral("Velmora")), 0);

    // Offline: nobody opens it.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','offline','true'")), 0);
    EXPECT_EQ(openError(s, QStringLiteral("Velmora")), 942);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("select * from Velmora..T")), 942);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','offline','false'")), 0);
    EXPECT_EQ(openError(s, QStringLiteral("Velmora")), 0);

    // Listings and refusals.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','single user','true'")), 0);
    {
        auto rs = sa->Execute(QStringLiteral("sp_dboption 'Velmora'"));
        EXPECT_EQ(rs.Fields(0L).Value().toString(), QStringLiteral("single user"));
    }
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','single user','false'")), 0);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','nonsense','true'")), 15011);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','read only','maybe'")), 15241);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'master','read only','true'")), 5058);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Nada','read only'")), 15010);
    EXPECT_TRUE(hasRows(*sa, QStringLiteral("sp_dboption")));
    sa->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    auto ana = as(s, QStringLiteral("ana"), QStringLiteral("master"));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_dboption 'Velmora','read only','true'")), 15247);
    EXPECT_EQ(setting(*ana, QStringLiteral("sp_dboption 'Velmora','read only'")), QStringLiteral("off"));
}

// A connection that reached a database from another one (three-part names) keeps it attached;
// a change of its state by another connection must reach that connection's very next statement.
TEST(EmbeddedAdminDatabases, AStateChangeReachesADatabaseAnotherConnectionAttachedBefore) {
    Server s;
    auto sa = s.connect(QStringLiteral("master"));
    {
        auto v = s.connect();
        v->Execute(QStringLiteral("create table T (a int)"));
    }
    auto w = s.connect(QStringLiteral("master"));
    EXPECT_EQ(errorOf(*w, QStringLiteral("insert into Velmora..T values (1)")), 0);

    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','read only','true'")), 0);
    EXPECT_EQ(errorOf(*w, QStringLiteral("insert into Velmora..T values (2)")), 3906);
    EXPECT_EQ(scalar(*w, QStringLiteral("select count(*) from Velmora..T")).toInt32(), 1);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','read only','false'")), 0);
    EXPECT_EQ(errorOf(*w, QStringLiteral("insert into Velmora..T values (3)")), 0);

    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','offline','true'")), 0);
    EXPECT_EQ(errorOf(*w, QStringLiteral("select * from Velmora..T")), 942);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dboption 'Velmora','offline','false'")), 0);
    EXPECT_EQ(scalar(*w, QStringLiteral("select count(*) from Velmora..T")).toInt32(), 2);

    // Dropped: the name no longer finds anything.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("drop database Velmora")), 0);
    EXPECT_NE(errorOf(*w, QStringLiteral("select * from Velmora..T")), 0);
}
