#pragma once
// ADO's Connection: a session with one database of one server, opened from a connection
// string. The provider is chosen by the data source (server) name: "embedded:<folder>" is the
// embedded engine, every other name a SQL Server. The password is handed to Open() only: it
// is never kept in ConnectionString nor written into any error text. Like ADO without
// "Persist Security Info", an opened connection gives its string back without the password,
// yet Close and a plain Open() reopen it.

#include <QString>
#include <memory>

#include "data/adoconstants.h"
#include "data/dberror.h"
#include "data/recordset.h"

namespace data {

namespace detail {
struct ConnectionState;
}

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QString ConnectionString() const;
    void setConnectionString(const QString& text);
    long ConnectionTimeout() const;
    void setConnectionTimeout(long seconds);
    long CommandTimeout() const;
    void setCommandTimeout(long seconds);

    // Opens the connection. A non-empty connectionString replaces the property; userId and
    // password, when given, override the string's entries. Raises DbError (and fills Errors()).
    void Open(const QString& connectionString = QString(), const QString& userId = QString(),
              const QString& password = QString(), long options = -1);
    void Close();
    long State() const;  // adStateClosed (0) or adStateOpen (1)

    // Runs a statement text. Returns the first result: an open recordset for a statement that
    // returns rows (maybe none), a closed one otherwise. Options: adCmdText and friends, plus
    // adExecuteNoRecords (128) to discard rows.
    Recordset Execute(const QString& commandText, long* recordsAffected = nullptr, long options = -1);

    long BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    // The entries of the last failure on this connection.
    const ErrorList& Errors() const;

    // For the objects that work on the connection (recordsets, commands).
    std::shared_ptr<detail::ConnectionState> state() const { return d_; }

private:
    std::shared_ptr<detail::ConnectionState> d_;
    // What a later Open without a password needs to open the same connection again: the
    // password of the last successful Open and the (password-free) string it went with. It is
    // never shown, it is given again only to that same string, and setConnectionString forgets it.
    QString reopenString_;
    QString reopenPassword_;
};

}  // namespace data
