#pragma once
// Helpers of the embedded engine's tests: a server in a temporary folder with a staging
// database, and short ways to run statements and read their errors.

#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <sqlite3.h>

#include "data/command.h"
#include "data/connection.h"
#include "data/dberror.h"
#include "data/recordset.h"
#include "platform/runtime_error.h"

namespace embeddedtest {

inline QString connectionString(const QString& folder, const QString& db, const QString& login = QStringLiteral("sa")) {
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") + login +
           QStringLiteral(";Initial Catalog=") + db + QStringLiteral(";Data Source=embedded:") + folder;
}

class Server {
public:
    explicit Server(const QString& database = QStringLiteral("Velmora")) {
        data::Connection m;
        m.Open(connectionString(folder(), QStringLiteral("master")), QString(), password());
        if (!database.isEmpty()) m.Execute(QStringLiteral("Create Database ") + database);
    }
    QString folder() const { return dir_.path(); }
    static QString password() { return QStringLiteral("Pw#1"); }
    std::unique_ptr<data::Connection> connect(const QString& db = QStringLiteral("Velmora")) const {
        auto c = std::make_unique<data::Connection>();
        c->setCommandTimeout(0);
        c->Open(connectionString(folder(), db), QString(), password());
        return c;
    }
    QString file(const QString& db) const { return folder() + u'/' + db + QStringLiteral(".db"); }

private:
    QTemporaryDir dir_;
};

// The error number of a statement; 0 when it succeeds.
// The run-time error number a call raises; 0 when it raises none.
inline long errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const platform::RuntimeError& e) {
        return e.number();
    }
    return 0;
}

inline long errorOf(data::Connection& c, const QString& sql, QString* text = nullptr) {
    try {
        c.Execute(sql);
    } catch (const data::DbError& e) {
        if (text) *text = e.description();
        return e.number();
    }
    return 0;
}

inline bool hasRows(data::Connection& c, const QString& sql) {
    data::Recordset rs;
    rs.Open(sql, c);
    const bool rows = !(rs.EOF() && rs.BOF());
    rs.Close();
    return rows;
}

inline data::Variant scalar(data::Connection& c, const QString& sql) {
    auto rs = c.Execute(sql);
    if (rs.EOF()) return {};
    return rs.Fields(0L).Value();
}

// Runs SQL on a database file directly, as the sqlite3 tool would.
inline void rawExec(const QString& file, const QString& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    char* err = nullptr;
    sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    const QString e = err ? QString::fromUtf8(err) : QString();
    sqlite3_free(err);
    sqlite3_close(db);
    if (!e.isEmpty()) throw std::runtime_error(e.toStdString());
}

// The first column of a query on a file, read directly.
inline QString rawText(const QString& file, const QString& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    sqlite3_stmt* st = nullptr;
    QString out;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
        out = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

}  // namespace embeddedtest
