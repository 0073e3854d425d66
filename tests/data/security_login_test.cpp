// Logins and passwords at the connection: the embedded engine refuses every wrong login or
// password, each time, with SQL Server's 18456 and a text that names the login only; an open
// connection gives its string back without the password, yet reopens after Close; the SQL
// Server provider's refusal carries no password either.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "data/connection.h"
#include "data/connectionstring.h"
#include "data/dberror.h"

namespace {

const QString kSaPassword = QStringLiteral("Sa!Xq83-Palavra");
const QString kAnaPassword = QStringLiteral("Ana!Rt27-Palavra");

QString connectionString(const QString& folder, const QString& login, const QString& database = "master") {
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") +
           data::quoteConnectionValue(login) +
           QStringLiteral(";Initial Catalog=") + database + QStringLiteral(";Data Source=embedded:") + folder;
}

// The error number of an Open (0 when it opened, and then it is closed again), with every text
// the failure left behind.
long tryOpen(const QString& folder, const QString& login, const QString& password, QStringList* texts) {
    data::Connection c;
    try {
        c.Open(connectionString(folder, login), QString(), password);
    } catch (const data::DbError& e) {
        *texts << e.description() << c.ConnectionString();
        for (int i = 0; i < c.Errors().Count(); ++i) *texts << c.Errors().Item(i).Description();
        EXPECT_EQ(c.State(), data::ado::adStateClosed);
        return e.number();
    }
    *texts << c.ConnectionString();
    c.Close();
    return 0;
}

class SecurityLogin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        data::Connection sa;
        sa.Open(connectionString(dir_.path(), QStringLiteral("sa")), QString(), kSaPassword);
        sa.Execute(QStringLiteral("sp_addlogin 'ana', '") + kAnaPassword + QStringLiteral("'"));
        sa.Execute(QStringLiteral("sp_addlogin 'vazio', ''"));
    }
    QTemporaryDir dir_;
};

}  // namespace

TEST_F(SecurityLogin, TheEngineRefusesEveryWrongLoginOrPasswordEveryTime) {
    QStringList texts;
    const struct {
        const char* login;
        QString password;
    } wrong[] = {
        {"sa", QStringLiteral("Sa!Xq83-palavra")},  // one letter's case
        {"sa", QStringLiteral("SA!XQ83-PALAVRA")},
        {"sa", kSaPassword + u' '},                  // a trailing blank counts
        {"sa", u' ' + kSaPassword},
        {"sa", kSaPassword.left(kSaPassword.size() - 1)},
        {"sa", QString()},                           // empty
        {"sa", kAnaPassword},                        // the right password of another login
        {"ana", kSaPassword},
        {"ana", QString()},
        {"vazio", QStringLiteral("x")},              // a login without a password takes no other
        {"ghost", kSaPassword},                      // no such login
        {"sa ana", kSaPassword},
        {"sa'--", kSaPassword},                      // a login that tries to end the lookup
        {"", kSaPassword},
    };
    for (int round = 0; round < 3; ++round) {
        for (const auto& w : wrong) {
            EXPECT_EQ(tryOpen(dir_.path(), QString::fromLatin1(w.login), w.password, &texts), 18456)
                << "round " << round << " login '" << w.login << "' password '" << w.password.toStdString() << "'";
        }
    }
    for (const QString& t : texts) {
        EXPECT_FALSE(t.contains(kSaPassword.left(8)) || t.contains(kAnaPassword.left(8)))
            << "a password in: " << t.toStdString();
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("Login failed for user 'ana'.")));

    // Refusals change nothing: the right passwords still open, login names without case.
    texts.clear();
    EXPECT_EQ(tryOpen(dir_.path(), QStringLiteral("sa"), kSaPassword, &texts), 0);
    EXPECT_EQ(tryOpen(dir_.path(), QStringLiteral("ANA"), kAnaPassword, &texts), 0);
    EXPECT_EQ(tryOpen(dir_.path(), QStringLiteral("vazio"), QString(), &texts), 0);
    for (const QString& t : texts) EXPECT_FALSE(t.contains(kSaPassword) || t.contains(kAnaPassword)) << t.toStdString();
}

