#pragma once
// The interface between the ADO-style objects and a database provider. A provider opens a
// session for a connection string and answers statements with materialised results: every row
// of a result is read into memory when the statement runs, so a recordset never holds a cursor
// (and no lock) on the server while it is walked, and its rows may be updated meanwhile.
// Two exceptions keep what grows every day out of memory: a table opened by name to be written
// is answered with its columns alone (Request::columnsOnly), and an updatable result may leave
// its long values unread until they are looked at (RowWriter::longValue).
// Updatable results carry a RowWriter that writes a row back by the row's key.
// A caller that reads a result forward once and writes nothing back may ask for its rows one at
// a time instead (Request::stream): a provider that can answers with a RowSource, which holds
// the statement open on the server until its last row is read or it is dropped.
//
// Providers: the embedded engine (data/embedded/, server names "embedded:<folder>") and the
// SQL Server provider (data/odbc/, every other server name), chosen by openSession().

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "data/connectionstring.h"
#include "data/dberror.h"
#include "data/rowset.h"
#include "data/variant.h"

namespace data::provider {

struct Column {
    QString name;
    int type = 0;              // ADO DataTypeEnum
    long definedSize = 0;      // characters or bytes; 2147483647 for long fields
    int precision = 0;
    int numericScale = 0;
    bool nullable = true;
    bool writable = false;     // belongs to the updatable base table
    bool identity = false;     // filled by the server
};

// Shared, not copied, by every result of the same statement: a look-up sent once per row
// hands its columns over each time.
using Columns = QList<Column>;

using Changes = std::vector<std::pair<int, Variant>>;  // column index, new value

class RowWriter {
public:
    virtual ~RowWriter() = default;
    // Writes the given columns of the row identified by key.
    virtual void update(const Variant& key, const Changes& changes) = 0;
    // Inserts a row with the given columns; returns its key and the row as stored (identity
    // and defaults filled in), with one value per column of the result, or an empty row when
    // the stored row is to be read with stored() once somebody looks at it.
    virtual std::pair<Variant, Row> insert(const Changes& values) = 0;
    // The row of the key as stored now, with one value per column of the result.
    virtual Row stored(const Variant& key) {
        (void)key;
        return {};
    }
    virtual void remove(const Variant& key) = 0;
    // The value of a long column (text, image) of the row of the key, which the result left
    // unread (an Empty value in its row); Null when the row is gone.
    virtual Variant longValue(const Variant& key, int column) {
        (void)key;
        (void)column;
        return Variant::null();
    }
    // Whether key, of this writer, and otherKey, of another writer over the same table, stand
    // for the same row.
    virtual bool sameRow(const Variant& key, const RowWriter& other, const Variant& otherKey) const {
        (void)other;
        return !key.isNull() && !key.isEmpty() && key == otherKey;
    }
};

// The rows of a streamed result, handed out one at a time. Raises DbError when the server
// fails while reading a row.
class RowSource {
public:
    virtual ~RowSource() = default;
    // Makes row hold the next row alone (its storage reused); false after the last row, after
    // which the source holds nothing on the server.
    virtual bool next(RowSet& row) = 0;
    // A row is packed with only the columns its reader asked for so far (the others hold
    // Empty): a reader that looks at a column for the first time asks for it here, which
    // repacks the current row with it and every later row. False when the column was packed
    // already (row unchanged).
    virtual bool want(RowSet& row, int column) = 0;
};

struct Parameter {
    QString name;
    int type = 0;
    int direction = 1;
    long size = 0;
    Variant value;
};

struct Result {
    bool hasRows = false;        // a row set (maybe without rows), not only a count
    long recordsAffected = -1;   // for statements without rows
    Columns columns;
    // Names the column list when a provider hands out the same list again (the same statement's
    // results): equal ids, equal columns. 0: a list of its own.
    std::uint64_t columnsId = 0;
    // packed (rowset.h); an updatable result may leave its long values (text, image) unread,
    // as Empty, for its writer's longValue to read when they are first looked at
    RowSet rows;
    std::vector<Variant> keys;   // one per row when writer is set
    std::shared_ptr<RowWriter> writer;
    // Set when the rows are streamed: rows is then empty and the source hands them out.
    std::shared_ptr<RowSource> source;
    // Output and return-value parameters of a stored procedure call, with their final values.
    std::vector<Parameter> outputs;
};

struct Request {
    QString text;
    long commandType = 1;   // 1 text, 2 table name, 4 stored procedure
    bool updatable = false; // the caller wants to write rows back
    // A table by name: only its columns (and its writer), none of its rows, which the caller
    // asks for again when it needs them.
    bool columnsOnly = false;
    // The caller reads the rows forward once and writes none back: a provider may answer a
    // single query with a RowSource instead of its rows. Nothing else changes for a request
    // it does not stream.
    bool stream = false;
    std::vector<Parameter> parameters;
    // Seconds its statements may wait; -1 for the session's command time-out.
    long commandTimeout = -1;
};

class Session {
public:
    virtual ~Session() = default;
    // Runs a request; one Result per statement of the text, in order.
    virtual std::vector<Result> execute(const Request& request) = 0;
    virtual void beginTrans() = 0;
    virtual void commitTrans() = 0;
    virtual void rollbackTrans() = 0;
    // Seconds a statement may wait (0: no limit of its own).
    virtual void setCommandTimeout(long seconds) = 0;
    virtual void close() = 0;
    // The server's informational messages since the last call (PRINT, a change of database),
    // which the connection shows in its Errors.
    virtual std::vector<Error> takeMessages() { return {}; }
};

struct OpenArguments {
    ConnectionString connection;
    QString password;          // handed over here only; never stored in the string
    long connectionTimeout = 15;
    long commandTimeout = 30;
};

// Opens a session with the provider that the server name selects. Raises DbError.
std::unique_ptr<Session> openSession(const OpenArguments& args);

// Every request a session opened from now on runs is shown first to the observer, with the
// database its connection opened: tests compare a whole run with the statements it must send.
// An empty function ends it for sessions opened later. Not for use while sessions are opened
// on other threads.
using RequestObserver = std::function<void(const QString& database, const Request& request)>;
void setRequestObserver(RequestObserver observer);

// How many statements the program has sent so far: every request (a command text, a table
// opened by name, a procedure call) and every row written back by a recordset. Read by the
// benchmark; counting costs one relaxed increment.
std::uint64_t statementsSent();
void countStatement();
// A serial no two column lists of the process share (Result::columnsId).
std::uint64_t nextColumnsSerial();

}  // namespace data::provider
