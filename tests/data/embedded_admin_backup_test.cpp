// Backup and restore: dump devices, a round trip that gives back every row, and the refusals.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "embedded_test_helpers.h"

using namespace embeddedtest;

namespace {

// Every row of every table of a database file, and its schema, read directly.
QStringList dump(const QString& file) {
    QStringList out;
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    QStringList tables;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT type, name, sql FROM sqlite_master ORDER BY type, name", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) {
        const QString type = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        out.push_back(type + u' ' + name + u' ' + QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 2))));
        if (type == u"table") tables.push_back(name);
    }
    sqlite3_finalize(st);
    for (const QString& t : tables) {
        sqlite3_prepare_v2(db, (QStringLiteral("SELECT * FROM \"") + t + QStringLiteral("\" ORDER BY rowid")).toUtf8().constData(), -1,
                           &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            QString row = t + u':';
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                row += QString::number(sqlite3_column_type(st, i)) + u'=';
                if (sqlite3_column_type(st, i) == SQLITE_BLOB) {
                    row += QString::fromLatin1(
                        QByteArray(static_cast<const char*>(sqlite3_column_blob(st, i)), sqlite3_column_bytes(st, i)).toHex());
                } else {
                    row += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
                }
                row += u'|';
            }
            out.push_back(row);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

std::vector<long> errorsOf(data::Connection& c, const QString& sql) {
    try {
        c.Execute(sql);
    } catch (const data::DbError&) {
        std::vector<long> n;
        for (long i = 0; i < c.Errors().Count(); ++i) n.push_back(c.Errors().Item(i).Number());
        return n;
    }
    return {};
}

}  // namespace