TEST_F(SecurityLogin, AnOpenConnectionHidesItsPasswordYetReopensAfterClose) {
    // The password given to Open, and the password given inside the string.
    for (const bool inString : {false, true}) {
        SCOPED_TRACE(inString ? "in the string" : "to Open");
        data::Connection c;
        if (inString) {
            c.setConnectionString(connectionString(dir_.path(), QStringLiteral("ana"), QStringLiteral("master")) +
                                  QStringLiteral(";Password=") + kAnaPassword);
            c.Open();
        } else {
            c.setConnectionString(connectionString(dir_.path(), QStringLiteral("ana")));
            c.Open(QString(), QString(), kAnaPassword);
        }
        EXPECT_FALSE(c.ConnectionString().contains(kAnaPassword));
        EXPECT_FALSE(c.ConnectionString().contains(QStringLiteral("Password"), Qt::CaseInsensitive));
        EXPECT_TRUE(c.ConnectionString().contains(QStringLiteral("User ID=ana")));

        // Closed and opened again, as a caller that keeps its connection object does.
        for (int i = 0; i < 2; ++i) {
            c.Close();
            ASSERT_NO_THROW(c.Open()) << "reopen " << i;
            EXPECT_EQ(c.State(), data::ado::adStateOpen);
            EXPECT_EQ(c.Execute(QStringLiteral("select 7")).Fields(0).Value().toInt32(), 7);
            EXPECT_FALSE(c.ConnectionString().contains(kAnaPassword));
        }
        c.Close();

        // The kept password goes to that same connection only: a user named at Open, or a
        // new string (another login, or the same text set again), must bring its own.
        EXPECT_THROW(c.Open(QString(), QStringLiteral("sa")), data::DbError);
        EXPECT_EQ(c.Errors().Item(0).Number(), 18456);
        c.setConnectionString(connectionString(dir_.path(), QStringLiteral("sa")));
        EXPECT_THROW(c.Open(), data::DbError);
        c.setConnectionString(connectionString(dir_.path(), QStringLiteral("ana")));
        EXPECT_THROW(c.Open(), data::DbError);
        c.Open(QString(), QString(), kAnaPassword);
        c.Close();
        EXPECT_NO_THROW(c.Open());
        EXPECT_EQ(c.State(), data::ado::adStateOpen);
    }
}

TEST(SecurityOdbc, TheSqlServerProvidersRefusalCarriesNoPassword) {
    const QString password = QStringLiteral("Odbc!Mz41-Palavra");
    data::Connection c;
    c.setConnectionTimeout(2);
    // Port 1 of loopback: refused at once, so the driver's own error text comes back.
    const QString cs = QStringLiteral(
        "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=Empresa;"
        "Data Source=127.0.0.1,1");
    for (const QString& how : {QStringLiteral("open"), QStringLiteral("string")}) {
        QStringList texts;
        try {
            if (how == u"open") {
                c.Open(cs, QString(), password);
            } else {
                c.Open(cs + QStringLiteral(";PWD=") + password);
            }
            FAIL() << "nothing listens there";
        } catch (const data::DbError& e) {
            EXPECT_NE(e.number(), 0);
            texts << e.description();
        }
        texts << c.ConnectionString();
        for (int i = 0; i < c.Errors().Count(); ++i) texts << c.Errors().Item(i).Description();
        for (const QString& t : texts) EXPECT_FALSE(t.contains(password)) << how.toStdString() << ": " << t.toStdString();
    }
}

TEST_F(SecurityLogin, APasswordOrLoginHoldingTheStringsOwnCharactersConnectsAndStaysHidden) {
    const QString login = QStringLiteral("rui;{o}=1");
    const QString password = QStringLiteral("Pw;Key=V}al\"ue'X{9");
    {
        data::Connection sa;
        sa.Open(connectionString(dir_.path(), QStringLiteral("sa")), QString(), kSaPassword);
        sa.Execute(QStringLiteral("sp_addlogin 'rui;{o}=1', 'Pw;Key=V}al\"ue''X{9'"));
    }
    // Every piece a password could leave behind, were it cut at one of its own characters.
    const QStringList pieces = {QStringLiteral("Pw;"), QStringLiteral("Key=V"), QStringLiteral("al\"ue"),
                                QStringLiteral("ue'X")};
    const auto showsNone = [&](const QStringList& texts) {
        for (const QString& t : texts) {
            for (const QString& p : pieces) EXPECT_FALSE(t.contains(p)) << "'" << p.toStdString() << "' in " << t.toStdString();
        }
    };

    QStringList texts;
    EXPECT_EQ(tryOpen(dir_.path(), login, password, &texts), 0);
    EXPECT_EQ(tryOpen(dir_.path(), login, password.left(9), &texts), 18456);
    EXPECT_TRUE(texts.contains(QStringLiteral("Login failed for user 'rui;{o}=1'.")));
    showsNone(texts);

    // The password inside the string, quoted as the string's other values are.
    data::Connection c;
    c.Open(connectionString(dir_.path(), login) + QStringLiteral(";Password=") + data::quoteConnectionValue(password));
    EXPECT_EQ(c.ConnectionString(), connectionString(dir_.path(), login));
    EXPECT_TRUE(c.ConnectionString().contains(QStringLiteral(";User ID=\"rui;{o}=1\";")));
    EXPECT_EQ(c.Execute(QStringLiteral("select 7")).Fields(0).Value().toInt32(), 7);
    c.Close();
    EXPECT_NO_THROW(c.Open());
    showsNone({c.ConnectionString()});
    c.Close();

    // A login named at Open goes into the shown string quoted as well.
    data::Connection named;
    named.Open(connectionString(dir_.path(), QStringLiteral("ghost")), login, password);
    EXPECT_EQ(data::ConnectionString(named.ConnectionString()).userId(), login);
}
