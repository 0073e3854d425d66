// Connections to the embedded server: the connection string, logins, databases, and the
// errors of a failed opening.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/embedded/server/catalog.h"
#include "platform/appdir.h"
#include "data/dberror.h"
#include "data/recordset.h"

namespace {

QString connectionString(const QString& folder, const QString& login, const QString& db) {
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") + login +
           QStringLiteral(";Initial Catalog=") + db + QStringLiteral(";Data Source=embedded:") + folder;
}

long openError(data::Connection& c, const QString& cs, const QString& password, QString* text = nullptr) {
    try {
        c.Open(cs, QString(), password);
    } catch (const data::DbError& e) {
        if (text) *text = e.description();
        return e.number();
    }
    return 0;
}

}  // namespace

TEST(EmbeddedConnection, FirstConnectionMakesTheServerAndItsSysadmin) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/srv");
    data::Connection c;
    c.setCommandTimeout(0);
    c.setConnectionTimeout(5);
    c.setConnectionString(connectionString(folder, QStringLiteral("sa"), QStringLiteral("master")));
    c.Open(QString(), QString(), QStringLiteral("s3cret"));
    EXPECT_EQ(c.State(), data::ado::adStateOpen);
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/master.db")));
    EXPECT_FALSE(c.ConnectionString().contains(QStringLiteral("s3cret")));

    // The catalogue never holds the password itself.
    data::Recordset rs;
    rs.Open(QStringLiteral("Select name, password, sysadmin from SysLogins"), c);
    ASSERT_FALSE(rs.EOF());
    EXPECT_EQ(rs.Fields(QStringLiteral("NAME")).Value().toString(), QStringLiteral("sa"));
    EXPECT_FALSE(rs.Fields(QStringLiteral("password")).Value().toString().contains(QStringLiteral("s3cret")));
    EXPECT_EQ(rs.Fields(QStringLiteral("sysadmin")).Value().toInt32(), 1);
    rs.Close();

    c.Execute(QStringLiteral("Create Database Velmora"));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Velmora.db")));
    c.Close();
    EXPECT_EQ(c.State(), data::ado::adStateClosed);

    data::Connection v;
    v.Open(connectionString(folder, QStringLiteral("SA"), QStringLiteral("velmora")), QString(), QStringLiteral("s3cret"));
    v.Execute(QStringLiteral(" create table LogGeral ( NumRegisto numeric (18,0) identity (1,1) not null )"));
    v.Execute(QStringLiteral(" alter table LogGeral add Opcao varchar(50) null "));
    v.Execute(QStringLiteral("Insert into LogGeral (Opcao) VALUES ('O''NEILL')"));
    auto r = v.Execute(QStringLiteral("select NumRegisto, Opcao from LogGeral"));
    ASSERT_FALSE(r.EOF());
    EXPECT_EQ(r.Fields(0L).Value().toInt64(), 1);
    EXPECT_EQ(r.Fields(1L).Value().toString(), QStringLiteral("O'NEILL"));
}

TEST(EmbeddedConnection, LoginAndDatabaseFailuresCarrySqlServerNumbers) {
    QTemporaryDir dir;
    const QString folder = dir.path();
    {
        data::Connection c;
        c.Open(connectionString(folder, QStringLiteral("sa"), QStringLiteral("master")), QString(), QStringLiteral("pw"));
    }
    data::Connection c;
    QString text;
    EXPECT_EQ(openError(c, connectionString(folder, QStringLiteral("sa"), QStringLiteral("master")),
                        QStringLiteral("wrong"), &text),
              18456);
    EXPECT_EQ(text, QStringLiteral("Login failed for user 'sa'."));
    EXPECT_FALSE(text.contains(QStringLiteral("wrong")));
    EXPECT_EQ(c.State(), data::ado::adStateClosed);
    ASSERT_EQ(c.Errors().Count(), 1);
    EXPECT_EQ(c.Errors().Item(0).Number(), 18456);
    EXPECT_EQ(c.Errors().Item(0).SQLState(), QStringLiteral("28000"));

    EXPECT_EQ(openError(c, connectionString(folder, QStringLiteral("ghost"), QStringLiteral("master")),
                        QStringLiteral("pw"), &text),
              18456);
    EXPECT_EQ(text, QStringLiteral("Login failed for user 'ghost'."));
    // An empty login never becomes a login of the server.
    EXPECT_EQ(openError(c, connectionString(folder, QString(), QStringLiteral("master")), QString(), &text), 18456);
    EXPECT_EQ(text, QStringLiteral("Login failed for user ''."));

    EXPECT_EQ(openError(c, connectionString(folder, QStringLiteral("sa"), QStringLiteral("Tramonta")),
                        QStringLiteral("pw"), &text),
              4060);
    EXPECT_EQ(text, QStringLiteral("Cannot open database \"Tramonta\" requested by the login. The login failed."));

    // The password can come inside the string too; it is never kept there.
    c.Open(connectionString(folder, QStringLiteral("sa"), QStringLiteral("master")) + QStringLiteral(";Password=pw"));
    EXPECT_FALSE(c.ConnectionString().contains(QStringLiteral("Password"), Qt::CaseInsensitive));
    EXPECT_THROW(c.Open(), data::DbError) << "opening an open connection";
    c.Close();

    // Any other server name is the SQL Server provider.
    EXPECT_NE(openError(c,
                        QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial "
                                       "Catalog=master;Data Source=SRV01"),
                        QStringLiteral("pw"), &text),
              0);
    EXPECT_FALSE(text.contains(QStringLiteral("pw")));
}

