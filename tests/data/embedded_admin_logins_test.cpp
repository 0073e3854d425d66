// Logins, passwords and server roles on the embedded server, sent as the toolkit sends them.
#include <gtest/gtest.h>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

std::unique_ptr<data::Connection> connectAs(const Server& s, const QString& login, const QString& password,
                                            const QString& db = QStringLiteral("master")) {
    auto c = std::make_unique<data::Connection>();
    c->setCommandTimeout(0);
    c->Open(connectionString(s.folder(), db, login), QString(), password);
    return c;
}

long loginError(const Server& s, const QString& login, const QString& password, const QString& db = QStringLiteral("master")) {
    try {
        connectAs(s, login, password, db);
    } catch (const data::DbError& e) {
        return e.number();
    }
    return 0;
}

QStringList column(data::Connection& c, const QString& sql, const QString& field) {
    QStringList out;
    data::Recordset rs;
    rs.Open(sql, c);
    while (!rs.EOF()) {
        out.push_back(rs.Fields(field).Value().toString());
        rs.MoveNext();
    }
    return out;
}

}  // namespace

TEST(EmbeddedAdminLogins, LoginsArePasswordsAreHashesAndDropsAreGuarded) {
    Server s;
    auto sa = s.connect(QStringLiteral("master"));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addlogin 'ana' , 'Pw.1'")), 0);
    EXPECT_EQ(loginError(s, QStringLiteral("ANA"), QStringLiteral("Pw.1")), 0);
    EXPECT_EQ(loginError(s, QStringLiteral("ana"), QStringLiteral("pw.1")), 18456);

    QString text;
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addlogin 'Ana ' , 'x'"), &text), 15025);
    EXPECT_EQ(text, QStringLiteral("The server principal 'Ana' already exists."));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addlogin '   ' , 'x'")), 15006);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addlogin '") + QString(32767, u'L') + QStringLiteral("' , 'x'")), 15006);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addlogin 'z' , 'x', 'NoSuchDb'")), 15010);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addlogin 'O''Neil' , 'it''s'")), 0);
    EXPECT_EQ(loginError(s, QStringLiteral("O'Neil"), QStringLiteral("it's")), 0);

    // The catalogue reads as the toolkit reads it, and holds no password, only its salted hash.
    auto velmora = s.connect();
    EXPECT_EQ(column(*velmora, QStringLiteral("Select Name from Master..SysLogins"), QStringLiteral("Name")),
              (QStringList{QStringLiteral("sa"), QStringLiteral("ana"), QStringLiteral("O'Neil")}));
    sa->Execute(QStringLiteral("use master"));
    EXPECT_EQ(column(*sa, QStringLiteral("Select Name as LoginName, IsNtGroup from SysLogins Order By Name"),
                     QStringLiteral("loginname")),
              (QStringList{QStringLiteral("ana"), QStringLiteral("O'Neil"), QStringLiteral("sa")}));
    EXPECT_TRUE(scalar(*sa, QStringLiteral("select password from syslogins where name = 'O''Neil'"))
                    .toString()
                    .startsWith(QStringLiteral("pbkdf2-sha256$")));
    EXPECT_EQ(scalar(*sa, QStringLiteral("select count(*) from syslogins where password like '%it''s%'")).toInt32(), 0);

    // Passwords: an administrator sets one without the old; a login changes its own with it.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_password NULL , 'Pw.2' , 'ana'")), 0);
    EXPECT_EQ(loginError(s, QStringLiteral("ana"), QStringLiteral("Pw.1")), 18456);
    auto ana = connectAs(s, QStringLiteral("ana"), QStringLiteral("Pw.2"));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_password 'wrong' , 'Pw.3'"), &text), 15211);
    EXPECT_EQ(text, QStringLiteral("Old (current) password incorrect for user. The password was not changed."));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_password 'Pw.2' , 'Pw.3'")), 0);
    EXPECT_EQ(loginError(s, QStringLiteral("ana"), QStringLiteral("Pw.3")), 0);
    EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_password NULL , 'Pw.4' , 'ana'")), 15151);
    EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_password NULL , 'x' , 'sa'"), &text), 15151);
    EXPECT_EQ(text, QStringLiteral("Cannot alter the login 'sa', because it does not exist or you do not have permission."));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_password 'Pw.3' , 'x' , 'sa'")), 15151);

    // A login that is not sysadmin adds and drops no login.
    EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_addlogin 'bob' , 'x'"), &text), 15247);
    EXPECT_EQ(text, QStringLiteral("User does not have permission to perform this action."));
    EXPECT_EQ(errorOf(*ana, QStringLiteral("sp_droplogin 'O''Neil'")), 15247);

    // Drops: not while connected, never the server's first login, not an unknown one.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_droplogin 'ana'"), &text), 15434);
    EXPECT_EQ(text, QStringLiteral("Could not drop login 'ana' as the user is currently logged in."));
    ana->Close();
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_droplogin 'ana'")), 0);
    EXPECT_EQ(loginError(s, QStringLiteral("ana"), QStringLiteral("Pw.3")), 18456);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_droplogin 'ana'"), &text), 15007);
    EXPECT_EQ(text, QStringLiteral("'ana' is not a valid login or you do not have permission."));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_droplogin 'sa'")), 15405);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_droplogin")), 201);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_droplogin @nome = 'x'")), 8145);

    // Catalogue procedures stay out of user transactions.
    sa->BeginTrans();
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addlogin 'bob' , 'x'"), &text), 15002);
    EXPECT_EQ(text, QStringLiteral("The procedure 'sp_addlogin' cannot be executed within a transaction."));
    sa->RollbackTrans();
}

