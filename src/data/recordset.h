#pragma once
// ADO's Recordset, Fields and Field. A recordset holds every row of its result in memory
// (read when it is opened, or, for a table opened by name to be written, when it is first
// walked; long values of an updatable recordset when their field is first looked at), so rows
// may be changed while it is walked; an updatable recordset
// (lock type optimistic or pessimistic over a single table or a table opened by name) writes
// each changed or added row back to its table when it is updated.
//
// Recordset, Field and FieldList are handles: copies refer to the same recordset, as object
// references do in the system.
//
// A recordset opened with OpenForwardOnce may instead hand its rows out one at a time, as the
// provider reads them (provider.h, Request::stream): it then holds one row, moves forward only
// and is written through by nobody; what needs more of it raises 3219, or 3251 for a change.
//
// Positions follow ADO: a recordset without rows is at BOF and EOF at once; MoveNext past the
// last row leaves it at EOF with BOF false; reading or writing a field needs a current row
// (error 3021 otherwise).

#include <QString>
#include <cstdio>
#include <functional>
#include <memory>

#include "data/adoconstants.h"
#include "data/rowset.h"
#include "data/variant.h"

// The recordset's EOF() is ADO's name, which the C library's EOF macro would turn into -1.
// <cstdio> is included above so that its guard keeps the macro from coming back; code that
// includes this header compares with std::char_traits<char>::eof() instead of EOF.
#undef EOF

namespace data {

class Connection;

namespace detail {
struct RecordsetState;
}

class Field {
public:
    QString Name() const;
    int Type() const;
    long DefinedSize() const;
    int Precision() const;
    int NumericScale() const;
    // Length of the current value: bytes for binary fields, characters for text (two bytes a
    // character for the wide types, as ADO counts them); 0 for Null.
    long ActualSize() const;

    Variant Value() const;
    // The current value as the recordset keeps it, for readers of many rows that would rather
    // not make a Variant of every value; Other (a row being edited among them) means: read
    // Value(). Raises as Value() does.
    provider::PackedValue View() const;
    // Converts the value to the field's type and starts an edit of the current row.
    void setValue(const Variant& value);

    // The first call after the row was changed or moved to replaces the value; later calls
    // append. Text fields take text, binary fields bytes (text is taken as its UTF-8 bytes).
    // Each piece is shown to the observer set with setAppendChunkObserver.
    void AppendChunk(const Variant& data);
    // The next count bytes (binary) or characters (text), continuing where the last call on
    // this field of this row stopped; Null when nothing is left.
    Variant GetChunk(long count);

private:
    friend class FieldList;
    friend class Recordset;
    Field(std::shared_ptr<detail::RecordsetState> rs, int index) : rs_(std::move(rs)), index_(index) {}
    std::shared_ptr<detail::RecordsetState> rs_;
    int index_;
};

// Tests: sees the length of every piece handed to AppendChunk (bytes, or characters of a text
// field), in order, so that a copy's pieces can be counted; an empty function stops it.
void setAppendChunkObserver(std::function<void(qsizetype)> observer);

class FieldList {
public:
    long Count() const;
    Field Item(long index) const;            // 3265 when out of range
    Field Item(const QString& name) const;   // by name, without case; 3265 when absent
    Field operator[](long index) const { return Item(index); }
    Field operator[](const QString& name) const { return Item(name); }

private:
    friend class Recordset;
    explicit FieldList(std::shared_ptr<detail::RecordsetState> rs) : rs_(std::move(rs)) {}
    std::shared_ptr<detail::RecordsetState> rs_;
};

class Recordset {
public:
    Recordset();

    // Opens a statement text or a table name over an open connection. Options -1 decides by
    // the text: a lone (maybe qualified) name is a table.
    void Open(const QString& source, Connection& activeConnection, int cursorType = ado::adOpenForwardOnly,
              int lockType = ado::adLockReadOnly, long options = -1);
    // Opens as Open does, for a caller that walks the rows forward once and changes none: the
    // provider may stream them (the engine does for a lone query). The cursor and lock types
    // are kept as given and reported, but such a recordset refuses to move back, to count its
    // rows (RecordCount is -1 or 3219) and every change.
    void OpenForwardOnce(const QString& source, Connection& activeConnection, int cursorType = ado::adOpenForwardOnly,
                         int lockType = ado::adLockReadOnly, long options = -1);
    void Close();
    long State() const;

    bool BOF() const;
    bool EOF() const;
    void MoveNext();
    void MoveFirst();
    void MovePrevious();  // not on forward-only recordsets
    void MoveLast();
    // Rows of the result: -1 for forward-only and dynamic cursors, as ADO's server cursors
    // report it; the count for static and keyset cursors.
    long RecordCount() const;
    int CursorType() const;
    int LockType() const;
    int EditMode() const;

    FieldList Fields() const;
    Field Fields(const QString& name) const;
    Field Fields(long index) const { return Fields().Item(index); }

    void AddNew();
    void Update();
    void CancelUpdate();
    void Delete();

    // The next result of the statement text; a closed recordset when there is none.
    Recordset NextRecordset(long* recordsAffected = nullptr);

    // Used by Connection::Execute and Command::Execute.
    std::shared_ptr<detail::RecordsetState> state() const { return d_; }
    explicit Recordset(std::shared_ptr<detail::RecordsetState> state) : d_(std::move(state)) {}

private:
    void open(const QString& source, Connection& activeConnection, int cursorType, int lockType, long options,
              bool stream);
    std::shared_ptr<detail::RecordsetState> d_;
};

}  // namespace data
