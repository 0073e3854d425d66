// Connections as SysProcesses shows them (this program's and another program's), Kill, and
// the lock list.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QSysInfo>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <future>
#include <string>
#include <thread>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

const char* const kChildFolder = "VELMORA_ADMIN_CHILD_FOLDER";

QList<int> spids(data::Connection& c, const QString& where = QString()) {
    QList<int> out;
    data::Recordset rs;
    rs.Open(QStringLiteral("select spid from sysprocesses") + where + QStringLiteral(" order by spid"), c);
    while (!rs.EOF()) {
        out.push_back(rs.Fields(0L).Value().toInt32());
        rs.MoveNext();
    }
    return out;
}

int spidOf(data::Connection& c) { return scalar(c, QStringLiteral("select @@spid")).toInt32(); }

// Another program holding a connection: this test program run again in its child mode.
class Child {
public:
    explicit Child(const QString& folder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildFolder), folder);
        p_.setProcessEnvironment(env);
        p_.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=EmbeddedAdminChild.*"), QStringLiteral("--gtest_also_run_disabled_tests")});
        spid = line(QStringLiteral("spid ")).toInt();
    }
    ~Child() {
        if (p_.state() != QProcess::NotRunning) {
            p_.write("exit\n");
            if (!p_.waitForFinished(5000)) p_.kill();
            p_.waitForFinished(5000);
        }
    }
    // Runs a statement in the child; its error number.
    long run() {
        p_.write("go\n");
        return line(QStringLiteral("result ")).toLong();
    }
    void crash() {
        p_.kill();
        p_.waitForFinished(5000);
    }
    qint64 pid() const { return p_.processId(); }
    int spid = 0;

private:
    QString line(const QString& prefix) {
        for (int waited = 0; waited < 600; ++waited) {
            while (p_.canReadLine()) {
                const QString l = QString::fromLocal8Bit(p_.readLine()).trimmed();
                if (l.startsWith(prefix)) return l.mid(prefix.size());
            }
            if (!p_.waitForReadyRead(100) && p_.state() == QProcess::NotRunning) break;
        }
        ADD_FAILURE() << "the child gave no line " << prefix.toStdString();
        return {};
    }
    QProcess p_;
};

}  // namespace

// The child mode (run only by the tests below): holds a connection until told to run a
// statement or to end.
TEST(EmbeddedAdminChild, DISABLED_HoldsAConnection) {
    const QString folder = qEnvironmentVariable(kChildFolder);
    if (folder.isEmpty()) GTEST_SKIP() << "runs only as the child of the process tests";
    data::Connection c;
    c.Open(connectionString(folder, QStringLiteral("Velmora")), QString(), Server::password());
    std::printf("spid %d\n", spidOf(c));
    std::fflush(stdout);
    std::string cmd;
    while (std::getline(std::cin, cmd)) {
        if (cmd == "exit") break;
        std::printf("result %ld\n", errorOf(c, QStringLiteral("select count(*) from T")));
        std::fflush(stdout);
    }
}