TEST(EmbeddedAdminLogins, FixedServerRoles) {
    Server s;
    auto sa = s.connect(QStringLiteral("master"));
    sa->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    sa->Execute(QStringLiteral("sp_addlogin 'bob' , 'pw'"));

    auto members = [&](const QString& role) {
        return column(*sa, QStringLiteral("sp_helpsrvrolemember '") + role + u'\'', QStringLiteral("membername"));
    };
    EXPECT_EQ(members(QStringLiteral("sysadmin")), QStringList{QStringLiteral("sa")});
    {
        auto rs = sa->Execute(QStringLiteral("sp_helpsrvrolemember 'sysadmin'"));
        EXPECT_EQ(rs.Fields(QStringLiteral("ServerRole")).Value().toString(), QStringLiteral("sysadmin"));
        EXPECT_EQ(rs.Fields(QStringLiteral("MemberSID")).Value().toBytes(), QByteArray("\x01", 1));
    }

    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addsrvrolemember 'ana' , 'sysadmin'")), 0);
    EXPECT_EQ(members(QStringLiteral("SYSADMIN ")), (QStringList{QStringLiteral("ana"), QStringLiteral("sa")}));
    {
        data::Connection c;
        c.Open(connectionString(s.folder(), QStringLiteral("master"), QStringLiteral("ana")), QString(), QStringLiteral("pw"));
        EXPECT_EQ(errorOf(c, QStringLiteral("sp_addlogin 'carla' , 'pw'")), 0);
        // Taking the role away takes effect on the open connection.
        EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dropsrvrolemember 'ana' , 'sysadmin'")), 0);
        EXPECT_EQ(errorOf(c, QStringLiteral("sp_addlogin 'dora' , 'pw'")), 15247);
        EXPECT_EQ(errorOf(c, QStringLiteral("sp_addsrvrolemember 'ana' , 'dbcreator'")), 15247);
    }
    EXPECT_EQ(members(QStringLiteral("sysadmin")), QStringList{QStringLiteral("sa")});

    QString text;
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addsrvrolemember 'ana' , ''"), &text), 15402);
    EXPECT_EQ(text, QStringLiteral("'' is not a fixed server role."));
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addsrvrolemember 'nobody' , 'dbcreator'")), 15007);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_dropsrvrolemember 'sa' , 'sysadmin'")), 15405);
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_helpsrvrolemember 'nonsense'"), &text), 15412);
    EXPECT_EQ(text, QStringLiteral("'nonsense' is not a known fixed role."));

    // A member of a role may add others to it, and to no other role.
    EXPECT_EQ(errorOf(*sa, QStringLiteral("sp_addsrvrolemember 'ana' , 'dbcreator'")), 0);
    data::Connection ana;
    ana.Open(connectionString(s.folder(), QStringLiteral("master"), QStringLiteral("ana")), QString(), QStringLiteral("pw"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("sp_addsrvrolemember 'bob' , 'dbcreator'")), 0);
    EXPECT_EQ(errorOf(ana, QStringLiteral("sp_addsrvrolemember 'bob' , 'diskadmin'")), 15247);
    EXPECT_EQ(members(QStringLiteral("dbcreator")),
              (QStringList{QStringLiteral("ana"), QStringLiteral("bob"), QStringLiteral("sa")}));
    // Without an argument: every role's members, sysadmin first.
    const QStringList all = column(*sa, QStringLiteral("sp_helpsrvrolemember"), QStringLiteral("ServerRole"));
    EXPECT_EQ(all.size(), 4);
    EXPECT_EQ(all.front(), QStringLiteral("sysadmin"));
}
