// The server's files hold the login hashes and every company's data: whatever the umask, what
// the engine creates is its owner's only; what another tool made keeps its mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "embedded_test_helpers.h"
#include "support/file_modes.h"

using namespace embeddedtest;

namespace {

// Every file under the folder with a mode other than the one expected, as "name 0644".
QStringList wrongModes(const QString& folder, int expected) {
    QStringList wrong;
    QDir dir(folder);
    for (const QFileInfo& fi : dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (fi.isDir()) {
            wrong += wrongModes(fi.absoluteFilePath(), expected);
            continue;
        }
        const int mode = modeOf(fi.absoluteFilePath());
        if (mode != expected) wrong << fi.fileName() + QStringLiteral(" 0") + QString::number(mode, 8);
    }
    return wrong;
}

std::string filesNotOfMode(const QString& folder, int expected) {
    return wrongModes(folder, expected).join(QStringLiteral(", ")).toStdString();
}

}  // namespace

TEST(EmbeddedFileModes, WhatTheServerCreatesIsItsOwnersOnly) {
    for (const mode_t mask : {mode_t{0}, mode_t{022}}) {
        SCOPED_TRACE(mask);
        ScopedUmask umask(mask);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString folder = dir.path() + QStringLiteral("/servers/srv");
        {
            data::Connection m;
            m.Open(connectionString(folder, QStringLiteral("master")), QString(), QStringLiteral("Pw#1"));
            m.Execute(QStringLiteral("Create Database Velmora"));
            auto v = std::make_unique<data::Connection>();
            v->Open(connectionString(folder, QStringLiteral("Velmora")), QString(), QStringLiteral("Pw#1"));
            v->Execute(QStringLiteral("create table LogGeral (NumRegisto numeric(18,0) identity(1,1), Opcao varchar(50) null)"));
            v->Execute(QStringLiteral("insert into LogGeral (Opcao) values ('Inicio')"));
            m.Execute(QStringLiteral("backup database Velmora to disk='velmora.bak' WITH INIT"));
            m.Execute(QStringLiteral("restore database Copia from disk='velmora.bak'"));

            // While the connections are open their logs exist; they are private as well.
            EXPECT_EQ(modeOf(folder), 0700);
            EXPECT_EQ(modeOf(folder + QStringLiteral("/backup")), 0700);
            EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Velmora.db-wal")));
            EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/tsql_processes.sqlite")));
            EXPECT_EQ(filesNotOfMode(folder, 0600), "");
        }
        EXPECT_EQ(filesNotOfMode(folder, 0600), "");
        // The folders above the server's are the user's own business.
        EXPECT_EQ(modeOf(dir.path() + QStringLiteral("/servers")), 0777 & ~static_cast<int>(mask));
    }
}

TEST(EmbeddedFileModes, WhatAnotherToolMadeKeepsItsMode) {
    ScopedUmask umask(022);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.path() + QStringLiteral("/srv");
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    // A database prepared with the sqlite3 tool, shared with the group on purpose.
    const QString company = folder + QStringLiteral("/Empresa.db");
    rawExec(company, QStringLiteral("create table Clientes (Codigo varchar(10))"));
    ASSERT_EQ(::chmod(QFile::encodeName(company).constData(), 0640), 0);

    data::Connection c;
    c.Open(connectionString(folder, QStringLiteral("Empresa")), QString(), QStringLiteral("Pw#1"));
    c.Execute(QStringLiteral("insert into Clientes (Codigo) values ('C1')"));
    c.Execute(QStringLiteral("Create Database Velmora"));
    EXPECT_EQ(modeOf(folder), 0755);
    EXPECT_EQ(modeOf(company), 0640);
    EXPECT_EQ(modeOf(folder + QStringLiteral("/master.db")), 0600);
    EXPECT_EQ(modeOf(folder + QStringLiteral("/Velmora.db")), 0600);
    c.Close();
    EXPECT_EQ(modeOf(company), 0640);
}