TEST(EmbeddedAdminProcesses, SysProcessesKillAndLocksInThisProgram) {
    Server s;
    auto m = s.connect(QStringLiteral("master"));
    auto c1 = s.connect();
    auto c2 = s.connect();
    const int me = spidOf(*m);
    const int s1 = spidOf(*c1);
    const int s2 = spidOf(*c2);
    EXPECT_GE(me, 51);
    EXPECT_EQ(spids(*m), (QList<int>{me, s1, s2}));

    // KillAllProcessesInCurrentMachine's query, on a dynamic recordset.
    const QString host = QSysInfo::machineHostName();
    data::Recordset rs;
    rs.Open(QStringLiteral("Select sysprocesses.spid, sysprocesses.status, sysdatabases.name from SysProcesses ") +
                QStringLiteral("Inner Join sysdatabases on sysdatabases.dbid = sysprocesses.dbid ") +
                QStringLiteral("Where sysprocesses.Hostname='") + host + QStringLiteral("' and SysDatabases.Name='") +
                QStringLiteral("Velmora") + u'\'',
            *m, data::ado::adOpenDynamic, data::ado::adLockOptimistic);
    QList<int> found;
    while (!rs.EOF()) {
        found.push_back(rs.Fields(QStringLiteral("spid")).Value().toInt32());
        EXPECT_EQ(rs.Fields(QStringLiteral("name")).Value().toString(), QStringLiteral("Velmora"));
        rs.MoveNext();
    }
    rs.Close();
    EXPECT_EQ(found, (QList<int>{s1, s2}));
    // isLoggedOn's query: every connection of the login counts as a network process.
    EXPECT_EQ(spids(*m, QStringLiteral(" where net_address<>' ' and upper(loginame)='SA'")).size(), 3);
    {
        auto row = m->Execute(QStringLiteral("select * from sysprocesses where spid = ") + QString::number(s1));
        EXPECT_EQ(row.Fields(QStringLiteral("hostprocess")).Value().toString().trimmed(),
                  QString::number(QCoreApplication::applicationPid()));
        EXPECT_EQ(row.Fields(QStringLiteral("program_name")).Value().toString().trimmed(), QStringLiteral("velmora-tests"));
        EXPECT_EQ(row.Fields(QStringLiteral("status")).Value().toString().trimmed(), QStringLiteral("sleeping"));
    }

    // A lock of an open transaction, seen through sp_lock and object_name as SQLCheckLock reads them.
    c2->Execute(QStringLiteral("create table Trava_ (xxx varchar (10) NULL)"));
    c2->Execute(QStringLiteral("insert into Trava_ (xxx) values ('xxx')"));
    c2->BeginTrans();
    c2->Execute(QStringLiteral("update Trava_  set xxx='xxx'"));
    auto lockedNames = [&] {
        QStringList names;
        data::Recordset locks;
        locks.Open(QStringLiteral("sp_lock"), *c1);
        while (!locks.EOF()) {
            const QString id = locks.Fields(QStringLiteral("OBJID")).Value().toString();
            const QString a =
                scalar(*c1, QStringLiteral("select a=isnull(object_name(") + id + QStringLiteral("),'' )")).toString();
            if (!a.trimmed().isEmpty()) names.push_back(a);
            locks.MoveNext();
        }
        return names;
    };
    EXPECT_TRUE(lockedNames().contains(QStringLiteral("Trava_")));
    c2->CommitTrans();
    EXPECT_TRUE(lockedNames().isEmpty());

    // Kill: the victim's next statement fails, its lock is given back at once.
    c2->BeginTrans();
    c2->Execute(QStringLiteral("update Trava_  set xxx='yyy'"));
    c1->setCommandTimeout(2);
    QString text;
    EXPECT_EQ(errorOf(*m, QStringLiteral("Kill ") + QString::number(s2)), 0);
    EXPECT_EQ(errorOf(*c1, QStringLiteral("update Trava_ set xxx='zzz'")), 0);
    EXPECT_EQ(errorOf(*c2, QStringLiteral("select 1"), &text), 10054);
    EXPECT_EQ(text, QStringLiteral("General network error. Check your network documentation."));
    EXPECT_EQ(c2->Errors().Item(0).SQLState(), QStringLiteral("08S01"));
    EXPECT_EQ(errorOf(*c2, QStringLiteral("select 1")), 10054);
    EXPECT_EQ(spids(*m), (QList<int>{me, s1}));
    EXPECT_EQ(scalar(*c1, QStringLiteral("select xxx from Trava_")).toString(), QStringLiteral("zzz"));

    EXPECT_EQ(errorOf(*m, QStringLiteral("Kill ") + QString::number(me), &text), 6104);
    EXPECT_EQ(text, QStringLiteral("Cannot use KILL to kill your own process."));
    EXPECT_EQ(errorOf(*m, QStringLiteral("Kill ") + QString::number(s2), &text), 6106);
    EXPECT_EQ(text, QStringLiteral("Process ID %1 is not an active process ID.").arg(s2));
    EXPECT_EQ(errorOf(*m, QStringLiteral("Kill 0")), 6101);
    EXPECT_EQ(errorOf(*m, QStringLiteral("Kill 99999999999999999999")), 6101);
    EXPECT_EQ(errorOf(*m, QStringLiteral("Kill abc")), 102);
    m->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    data::Connection ana;
    ana.Open(connectionString(s.folder(), QStringLiteral("master"), QStringLiteral("ana")), QString(), QStringLiteral("pw"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("Kill ") + QString::number(s1), &text), 6102);
    EXPECT_EQ(text, QStringLiteral("User does not have permission to use the KILL statement."));

    // A closed connection leaves the list; its spid is given to the next one.
    c1->Close();
    ana.Close();
    EXPECT_EQ(spids(*m), (QList<int>{me}));
    auto c3 = s.connect();
    EXPECT_EQ(spidOf(*c3), s1);
    auto who = m->Execute(QStringLiteral("sp_who"));
    EXPECT_EQ(who.Fields(QStringLiteral("spid")).Value().toInt32(), me);
}

