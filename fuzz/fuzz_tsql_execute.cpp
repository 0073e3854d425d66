// T-SQL statements run on the embedded engine. Input: the statement text (UTF-8). It runs in a
// transaction on a small staging-like database, once as a command and once as an updatable
// recordset; any answer is fine except a fault. The transaction is rolled back afterwards;
// when the text escaped it (COMMIT, USE, CREATE DATABASE) the server folder is put back as it
// was, so every input starts from the same database.

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>
#include <sqlite3.h>

#include "data/connection.h"
#include "data/dberror.h"
#include "data/recordset.h"
#include "fuzz_support.h"

namespace {

const QString kPassword = QStringLiteral("Fz#1");

QString connectionString(const QString& folder, const QString& db) {
    return QStringLiteral("Provider=SQLOLEDB.1;User ID=sa;Initial Catalog=") + db +
           QStringLiteral(";Data Source=embedded:") + folder;
}

class Server {
public:
    Server() : dir_(QDir::tempPath() + QStringLiteral("/velmora-fuzz-sql-XXXXXX")) {
        {
            data::Connection m;
            m.Open(connectionString(dir_.path(), QStringLiteral("master")), QString(), kPassword);
            m.Execute(QStringLiteral("Create Database Velmora"));
        }
        {
            data::Connection c;
            c.Open(connectionString(dir_.path(), QStringLiteral("Velmora")), QString(), kPassword);
            const char* const setup[] = {
                "CREATE TABLE [Clientes] ([Codigo] varchar(10) NOT NULL PRIMARY KEY, [Nome] nvarchar(40) NULL, "
                "[Saldo] money NULL, [Idade] smallint NULL, [Activo] bit NOT NULL DEFAULT 1, [Criado] datetime NULL)",
                "CREATE TABLE dbo.Movimentos (Id int IDENTITY(1,1) NOT NULL, Cliente varchar(10) NOT NULL, "
                "Valor decimal(18,4) NULL, Tipo char(1) NULL, Texto text NULL)",
                "CREATE INDEX IX_Mov ON Movimentos (Cliente, Id) ON [PRIMARY]",
                "INSERT INTO Clientes (Codigo, Nome, Saldo, Idade, Criado) VALUES ('C1', N'Conceição', 12.5, 40, "
                "'2017-02-28')",
                "INSERT INTO Clientes (Codigo, Nome, Saldo, Idade, Activo) VALUES ('c2 ', 'O''Neil', -3, NULL, 0)",
                "INSERT INTO Movimentos (Cliente, Valor, Tipo, Texto) VALUES ('C1', 1.2345, 'A', 'x')",
            };
            for (const char* sql : setup) c.Execute(QString::fromUtf8(sql));
        }
        for (const QString& name : QDir(dir_.path()).entryList(QDir::Files)) {
            QFile f(dir_.filePath(name));
            if (!f.open(QIODevice::ReadOnly)) fuzz::fail("cannot read the server folder");
            files_.push_back({name, f.readAll()});
        }
        databases_ = databases();
        connect();
        pristine_ = fingerprint();
    }

    data::Connection& connection() { return *conn_; }

    // The database's tables and rows in one text, to see that a rollback put everything back.
    QString fingerprint() {
        data::Recordset rs = conn_->Execute(QStringLiteral(
            "SELECT (SELECT group_concat(type + ':' + name, ',') FROM sqlite_master) + '|' + "
            "(SELECT group_concat(Codigo + '/' + isnull(Nome, '') + '/' + isnull(cast(Saldo as varchar(30)), ''), ',') "
            "FROM Clientes) + '|' + (SELECT group_concat(cast(Id as varchar(12)) + '/' + Cliente, ',') FROM Movimentos)"));
        return rs.Fields(0L).Value().toString();
    }
    const QString& pristine() const { return pristine_; }

    // Whether the folder still holds exactly the databases it was made with (journals and the
    // engine's other working files come and go).
    bool unchangedFolder() const { return databases() == databases_; }

    void reset() {
        conn_.reset();
        QDir d(dir_.path());
        for (const QString& name : d.entryList(QDir::Files)) d.remove(name);
        for (const auto& [name, bytes] : files_) {
            QFile f(dir_.filePath(name));
            if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) fuzz::fail("cannot restore the server folder");
        }
        connect();
    }

private:
    QStringList databases() const { return QDir(dir_.path()).entryList({QStringLiteral("*.db")}, QDir::Files, QDir::Name); }

    void connect() {
        conn_ = std::make_unique<data::Connection>();
        conn_->setCommandTimeout(1);
        conn_->Open(connectionString(dir_.path(), QStringLiteral("Velmora")), QString(), kPassword);
    }

    QTemporaryDir dir_;
    std::vector<std::pair<QString, QByteArray>> files_;
    std::unique_ptr<data::Connection> conn_;
    QStringList databases_;
    QString pristine_;
};

template <class F>
void answered(F&& f) {
    try {
        f();
    } catch (const platform::RuntimeError&) {
        // DbError and the access layer's run-time errors are the defined answers.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static bool ready = [] {
        fuzz::SilentBoxes::install();
        // A statement asking for a gigabyte blob gets "out of memory" from the engine, not
        // the fuzzer's memory limit.
        sqlite3_hard_heap_limit64(256LL * 1024 * 1024);
        return true;
    }();
    (void)ready;
    static Server server;
    static int runs = 0;

    const QString text = QString::fromUtf8(fuzz::bytesOf(data, size));
    // ATTACH, VACUUM INTO and BACKUP ... TO DISK write files anywhere (BACKUP WITH INIT even
    // replaces one); inside the transaction they are refused, but a text that commits first
    // could reach files outside the test folder.
    for (const char* word : {"attach", "vacuum", "backup"}) {
        if (text.contains(QLatin1String(word), Qt::CaseInsensitive)) return -1;
    }

    data::Connection& c = server.connection();
    bool clean = true;
    try {
        c.BeginTrans();
    } catch (const platform::RuntimeError&) {
        clean = false;
    }
    if (clean) {
        answered([&] {
            data::Recordset rs = c.Execute(text);
            if (rs.State() != 0) {
                while (!rs.EOF()) rs.MoveNext();
            }
        });
        answered([&] {
            data::Recordset rs;
            rs.Open(text, c, data::ado::adOpenKeyset, data::ado::adLockOptimistic, data::ado::adCmdText);
            if (rs.State() != 0 && !(rs.BOF() && rs.EOF())) {
                rs.MoveLast();
                rs.MoveFirst();
            }
        });
        try {
            c.RollbackTrans();
        } catch (const platform::RuntimeError&) {
            clean = false;  // the text ended the transaction itself
        }
    }
    // A text that does not end or open transactions itself leaves nothing behind once its
    // transaction is rolled back: no statement may commit behind the caller's back.
    static const QRegularExpression ownTransactions(QStringLiteral("commit|rollback|begin|save|use|release|pragma|end"),
                                                   QRegularExpression::CaseInsensitiveOption);
    if (clean && !text.contains(ownTransactions)) {
        QString now;
        try {
            now = server.fingerprint();
        } catch (const platform::RuntimeError& e) {
            fuzz::fail("the connection is unusable after a rolled-back statement", e.description());
        }
        fuzz::check(now == server.pristine(), "a rolled-back statement left changes behind", now);
    }
    if (!clean || !server.unchangedFolder() || ++runs % 1000 == 0) server.reset();
    return 0;
}
