// The FreeTDS connection string as text, the reading of single-table selects, and what a
// failed connection reports.

#include <gtest/gtest.h>

#include "data/dberror.h"
#include "data/odbc/odbc_internal.h"
#include "data/odbc/odbc_provider.h"

using data::ConnectionString;
using data::DbError;
using data::provider::OpenArguments;
using data::provider::freeTdsConnectionString;
using data::provider::quoteOdbcValue;

namespace {

OpenArguments argsFor(const QString& text, const QString& password = {}, long connectTimeout = 15,
                      long commandTimeout = 30) {
    OpenArguments a;
    a.connection = ConnectionString(text);
    a.password = password;
    a.connectionTimeout = connectTimeout;
    a.commandTimeout = commandTimeout;
    return a;
}

}  // namespace

TEST(OdbcConnectionString, QuotesValuesAsOdbcWantsThem) {
    EXPECT_EQ(quoteOdbcValue(QString()), QString());
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("Velmora")), QStringLiteral("Velmora"));
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("a;b")), QStringLiteral("{a;b}"));
    // A closing brace stays single: FreeTDS 1.3 never undoes a doubling.
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("}")), QStringLiteral("}"));
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("a;b}")), QStringLiteral("{a;b}}"));
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("{x")), QStringLiteral("{{x}"));
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("a=b")), QStringLiteral("{a=b}"));
    EXPECT_EQ(quoteOdbcValue(QStringLiteral(" lead")), QStringLiteral("{ lead}"));
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("trail ")), QStringLiteral("{trail }"));
    // Values that no release reads back as written are refused, without showing them.
    for (const char* refused : {"x}};{y", "{a}}", " }}"}) {
        try {
            quoteOdbcValue(QString::fromUtf8(refused), QStringLiteral("PWD"));
            ADD_FAILURE() << refused;
        } catch (const data::DbError& e) {
            EXPECT_TRUE(e.description().contains(QStringLiteral("PWD")));
            EXPECT_FALSE(e.description().contains(QString::fromUtf8(refused)));
        }
    }
    EXPECT_EQ(quoteOdbcValue(QStringLiteral("ação")), QStringLiteral("ação"));
    const QString huge(40000, u'}');
    EXPECT_EQ(quoteOdbcValue(huge).size(), 40000);
}

TEST(OdbcConnectionString, PinsDriverProtocolCharsetAndTimeouts) {
    const QString s = freeTdsConnectionString(
        argsFor(QStringLiteral("Provider=SQLOLEDB;Data Source=SRV01\\SQLEXPRESS;Initial Catalog=Velmora;User ID=sa"),
                QStringLiteral("p;w}d"), 10, 0));
    EXPECT_EQ(s, QStringLiteral("DRIVER={FreeTDS};SERVER=SRV01\\SQLEXPRESS;DATABASE=Velmora;UID=sa;PWD={p;w}d};"
                                "TDS_Version=7.4;ClientCharset=UTF-8;Timeout=0;ConnectionTimeout=10;Language=;"));

    // Synonyms of the keys, a port after a comma, negative time-outs taken as none.
    const QString t = freeTdsConnectionString(
        argsFor(QStringLiteral("Server=tcp:db.example,1433;Database=Geral;UID=extractor"), QString(), -5, 45));
    EXPECT_EQ(t, QStringLiteral("DRIVER={FreeTDS};SERVER={db.example,1433};DATABASE=Geral;UID=extractor;"
                                "TDS_Version=7.4;ClientCharset=UTF-8;Timeout=45;ConnectionTimeout=0;Language=;"));
}

TEST(OdbcConnectionString, BracesEveryValueThatNeedsThem) {
    const QString s = freeTdsConnectionString(argsFor(QStringLiteral("Data Source=(local);Initial Catalog=Odd}Name;"
                                                                     "User ID=dom\\user=x"),
                                                      QStringLiteral("}{;=}")));
    EXPECT_TRUE(s.contains(QStringLiteral(";SERVER=localhost;")));
    EXPECT_TRUE(s.contains(QStringLiteral(";DATABASE=Odd}Name;")));
    EXPECT_TRUE(s.contains(QStringLiteral(";UID={dom\\user=x};")));
    EXPECT_TRUE(s.contains(QStringLiteral(";PWD={}{;=}};")));

    // "." is this machine too, also with an instance name.
    EXPECT_TRUE(freeTdsConnectionString(argsFor(QStringLiteral("Data Source=.\\INST")))
                    .contains(QStringLiteral(";SERVER=localhost\\INST;")));
    // With a port as well, the port: SQL Server's clients never ask for the instance then.
    EXPECT_TRUE(freeTdsConnectionString(argsFor(QStringLiteral("Data Source=db\\INST,1450")))
                    .contains(QStringLiteral(";SERVER={db,1450};")));
}

TEST(OdbcConnectionString, LeavesOutWhatIsNotGiven) {
    // No user: no UID and no PWD, even with a password at hand.
    const QString s = freeTdsConnectionString(argsFor(QStringLiteral("Data Source=srv"), QStringLiteral("secret")));
    EXPECT_FALSE(s.contains(QStringLiteral("UID=")));
    EXPECT_FALSE(s.contains(QStringLiteral("secret")));
    EXPECT_FALSE(s.contains(QStringLiteral("DATABASE=")));
    // A user without password sends none.
    EXPECT_FALSE(freeTdsConnectionString(argsFor(QStringLiteral("Data Source=srv;User ID=sa"))).contains(u"PWD"));
    // Windows authentication.
    EXPECT_TRUE(freeTdsConnectionString(argsFor(QStringLiteral("Data Source=srv;Integrated Security=SSPI")))
                    .contains(QStringLiteral(";Trusted_Connection=Yes;")));
    // An empty connection string still gives a well-formed text.
    EXPECT_EQ(freeTdsConnectionString(argsFor(QString())),
              QStringLiteral("DRIVER={FreeTDS};SERVER=;TDS_Version=7.4;ClientCharset=UTF-8;Timeout=30;"
                             "ConnectionTimeout=15;Language=;"));
}

