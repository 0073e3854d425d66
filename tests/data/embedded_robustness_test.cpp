// Files that cannot be used give an error number and text, never a crash; odd input gets a
// defined answer.
#include <gtest/gtest.h>

#include <QFile>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

long openError(const QString& cs, QString* text = nullptr, long timeout = 1) {
    data::Connection c;
    c.setConnectionTimeout(timeout);
    try {
        c.Open(cs, QString(), Server::password());
    } catch (const data::DbError& e) {
        if (text) *text = e.description();
        EXPECT_EQ(c.State(), data::ado::adStateClosed);
        EXPECT_EQ(c.Errors().Count(), 1);
        return e.number();
    }
    return 0;
}

}  // namespace

TEST(EmbeddedRobustness, LockedMissingCorruptAndUnwritableFiles) {
    Server s;
    QString text;
    // Locked by another program holding a write lock.
    {
        sqlite3* other = nullptr;
        sqlite3_open(s.file(QStringLiteral("Velmora")).toUtf8().constData(), &other);
        sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        EXPECT_EQ(openError(connectionString(s.folder(), QStringLiteral("Velmora")), &text), 1222);
        EXPECT_EQ(text, QStringLiteral("Lock request time out period exceeded."));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        // A lock taken after the connection opened stops a write after the command time-out.
        auto c = s.connect();
        c->Execute(QStringLiteral("create table T (a int)"));
        c->setCommandTimeout(1);
        sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        EXPECT_EQ(errorOf(*c, QStringLiteral("insert into T values (1)")), 1222);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        EXPECT_EQ(errorOf(*c, QStringLiteral("insert into T values (1)")), 0);
        sqlite3_close(other);
    }
    // Missing: a database whose file is gone.
    QFile::remove(s.file(QStringLiteral("Velmora")));
    EXPECT_EQ(openError(connectionString(s.folder(), QStringLiteral("Velmora")), &text), 4060);

    // Corrupt: a file that is no database.
    {
        QFile f(s.file(QStringLiteral("Velmora")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    }
    EXPECT_EQ(openError(connectionString(s.folder(), QStringLiteral("Velmora")), &text), 5172);
    EXPECT_TRUE(text.contains(QStringLiteral("Velmora.db")));
    {
        QFile f(s.folder() + QStringLiteral("/master.db"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(0);
        f.write("garbage garbage garbage");
    }
    EXPECT_EQ(openError(connectionString(s.folder(), QStringLiteral("master")), &text), 5172);

    // A regular file where the server folder should be: nothing can be written there.
    QTemporaryDir dir;
    const QString blocked = dir.path() + QStringLiteral("/srv");
    {
        QFile f(blocked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(openError(connectionString(blocked, QStringLiteral("master")), &text), 5123);
    EXPECT_EQ(openError(connectionString(blocked + QStringLiteral("/below"), QStringLiteral("master")), &text), 5123);
    EXPECT_EQ(openError(QStringLiteral("User ID=sa;Data Source=embedded:"), &text), 17);
}

TEST(EmbeddedRobustness, OddInputGetsADefinedAnswer) {
    Server s;
    auto c = s.connect();
    c->Execute(QStringLiteral("create table T (Texto text, Curto varchar(10))"));
    // Long texts (beyond 32,767 characters) and apostrophes are stored intact.
    const QString longText = QString(40000, u'a') + QStringLiteral("'quoted'") + QString(3, QChar(0x00e7));
    QString literal = longText;
    literal.replace(u'\'', QStringLiteral("''"));
    c->Execute(QStringLiteral("insert into T (Texto) values ('") + literal + QStringLiteral("')"));
    EXPECT_EQ(scalar(*c, QStringLiteral("select Texto from T")).toString(), longText);
    EXPECT_EQ(scalar(*c, QStringLiteral("select len(Texto) from T")).toInt32(), longText.size());

    EXPECT_THROW(c->Execute(QString()), data::DbError);
    EXPECT_THROW(c->Execute(QStringLiteral("   ;  ")), data::DbError);
    EXPECT_EQ(errorOf(*c, QStringLiteral("insert into T (Curto) values ('") + QString(40000, u'b') + QStringLiteral("')")), 8152);
    EXPECT_NE(errorOf(*c, QStringLiteral("select * from T where Curto = 'abc")), 0);
    EXPECT_NE(errorOf(*c, QStringLiteral("select ((((")), 0);
    EXPECT_NE(errorOf(*c, QStringLiteral("[[[[")), 0);
    EXPECT_EQ(errorOf(*c, QStringLiteral("select * from T where Curto = 'It''s' -- comment ' \n")), 0);
    // A closed connection refuses work with ADO's error.
    c->Close();
    EXPECT_EQ(errorOf(*c, QStringLiteral("select 1")), 3709);
}
