#pragma once
// A table's definition read from its CREATE TABLE text: the columns with their declared SQL
// Server types, identity, nullability and key, and the table constraints. The same reading
// serves the T-SQL the system sends and the SQLite text stored in a database file, so that
// a definition can be changed piece by piece (a column's type, a key's name) and written back
// with everything else as it was.
//
// An identity column is stored as SQLite's INTEGER PRIMARY KEY AUTOINCREMENT, with the
// declared SQL Server type kept beside it in a comment of the definition:
//   "NumRegisto" INTEGER /*numeric (18,0) identity (1,1)*/ PRIMARY KEY AUTOINCREMENT NOT NULL

#include <QString>
#include <QStringList>
#include <vector>

#include "data/embedded/translate/sqltype.h"
#include "data/embedded/translate/tokenizer.h"

namespace data::embedded {

struct ColumnDef {
    QString name;
    QString typeText;       // the SQL Server type as declared ("varchar(3)", "numeric (18,0)")
    SqlType type;
    bool identity = false;
    qint64 seed = 1;
    qint64 increment = 1;
    bool notNull = false;
    bool primaryKey = false;
    QString keyName;        // name of the column's primary key constraint, if named
    std::vector<Token> constraints;  // the tokens after the type (and identity), as written
    std::vector<Token> tokens;       // the whole definition, as written
};

struct TableConstraint {
    QString name;
    QString kind;       // "PRIMARY KEY", "UNIQUE", "CHECK", "FOREIGN KEY", ...
    QStringList columns;
    std::vector<Token> tokens;
};

struct TableDefinition {
    bool ok = false;
    QString name;
    std::vector<ColumnDef> columns;
    std::vector<TableConstraint> constraints;
    std::vector<Token> tail;  // after the closing parenthesis (e.g. WITHOUT ROWID)

    static TableDefinition parse(const QString& createSql);
    static TableDefinition parse(const std::vector<Token>& tokens);

    int find(const QString& column) const;  // without case; -1 when absent
    // The names of the columns of the primary key (a column key or a table constraint).
    QStringList primaryKeyColumns() const;
    QString primaryKeyName() const;

    // The CREATE TABLE text of the definition under the given (quoted, maybe qualified) name.
    QString createSql(const QString& quotedName) const;
};

// The SQLite definition text of a column: quoted name, declared type, constraints translated
// (bracketed names quoted, CLUSTERED and NONCLUSTERED dropped) and the identity as above.
QString sqliteColumnText(const ColumnDef& column);

// A declared type as SQLite's definition holds it: as declared, but quoted where SQLite cannot
// read it ("varchar(max)": SQLite takes only numbers between the parentheses). Read back, the
// quotes are dropped like a bracketed type's.
QString sqliteTypeText(const QString& typeText);

// Rewrites a T-SQL token list for SQLite: [names] as "names", N'' as '', CLUSTERED and
// NONCLUSTERED dropped.
QString translateDdlTokens(const std::vector<Token>& tokens);

}  // namespace data::embedded