TEST(EmbeddedAdminBackup, RoundTripGivesBackEveryRow) {
    Server s;
    {
        auto v = s.connect();
        v->Execute(QStringLiteral(" create table Clientes ( NumRegisto numeric (18,0) identity (1,1) not null )"));
        v->Execute(QStringLiteral("ALTER TABLE [dbo].[Clientes] WITH NOCHECK ADD  CONSTRAINT [PK_Clientes] PRIMARY KEY  "
                                  "NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]"));
        v->Execute(QStringLiteral(" alter table Clientes add Nome varchar(60) null "));
        v->Execute(QStringLiteral(" alter table Clientes add Saldo money null "));
        v->Execute(QStringLiteral(" alter table Clientes add Data datetime null "));
        v->Execute(QStringLiteral(" alter table Clientes add Foto image null "));
        v->Execute(QStringLiteral("CREATE INDEX [IX_Nome] on [dbo].[Clientes] ( Nome ) ON [PRIMARY]"));
        data::Command add;
        add.setActiveConnection(v.get());
        add.setCommandText(QStringLiteral("insert into Clientes (Nome, Saldo, Data, Foto) values (?, ?, ?, ?)"));
        for (int type : {data::ado::adVarChar, data::ado::adCurrency, data::ado::adDBTimeStamp, data::ado::adLongVarBinary}) {
            add.Parameters().Append(add.CreateParameter(QString(), type));
        }
        for (int i = 0; i < 300; ++i) {
            add.Parameters()[0L].setValue(QStringLiteral("Cliente %1 d'Ávila").arg(i));
            add.Parameters()[1L].setValue(data::Currency::fromRaw(i * 71234));
            add.Parameters()[2L].setValue(QDateTime(QDate(2024, 3, 1 + i % 28), QTime(10, i % 60), Qt::UTC));
            add.Parameters()[3L].setValue(QByteArray(64 + i, static_cast<char>(i)));
            add.Execute();
        }
        v->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
        v->Execute(QStringLiteral("sp_grantdbaccess 'ana'"));
    }
    const QStringList before = dump(s.file(QStringLiteral("Velmora")));
    ASSERT_GT(before.size(), 300);

    // BackUpDatabase's statements on master.
    auto m = s.connect(QStringLiteral("master"));
    const QString device = QStringLiteral("BackVelmora");
    EXPECT_FALSE(hasRows(*m, QStringLiteral("select * from sysdevices where name='") + device + u'\''));
    EXPECT_EQ(errorOf(*m, QStringLiteral("exec sp_addumpdevice 'disk','") + device + QStringLiteral("','") + device +
                              QStringLiteral(".dat'")),
              0);
    EXPECT_TRUE(hasRows(*m, QStringLiteral("select * from sysdevices where name='") + device + u'\''));
    EXPECT_EQ(errorOf(*m, QStringLiteral("backup database Velmora to ") + device + QStringLiteral(" WITH INIT")), 0);
    const QString file = s.folder() + QStringLiteral("/backup/BackVelmora.dat");
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(dump(file), before);
    // A second backup replaces the first.
    EXPECT_EQ(errorOf(*m, QStringLiteral("backup database Velmora to ") + device + QStringLiteral(" WITH INIT")), 0);

    // The database changes after the backup...
    {
        auto v = s.connect();
        v->Execute(QStringLiteral("delete from Clientes where NumRegisto > 10"));
        v->Execute(QStringLiteral("update Clientes set Nome = 'outro'"));
        v->Execute(QStringLiteral("create table Nova (a int)"));
        v->Execute(QStringLiteral("sp_revokedbaccess 'ana'"));
        // ... and a restore is refused while a connection uses it.
        EXPECT_EQ(errorsOf(*m, QStringLiteral("restore database Velmora from Disk='") + s.folder() +
                                   QStringLiteral("/backup/BackVelmora.dat' WITH REPLACE")),
                  (std::vector<long>{3101, 3013}));
    }
    EXPECT_NE(dump(s.file(QStringLiteral("Velmora"))), before);
    // RestoreSQLDatabase's statement, with the folder given and with none (the backup folder).
    EXPECT_EQ(errorOf(*m, QStringLiteral("restore database Velmora from Disk='") + s.folder() +
                              QStringLiteral("/backup/BackVelmora.dat' WITH REPLACE")),
              0);
    EXPECT_EQ(dump(s.file(QStringLiteral("Velmora"))), before);
    EXPECT_EQ(errorOf(*m, QStringLiteral("restore database Velmora from Disk='BackVelmora.dat' WITH REPLACE")), 0);
    EXPECT_EQ(dump(s.file(QStringLiteral("Velmora"))), before);
    auto v = s.connect();
    EXPECT_EQ(scalar(*v, QStringLiteral("select count(*) from Clientes")).toInt32(), 300);
    EXPECT_EQ(scalar(*v, QStringLiteral("select Nome from Clientes where NumRegisto = 5")).toString(),
              QStringLiteral("Cliente 4 d'Ávila"));
    EXPECT_EQ(errorOf(*v, QStringLiteral("select * from Nova")), 208);
    data::Connection ana;
    ana.Open(connectionString(s.folder(), QStringLiteral("Velmora"), QStringLiteral("ana")), QString(), QStringLiteral("pw"));

    // A restore under another name makes a new database of the server.
    EXPECT_EQ(errorOf(*m, QStringLiteral("restore database Copia from BackVelmora")), 0);
    EXPECT_EQ(dump(s.file(QStringLiteral("Copia"))), before);
    EXPECT_EQ(scalar(*m, QStringLiteral("Select Name from SysDataBases Where upper(Name)='COPIA'")).toString(), QStringLiteral("Copia"));
    EXPECT_EQ(scalar(*m, QStringLiteral("select count(*) from Copia..Clientes")).toInt32(), 300);
}

