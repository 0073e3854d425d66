#pragma once
// Prepared statements of one connection kept by their SQLite text, so that a statement shape
// sent thousands of times (a look-up by code with its literal lifted into a parameter, a row
// written back) is parsed and planned once, with its write-check triggers compiled into it
// once. A statement is lent to one user at a time and comes back reset, its parameters
// cleared; a second user of the same text while the first still holds it (a procedure's own
// statements, a recordset written back while another is read) gets a statement of its own.
//
// Beside each statement the cache keeps the reading plan of its result columns (names, types,
// base columns), valid for one generation of the connection's table definitions.

#include <QHash>
#include <QString>
#include <list>
#include <memory>
#include <sqlite3.h>
#include <vector>

#include "data/embedded/translate/columnrules.h"
#include "data/embedded/connection/errors.h"
#include "data/embedded/translate/sqltype.h"
#include "data/provider.h"

namespace data::embedded {

// The statement text for the last table and set of columns written: a recordset writes the
// same columns row after row, and the text is the statement cache's key. The text is made
// again when the table definitions it was made from (their generation) are forgotten.
class TextForColumns {
public:
    struct Text {
        QString sql;
        bool ruled = false;  // the values carry their columns' rules (columnrules.h)
        // When ruled: the same text with bare parameters, for a row whose every value passes
        // its rules unchanged (fits, one per column written, say which do).
        QString direct;
        std::vector<DirectFit> fits;
        const QString& textFor(const provider::Changes& values) const {
            if (!ruled || direct.isEmpty()) return sql;
            for (size_t i = 0; i < values.size(); ++i) {
                if (!fits[i].unchanged(values[i].second)) return sql;
            }
            return direct;
        }
    };

    template <typename Make>
    const Text& textFor(const QString& table, quint64 generation, const provider::Changes& changes, Make make) {
        bool same = !text_.sql.isNull() && generation == generation_ && table == table_ && changes.size() == columns_.size();
        for (size_t i = 0; same && i < changes.size(); ++i) same = changes[i].first == columns_[i];
        if (!same) {
            text_ = make();
            generation_ = generation;
            table_ = table;
            columns_.clear();
            for (const auto& c : changes) columns_.push_back(c.first);
        }
        return text_;
    }

private:
    QString table_;
    quint64 generation_ = 0;
    std::vector<int> columns_;
    Text text_;
};

// How the result columns of a statement are read: one entry per visible column.
struct ColumnPlan {
    quint64 generation = 0;  // of the table definitions it was made from
    bool keyed = false;      // the statement's last column is the row key
    provider::Columns columns;
    std::uint64_t columnsId = 0;  // the results' Result::columnsId while every type is declared
    std::vector<SqlType> types;
    std::vector<QString> origins;  // base column of the updatable table; empty otherwise
    std::vector<bool> known;       // the type comes from a declaration
    // A long value (text, image) of the updatable table: left unread (Empty) in the rows, read
    // by its row key when first looked at.
    std::vector<bool> late;
    // How readRows takes each column's values (core_rows.cpp), and whether every column's
    // type is declared (else the values decide it).
    std::vector<char> direct;
    bool allKnown = true;
    QString storedTable;           // the updatable table's name as stored
    QString qualifiedTable;        // and as the writes name it (schema and quoted name)
    // The texts that write rows of the updatable table back, made when first needed. They live
    // with the plan, shared by every recordset of the same statement: the imports open one
    // recordset per row.
    mutable TextForColumns insertText;
    mutable TextForColumns updateText;
    mutable TextForColumns reloadText;  // empty when no column is the table's
    mutable std::vector<size_t> reloadAt;
};

// What a statement does to one table, view or procedure: the rights it needs, checked each time
// it runs (permissions.h). SQLite's authorizer names what is written and every column read
// while the statement is prepared; the tables and views a query names in its FROM and JOIN
// lists are added from its text when first asked for, since a table none of whose columns is
// read (count(*), a constant, EXISTS) reaches the authorizer without its database, and the
// tables behind a view under the view's name or none.
struct ObjectUse {
    enum Action : quint8 { Select = 1, Insert = 2, Update = 4, Delete = 8, Execute = 16, Schema = 32 };
    QString database;  // "main" or the name the database is attached under, lower case
    QString object;    // empty for a schema change
    quint8 actions = 0;
};
using ObjectUses = std::vector<ObjectUse>;

class StatementCache {
    struct Entry {
        QString sql;
        sqlite3_stmt* stmt = nullptr;
        bool busy = false;
        bool orphan = false;  // left the cache while lent out: finalized when it comes back
        std::shared_ptr<const ColumnPlan> plan;
        QStringList databases;  // the databases other than main and temp that it reads or writes
        ObjectUses uses;
        bool named = false;  // uses holds the objects the text names too
    };

public:
    explicit StatementCache(size_t capacity = 256) : capacity_(capacity) {}
    ~StatementCache() { clear(); }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    class Lease {
    public:
        Lease() = default;
        Lease(Lease&& o) noexcept { *this = std::move(o); }
        Lease& operator=(Lease&& o) noexcept;
        ~Lease() { release(); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        sqlite3_stmt* get() const { return stmt_; }
        explicit operator bool() const { return stmt_ != nullptr; }
        // Steps once: true with a row, false when done; raises the engine's error otherwise.
        bool step();
        void bind(int index, const QString& text);
        void bind(int index, qint64 value);
        // The reading plan kept with the statement (nullptr when none or not cached).
        std::shared_ptr<const ColumnPlan> plan() const { return entry_ ? entry_->plan : nullptr; }
        void setPlan(std::shared_ptr<const ColumnPlan> plan) {
            if (entry_) entry_->plan = std::move(plan);
        }
        // The databases other than main and temp that the statement reads or writes (by their
        // names as attached, in lower case), as SQLite resolved its names when preparing it.
        const QStringList& databases() const { return entry_ ? entry_->databases : databases_; }
        // The tables and views it reads and writes outside temp, and the schema it changes;
        // worked out once per statement, when first asked for.
        const ObjectUses& uses() const;

    private:
        friend class StatementCache;
        void release();
        sqlite3* db_ = nullptr;
        sqlite3_stmt* stmt_ = nullptr;
        Entry* entry_ = nullptr;  // nullptr: the statement is the lease's own
        QStringList databases_;   // of the lease's own statement
        mutable ObjectUses uses_;
        mutable bool named_ = false;
        QString sql_;
        ErrorContext ctx_;
    };

    // Lets the statements prepared here on the connection learn which databases they use
    // (SQLite's authorizer; the connection must not have another one).
    static void watchDatabases(sqlite3* db);

    // A prepared statement for the text; raises the engine's error when it does not prepare.
    Lease acquire(sqlite3* db, const QString& sql, const ErrorContext& ctx);
    // A statement for the text that is the lease's alone, never lent to anybody else nor
    // reset by the cache (a streamed result keeps it running between the caller's reads).
    static Lease own(sqlite3* db, const QString& sql, const ErrorContext& ctx);
    // Finalizes every statement that is not lent out (before the handle closes or changes).
    void clear();

private:
    size_t capacity_;
    std::list<Entry> entries_;  // most recently used first
    std::list<Entry> orphans_;
    QHash<QString, std::list<Entry>::iterator> index_;
    // The same entries by the address of their text's characters. A caller that hands the
    // same string again (a translation's kept text) is found without hashing the whole text:
    // the entry holds those characters, so no other text can have them while it is cached.
    QHash<const QChar*, std::list<Entry>::iterator> byCharacters_;
};

}  // namespace data::embedded
