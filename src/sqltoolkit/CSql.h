#pragma once
// CSql: the SQL Server toolkit. Every connection of the system is opened here
// (CreateDbConnection), and the schema routines build their tables, columns and indexes with
// the table members. The program holds one instance, reached through gobjSql().
//
// This file carries the connection opener and the table, column and index members; the login,
// role, user, maintenance, lock and structure members live in their own source files
// (CSql_<family>.cpp) and are declared in the marked sections below as they arrive.
//
// None of these members shows a message: the opener reports through its two output arguments,
// the table members answer False for any failure (callers mostly ignore it, so they need not
// test whether an object already exists).

#include <QString>
#include <cstdint>

#include "data/variant.h"
#include "platform/byref.h"

namespace data {
class Connection;
}

class CSql {
public:
    using Variant = data::Variant;
    template <class T>
    using Ref = platform::Ref<T>;

    CSql() = default;
    CSql(const CSql&) = delete;
    CSql& operator=(const CSql&) = delete;

    // ---- connection opening -----------------------------------------------------------------
    // Opens connServer (created by the caller, not yet open) with SQL Server authentication on
    // the given server and database. The password goes to the open call only and never into
    // the connection string. Statements on the connection never time out; lngTimeout bounds
    // the opening. On failure errCode and errDescription receive the error's number and text
    // and the result is False; on success both are left as they were.
    bool CreateDbConnection(data::Connection& connServer, const QString& Server = QString(),
                            const QString& dDataBase = QString(), const QString& uID = QString(),
                            const QString& Pwd = QString(), std::int32_t lngTimeout = 0,
                            Ref<std::int32_t> errCode = {}, Ref<QString> errDescription = {});

    // ---- tables, columns and indexes ----------------------------------------------------------
    // Each sends one statement (two for SQLCreateTable) on an open connection; any failure
    // gives False. Values placed between apostrophes have their apostrophes doubled.
    bool SQLCheckField(data::Connection& conn, const QString& strTable, const QString& strField);
    bool SQLCheckTable(data::Connection& conn, const QString& strTable);
    // The table with its key column NumRegisto and the primary key "PK_" + table.
    bool SQLCreateTable(data::Connection& conn, const QString& strTable);
    // strTypes is the whole type and nullability clause, e.g. "varchar(3) null ".
    Variant SQLAddField(data::Connection& conn, const QString& strTable, const QString& strField,
                        const QString& strTypes = QString());
    Variant SQLChangeField(data::Connection& conn, const QString& strTable, const QString& strField,
                           const QString& strTypes = QString());
    // strFields: the column list as it goes between the parentheses ("A" or "A,B").
    Variant SQLCreateIndex(data::Connection& conn, const QString& strName, const QString& strTable,
                           const QString& strFields, bool blnUnique = false);
    bool SQLCheckIndex(data::Connection& conn, const QString& strTable, const QString& strIndexName);

    // ==== further members (logins, maintenance, roles and users, structure, processes, ======
    // ==== stored procedures) are declared below by their own source files ====================
};

// The program's one CSql, created on first use and kept until the program ends.
CSql& gobjSql();

// The statement texts of the table members, exactly as they are sent (blanks included).
namespace csqltexto {
QString CheckField(const QString& strTable, const QString& strField);
QString CheckTable(const QString& strTable);
QString CreateTable(const QString& strTable);
QString CreateKey(const QString& strTable);
QString AddField(const QString& strTable, const QString& strField, const QString& strTypes);
QString ChangeField(const QString& strTable, const QString& strField, const QString& strTypes);
QString CreateIndex(const QString& strName, const QString& strTable, const QString& strFields, bool blnUnique);
QString CheckIndex(const QString& strTable, const QString& strIndexName);
}  // namespace csqltexto