TEST(EmbeddedAdminProcesses, AnotherProgramsConnectionsAndCrashes) {
    Server s;
    auto m = s.connect(QStringLiteral("master"));
    m->Execute(QStringLiteral("use Velmora"));
    m->Execute(QStringLiteral("create table T (a int)"));
    m->Execute(QStringLiteral("use master"));
    {
        Child child(s.folder());
        ASSERT_GE(child.spid, 51);
        auto row = m->Execute(QStringLiteral("select hostprocess, dbid from sysprocesses where spid = ") + QString::number(child.spid));
        ASSERT_FALSE(row.EOF());
        EXPECT_EQ(row.Fields(0L).Value().toString().trimmed(), QString::number(child.pid()));
        EXPECT_EQ(child.run(), 0);
        EXPECT_EQ(errorOf(*m, QStringLiteral("Kill ") + QString::number(child.spid)), 0);
        EXPECT_EQ(child.run(), 10054);
        EXPECT_FALSE(spids(*m).contains(child.spid));
    }
    // A program that ends without closing its connections leaves no row behind.
    Child crashed(s.folder());
    const int gone = crashed.spid;
    EXPECT_TRUE(spids(*m).contains(gone));
    crashed.crash();
    EXPECT_FALSE(spids(*m).contains(gone));
    EXPECT_EQ(spids(*m).size(), 1);
}

// Where the folder's shared signal file cannot be made, the process list still serves: every
// connection registers, a KILL ends its victim's next statement, and nobody else's.
TEST(EmbeddedAdminProcesses, KillWorksWithoutTheSignalFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("tsql_signals")));  // the file's name taken by a folder
    auto open = [&](const QString& db) {
        auto c = std::make_unique<data::Connection>();
        c->Open(connectionString(dir.path(), db), QString(), Server::password());
        return c;
    };
    auto m = open(QStringLiteral("master"));
    m->Execute(QStringLiteral("Create Database Velmora"));
    auto victim = open(QStringLiteral("Velmora"));
    for (int round = 0; round < 3; ++round) {
        auto other = open(QStringLiteral("Velmora"));
        EXPECT_EQ(errorOf(*other, QStringLiteral("select 1")), 0);
        EXPECT_EQ(errorOf(*m, QStringLiteral("Kill ") + QString::number(spidOf(*other))), 0);
        EXPECT_EQ(errorOf(*other, QStringLiteral("select 1")), 10054);
    }
    EXPECT_EQ(errorOf(*victim, QStringLiteral("select 1")), 0);
}

