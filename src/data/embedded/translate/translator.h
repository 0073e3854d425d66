#pragma once
// The T-SQL to SQLite translator. It works on tokens, never on the raw text, so literals and
// comments are never touched by a rewrite. What it does to the statements that pass through:
// - [names] become "names"; N'text' becomes 'text';
// - db..table and db.dbo.table name the table in another database of the server (attached
//   under the database's name), dbo.table the table itself; the current database is "main";
// - isnull( becomes ifnull(; @@IDENTITY and SCOPE_IDENTITY() the last identity of the connection; With (NoLock) and the other table hints are dropped; TOP n
//   becomes LIMIT n of its own SELECT (selecttop.h); !< and !> become >= and <=;
// - comparisons, sorts, groups and duplicate removal get the collation TSQL_TEXT, which compares
//   texts as SQL Server does (without case, ignoring trailing blanks, date-time texts as dates):
//   see collation.h for the places;
// - "+" next to a text literal joins texts ("||"), as SQL Server's "+" does on texts; between
//   two other operands the expressions pass (expressions.h) decides by the values;
// - DELETE without FROM gets its FROM;
// - "SELECT name = expression" becomes "SELECT expression AS name"; @@SPID the connection's spid.
// The server administration statements (DROP DATABASE, KILL, BACKUP, RESTORE, DBCC, UPDATE
// STATISTICS, ALTER TABLE ... DROP COLUMN, CREATE/ALTER/DROP PROCEDURE) are handed whole to
// the administration side (admin.h).
// Statements that SQLite cannot run as they are (CREATE DATABASE, CREATE TABLE with identity,
// ALTER TABLE ... ADD CONSTRAINT / ALTER COLUMN, CREATE INDEX ... ON [PRIMARY], the system
// procedures) are recognised and described, and the session carries them out.

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "data/embedded/translate/tokenizer.h"

namespace data::embedded {

enum class StatementKind {
    Query,
    Insert,
    Update,
    Delete,
    CreateDatabase,
    CreateTable,
    AddColumn,
    AlterColumn,
    AddConstraint,
    CreateIndex,
    DropTable,
    Procedure,
    BeginTran,
    CommitTran,
    RollbackTran,
    Use,
    NoOp,   // SET options and the like: accepted, nothing to do
    Other,  // passed through as translated
    Admin,  // server administration (admin.h): name holds the statement, definition its tokens
};

// A text the engine makes from a translation, kept for one generation of the connection's
// table definitions (0: not made yet).
struct KeptText {
    QString sql;
    quint64 generation = 0;
    template <typename Make>
    const QString& get(quint64 now, Make make) {
        if (generation != now) {
            sql = make();
            generation = now;
        }
        return sql;
    }
};

struct Translation {
    StatementKind kind = StatementKind::Other;
    QString sql;             // the SQLite text of pass-through kinds
    QString updatableSql;    // a query over one table: the same text with the row key added last
    // A query whose result columns carry the collation: the text without it, which describes
    // the columns (names, declared types, origins) as the statement was written. Empty when sql
    // describes them itself.
    QString describingSql;
    // The text holds stars that the engine replaces with their columns before running it
    // (starcolumns.h).
    bool starColumns = false;
    QStringList databases;   // other databases named in the text, to be attached
    QString schema;          // "main" or the alias of another database: target of writes and DDL
    QString table;           // target table of writes and DDL, or the one table a query reads
    int parameters = 0;      // "?" markers

    // DDL
    QString name;                  // database, index or constraint name
    std::vector<Token> definition; // CREATE TABLE: the statement; ADD / ALTER COLUMN: the column
    QString column;
    bool unique = false;
    QStringList columns;           // index or key columns
    std::vector<bool> descending;  // CreateIndex: per column, sorted DESC
    QString constraintKind;        // "PRIMARY KEY", "UNIQUE", ...

    // Procedure calls: the name and the arguments (name without "@", or empty when given by
    // position; the value as text, Null arguments as a null QString).
    QString procedure;
    std::vector<std::pair<QString, QString>> arguments;

    // Set when the statement is malformed in a way SQLite would not notice: raise 102 with it.
    QString syntaxError;
    // Set when the statement asks for something the engine does not do: raise this error
    // instead of running the statement with another meaning.
    long refusal = 0;
    QString refusalText;

    // Noted by the engine when it runs a pass-through statement: the attached databases (lower
    // case) its SQLite statement uses, valid for one generation of the connection's table
    // definitions (0: not known yet).
    mutable QStringList attachedUsed;
    mutable quint64 attachedUsedGeneration = 0;
    // The texts as the engine runs them, made from this one: sql and updatableSql after their
    // types' conversions (typing.h); an INSERT's or UPDATE's text with its columns' rules
    // (empty when its form takes none), and that text typed.
    mutable KeptText typed;
    mutable KeptText typedUpdatable;
    mutable KeptText ruled;
    mutable KeptText ruledTyped;
};

// Translates one statement (no ";" inside). currentDatabase decides which database names mean
// the connection's own database.
Translation translate(const std::vector<Token>& statement, const QString& currentDatabase);
Translation translate(const QString& statement, const QString& currentDatabase);

}  // namespace data::embedded