TEST(EmbeddedAdminBackup, RefusalsCarrySqlServerNumbers) {
    Server s;
    auto m = s.connect(QStringLiteral("master"));
    EXPECT_EQ(errorsOf(*m, QStringLiteral("backup database Velmora to NoDevice WITH INIT")), (std::vector<long>{3206, 3013}));
    EXPECT_EQ(m->Errors().Item(1).Description(), QStringLiteral("BACKUP DATABASE is terminating abnormally."));
    EXPECT_EQ(errorsOf(*m, QStringLiteral("backup database Nada to disk='x.dat' WITH INIT")), (std::vector<long>{911, 3013}));
    EXPECT_EQ(errorsOf(*m, QStringLiteral("backup database Velmora to disk='") + s.folder() +
                               QStringLiteral("/no/such/folder/x.dat' WITH INIT")),
              (std::vector<long>{3201, 3013}));
    EXPECT_EQ(errorOf(*m, QStringLiteral("backup database Velmora to disk='x.dat'")), 0);
    EXPECT_EQ(errorsOf(*m, QStringLiteral("backup database Velmora to disk='x.dat'")), (std::vector<long>{50000, 3013}));
    EXPECT_EQ(errorsOf(*m, QStringLiteral("backup log Velmora to disk='x.dat'")), (std::vector<long>{4208, 3013}));
    m->BeginTrans();
    EXPECT_EQ(errorsOf(*m, QStringLiteral("backup database Velmora to disk='x.dat' WITH INIT")), (std::vector<long>{3021, 3013}));
    m->RollbackTrans();

    EXPECT_EQ(errorsOf(*m, QStringLiteral("restore database Velmora from disk='missing.dat' WITH REPLACE")),
              (std::vector<long>{3201, 3013}));
    EXPECT_EQ(m->Errors().Item(1).Description(), QStringLiteral("RESTORE DATABASE is terminating abnormally."));
    {
        QFile junk(s.folder() + QStringLiteral("/backup/junk.dat"));
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'j'));
    }
    EXPECT_EQ(errorsOf(*m, QStringLiteral("restore database Velmora from disk='junk.dat' WITH REPLACE")),
              (std::vector<long>{3241, 3013}));
    EXPECT_EQ(errorsOf(*m, QStringLiteral("restore database master from disk='x.dat'")), (std::vector<long>{3108, 3013}));
    EXPECT_EQ(errorOf(*m, QStringLiteral("restore database Velmora from disk")), 102);
    m->Execute(QStringLiteral("use Velmora"));
    EXPECT_EQ(errorsOf(*m, QStringLiteral("restore database Velmora from disk='x.dat' WITH REPLACE")),
              (std::vector<long>{3101, 3013}));
    m->Execute(QStringLiteral("use master"));

    // Devices.
    EXPECT_EQ(errorOf(*m, QStringLiteral("exec sp_addumpdevice 'disk','Dev','dev.dat'")), 0);
    EXPECT_EQ(errorOf(*m, QStringLiteral("exec sp_addumpdevice 'disk','DEV','other.dat'")), 15026);
    EXPECT_EQ(errorOf(*m, QStringLiteral("exec sp_addumpdevice 'cassette','Dev2','x'")), 15044);
    EXPECT_EQ(errorOf(*m, QStringLiteral("exec sp_dropdevice 'Dev'")), 0);
    EXPECT_EQ(errorOf(*m, QStringLiteral("exec sp_dropdevice 'Dev'")), 15012);

    // A login without the rights.
    m->Execute(QStringLiteral("sp_addlogin 'ana' , 'pw'"));
    data::Connection ana;
    ana.Open(connectionString(s.folder(), QStringLiteral("master"), QStringLiteral("ana")), QString(), QStringLiteral("pw"));
    EXPECT_EQ(errorOf(ana, QStringLiteral("exec sp_addumpdevice 'disk','Mine','mine.dat'")), 15247);
    EXPECT_EQ(errorsOf(ana, QStringLiteral("backup database Velmora to disk='mine.dat' WITH INIT")), (std::vector<long>{262, 3013}));
    EXPECT_EQ(errorsOf(ana, QStringLiteral("restore database Velmora from disk='x.dat' WITH REPLACE")),
              (std::vector<long>{3110, 3013}));
    EXPECT_FALSE(QFile::exists(s.folder() + QStringLiteral("/backup/mine.dat")));
}