// Two connections each waiting for what the other holds: a table held without the file's write
// lock, and the write lock itself; or the write locks of two databases. Neither has a time-out,
// as the toolkit's connections have none. One is chosen and told 1205, its transaction rolled
// back, and the other goes on.
TEST(EmbeddedAdminProcesses, AWaitThatCanNeverEndIsADeadlock) {
    Server s;
    auto setup = s.connect();
    for (const char* sql : {"create table t1 (a int)", "create table t2 (a int)", "insert into t1 values (1)",
                            "insert into t2 values (1)", "create database Outra", "create table Outra..t3 (a int)",
                            "insert into Outra..t3 values (1)"}) {
        ASSERT_EQ(errorOf(*setup, QString::fromLatin1(sql)), 0) << sql;
    }
    auto a = s.connect();
    auto b = s.connect();
    ASSERT_EQ(a->CommandTimeout(), 0);
    auto begin = [](data::Connection& c, std::initializer_list<const char*> sqls) {
        c.BeginTrans();
        for (const char* sql : sqls) c.Execute(QString::fromLatin1(sql));
    };
    // The waiter's statement waits in a thread of its own, then the closer's closes the cycle:
    // the error numbers of both.
    auto deadlock = [](data::Connection& waiter, const char* waits, data::Connection& closer, const char* closes,
                       QString* closerText = nullptr) {
        auto waiting = std::async(std::launch::async, [&waiter, waits] { return errorOf(waiter, QString::fromLatin1(waits)); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout) << waits << " waits";
        const long closed = errorOf(closer, QString::fromLatin1(closes), closerText);
        if (waiting.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << waits << " is still waiting";
            errorOf(closer, QStringLiteral("rollback"));  // lets it go before the test ends
        }
        return std::make_pair(waiting.get(), closed);
    };
    auto commitBoth = [&] {
        for (data::Connection* c : {a.get(), b.get()}) {
            const long e = errorNumber([c] { c->CommitTrans(); });
            EXPECT_TRUE(e == 0 || e == 3902) << e << ": only the victim has no transaction left";
        }
    };

    // a holds t1 (an update that changes nothing), b writes t2 and waits for t1; a's write of
    // t2 would wait for b's write lock for ever.
    QString text;
    begin(*a, {"update t1 set a = 1"});
    begin(*b, {"update t2 set a = 2"});
    auto ended = deadlock(*b, "update t1 set a = 3", *a, "update t2 set a = 4", &text);
    EXPECT_EQ(ended, std::make_pair(0L, 1205L)) << "a, which has written nothing, is the cheaper one to roll back";
    EXPECT_EQ(text, QStringLiteral("Transaction (Process ID %1) was deadlocked on lock resources with another process and "
                                   "has been chosen as the deadlock victim. Rerun the transaction.")
                        .arg(spidOf(*a)));
    EXPECT_EQ(errorOf(*a, QStringLiteral("commit")), 3902) << "a's transaction was rolled back";
    commitBoth();
    EXPECT_EQ(scalar(*a, QStringLiteral("select sum(a) from t1")).toInt32(), 3);
    EXPECT_EQ(scalar(*a, QStringLiteral("select sum(a) from t2")).toInt32(), 2);

    // Each writes its own database, then the other's: the write locks of two files. b wrote two
    // tables, a one: a is ended, although b's wait is the one that closes the cycle.
    begin(*a, {"update Outra..t3 set a = 5"});
    begin(*b, {"update t1 set a = 6", "update t2 set a = 6"});
    ended = deadlock(*a, "update t2 set a = 7", *b, "update Outra..t3 set a = 8");
    EXPECT_EQ(ended, std::make_pair(1205L, 0L));
    commitBoth();
    EXPECT_EQ(scalar(*a, QStringLiteral("select sum(a) from Outra..t3")).toInt32(), 8) << "a's write was rolled back";

    // The same cycle closed by a stored procedure's write.
    ASSERT_EQ(errorOf(*setup, QStringLiteral("create procedure EscreveT2 as update t2 set a = 11")), 0);
    begin(*a, {"update t1 set a = 6"});
    begin(*b, {"update t2 set a = 12"});
    EXPECT_EQ(deadlock(*b, "update t1 set a = 13", *a, "exec EscreveT2"), std::make_pair(0L, 1205L));
    commitBoth();

    // Two held tables, as two programs' lock tables: each then writes the other's.
    begin(*a, {"update t1 set a = 13"});
    begin(*b, {"update t2 set a = 12"});
    ended = deadlock(*a, "update t2 set a = 14", *b, "update t1 set a = 15");
    EXPECT_EQ(std::min(ended.first, ended.second), 0);
    EXPECT_EQ(std::max(ended.first, ended.second), 1205) << "one of the two, no more";
    commitBoth();

    // A wait with its own end is no deadlock: a time-out ends it with 1222, nothing rolled back.
    b->setCommandTimeout(1);
    a->BeginTrans();
    a->Execute(QStringLiteral("update t2 set a = 9"));
    b->BeginTrans();
    b->Execute(QStringLiteral("update Outra..t3 set a = 9"));
    EXPECT_EQ(errorOf(*b, QStringLiteral("update t2 set a = 10")), 1222);
    a->CommitTrans();
    EXPECT_EQ(errorOf(*b, QStringLiteral("commit")), 0) << "b's transaction is still open";
}