TEST(EmbeddedConnection, ValuesHoldingTheStringsOwnCharactersAreQuotedAndReadBackWhole) {
    // Plain values, "=" and braces inside included, are written as they are.
    for (const char* plain : {"sa", "", " sa ", "embedded:/tmp/a b", "a=b", "Odd}Name", "x{y}", "dom\\user"}) {
        EXPECT_EQ(data::quoteConnectionValue(QString::fromLatin1(plain)), QString::fromLatin1(plain));
    }
    EXPECT_EQ(data::quoteConnectionValue(QStringLiteral("a;b")), QStringLiteral("\"a;b\""));
    EXPECT_EQ(data::quoteConnectionValue(QStringLiteral("a;\"b")), QStringLiteral("'a;\"b'"));
    EXPECT_EQ(data::quoteConnectionValue(QStringLiteral("'a\"b")), QStringLiteral("\"'a\"\"b\""));
    EXPECT_EQ(data::quoteConnectionValue(QStringLiteral("{a}")), QStringLiteral("\"{a}\""));

    const QString hard[] = {QStringLiteral("p;w=d}\"'x{"), QStringLiteral("\"quoted\""), QStringLiteral("'"),
                            QStringLiteral(" 'lead"),       QStringLiteral(";"),            QStringLiteral("{x;y}}"),
                            QStringLiteral("a\"\"b;")};
    for (const QString& v : hard) {
        data::ConnectionString cs(QStringLiteral("User ID=") + data::quoteConnectionValue(v) +
                                  QStringLiteral(";Password=") + data::quoteConnectionValue(v) +
                                  QStringLiteral(";Initial Catalog=Velmora"));
        EXPECT_EQ(cs.userId(), v) << v.toStdString();
        EXPECT_EQ(cs.password(), v);
        EXPECT_EQ(cs.initialCatalog(), QStringLiteral("Velmora"));
        cs.set(QStringLiteral("UID"), v + u';');
        EXPECT_EQ(data::ConnectionString(cs.withoutPassword()).userId(), v + u';');
        EXPECT_EQ(cs.withoutPassword(), QStringLiteral("User ID=") + data::quoteConnectionValue(v + u';') +
                                            QStringLiteral(";Initial Catalog=Velmora"));
    }

    // As other writers enclose them: ODBC's braces, blanks around the quotes, a quote never closed.
    const data::ConnectionString odbc(QStringLiteral("PWD={a;b}}c} ;UID= \"u;1\" ;Data Source='s''q;x"));
    EXPECT_EQ(odbc.password(), QStringLiteral("a;b}c"));
    EXPECT_EQ(odbc.userId(), QStringLiteral("u;1"));
    EXPECT_EQ(odbc.dataSource(), QStringLiteral("s'q;x"));
    // The tail of a password that held ";" unquoted is no setting and is not shown.
    EXPECT_EQ(data::ConnectionString(QStringLiteral("User ID=sa;PWD=abc;defgh;Initial Catalog=V")).withoutPassword(),
              QStringLiteral("User ID=sa;Initial Catalog=V"));
}

TEST(EmbeddedConnection, ConnectionStringKeysAndServerFolders) {
    const data::ConnectionString cs(QStringLiteral(
        "Provider=SQLOLEDB.1;Persist Security Info=False;user id= sa ;INITIAL CATALOG=Velmora;Data Source=embedded:s v\t;PWD=x;y"));
    EXPECT_EQ(cs.provider(), QStringLiteral("SQLOLEDB.1"));
    EXPECT_EQ(cs.userId(), QStringLiteral("sa")) << "blanks around a plain value are no part of it";
    EXPECT_EQ(cs.value(QStringLiteral("server")), QStringLiteral("embedded:s v")) << "blanks inside are";
    EXPECT_EQ(data::ConnectionString(QStringLiteral("UID=\" sa \"")).userId(), QStringLiteral(" sa ")) << "quoted";
    EXPECT_EQ(cs.initialCatalog(), QStringLiteral("Velmora"));
    EXPECT_EQ(cs.password(), QStringLiteral("x"));
    EXPECT_FALSE(cs.withoutPassword().contains(QStringLiteral("PWD")));
    EXPECT_TRUE(cs.withoutPassword().startsWith(QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;user id= sa ;")));
    const data::ConnectionString empty(QStringLiteral("User ID=;Initial Catalog="));
    EXPECT_TRUE(empty.contains(QStringLiteral("UID")));
    EXPECT_EQ(empty.userId(), QString());

    // A relative folder is taken from the program's folder.
    EXPECT_EQ(data::embedded::ServerFolder::fromDataSource(QStringLiteral("embedded:srv")).path(),
              QDir::cleanPath(platform::appFolder() + QStringLiteral("/srv")));
    EXPECT_EQ(data::embedded::ServerFolder::fromDataSource(QStringLiteral("EMBEDDED:/tmp/x/../y")).path(), QStringLiteral("/tmp/y"));
    // Stored password form: salted, so two hashes of one password differ, and both verify.
    const QString h1 = data::embedded::hashPassword(QStringLiteral("pw"));
    const QString h2 = data::embedded::hashPassword(QStringLiteral("pw"));
    EXPECT_NE(h1, h2);
    EXPECT_TRUE(data::embedded::verifyPassword(QStringLiteral("pw"), h1));
    EXPECT_FALSE(data::embedded::verifyPassword(QStringLiteral("pW"), h1));
    EXPECT_FALSE(data::embedded::verifyPassword(QStringLiteral("pw"), QStringLiteral("pw")));
}