TEST(OdbcMessages, LoseDriverPrefixesAndPasswords) {
    using data::odbc::cleanMessage;
    EXPECT_EQ(cleanMessage(QStringLiteral("[FreeTDS][SQL Server]Invalid object name 'x'."), QString()),
              QStringLiteral("Invalid object name 'x'."));
    EXPECT_EQ(cleanMessage(QStringLiteral("[unixODBC][Driver Manager]Data source name not found"), QString()),
              QStringLiteral("Data source name not found"));
    EXPECT_EQ(cleanMessage(QStringLiteral("Login failed for user 'sa'."), QStringLiteral("a")),
              QStringLiteral("Login failed for user 'sa'."));
    EXPECT_EQ(cleanMessage(QStringLiteral("bad DRIVER=x;PWD={a;b}}c};UID=u"), QString()),
              QStringLiteral("bad DRIVER=x;PWD=********;UID=u"));
    EXPECT_EQ(cleanMessage(QStringLiteral("echo hunter2 here"), QStringLiteral("hunter2")),
              QStringLiteral("echo ******** here"));
    EXPECT_EQ(cleanMessage(QStringLiteral("[unterminated"), QString()), QStringLiteral("[unterminated"));
    EXPECT_EQ(cleanMessage(QString(), QStringLiteral("pw")), QString());
}

TEST(OdbcSelect, FindsTheOneTableOfASimpleSelect) {
    using data::odbc::singleTableOf;
    EXPECT_EQ(singleTableOf(QStringLiteral("Select * From Velmora..Clientes With (NoLock) Where Nome = 'a, b'")),
              QStringLiteral("Velmora..Clientes"));
    EXPECT_EQ(singleTableOf(QStringLiteral("select a, b from [my table] t order by a, b")), QStringLiteral("[my table]"));
    EXPECT_EQ(singleTableOf(QStringLiteral("SELECT * FROM dbo.Config AS c WHERE c.x IN (SELECT y FROM z);")),
              QStringLiteral("dbo.Config"));
    EXPECT_EQ(singleTableOf(QStringLiteral("select (select max(x) from u), -- from q\n a from t /* from r */")),
              QStringLiteral("t"));
    EXPECT_EQ(singleTableOf(QStringLiteral("select * from [a]]b].[c]")), QStringLiteral("[a]]b].[c]"));

    EXPECT_EQ(singleTableOf(QStringLiteral("select * from a, b")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select * from a join b on a.x = b.x")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select x, count(*) from a group by x")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select distinct x from a")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select * into b from a")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select * from a; select * from b")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select * from a union select * from b")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("update a set x = 1")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select 1")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select * from")), QString());
    EXPECT_EQ(singleTableOf(QString()), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select * from 'unterminated")), QString());
    EXPECT_EQ(singleTableOf(QStringLiteral("select * from t where x = '") + QString(40000, u'x')), QStringLiteral("t"));
}

TEST(OdbcConnect, FailureReportsTheServerTextWithoutThePassword) {
    if (!data::provider::odbcDriverRegistered(QStringLiteral("FreeTDS"))) {
        GTEST_SKIP() << "the FreeTDS ODBC driver is not registered in odbcinst.ini";
    }
    // Nothing listens on port 1 of this machine: the connection is refused at once.
    const QString password = QStringLiteral("Pw;}{=Secret");
    OpenArguments args = argsFor(QStringLiteral("Data Source=127.0.0.1,1;Initial Catalog=Velmora;User ID=sa"),
                                 password, 5, 5);
    try {
        data::provider::openOdbcSession(args);
        FAIL() << "a connection to a closed port succeeded";
    } catch (const DbError& e) {
        EXPECT_FALSE(e.description().isEmpty());
        EXPECT_FALSE(e.description().startsWith(u'['));
        EXPECT_NE(e.number(), 0);
        ASSERT_FALSE(e.errors().empty());
        for (const auto& err : e.errors()) {
            EXPECT_FALSE(err.Description().contains(QStringLiteral("Secret"))) << err.Description().toStdString();
            EXPECT_EQ(err.SQLState().size(), 5);
        }
        EXPECT_FALSE(QString::fromStdString(e.what()).contains(QStringLiteral("Secret")));
    }
}

TEST(OdbcConnect, UnknownDriverIsAnErrorWithItsState) {
    data::provider::OdbcOptions options;
    options.connectionString = QStringLiteral("DRIVER={No Such Driver 42};Database=x");
    OpenArguments args = argsFor(QString(), QStringLiteral("Top;}Secret"));
    try {
        data::provider::openOdbcSession(args, options);
        FAIL() << "an unknown driver connected";
    } catch (const DbError& e) {
        // The driver manager's own words: it could not load the driver.
        EXPECT_EQ(e.sqlState().size(), 5);
        EXPECT_TRUE(e.description().contains(QStringLiteral("No Such Driver 42"))) << e.description().toStdString();
        EXPECT_FALSE(e.description().isEmpty());
        EXPECT_FALSE(e.description().contains(QStringLiteral("Secret")));
        EXPECT_FALSE(e.description().startsWith(u'['));
    }
}
