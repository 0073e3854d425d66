#pragma once
// SQL Server's meaning on a SQLite connection: the collation TSQL_TEXT that the translator puts
// on comparisons and sorts, and the functions that statements and the engine's checks call.
//
// TSQL_TEXT compares as SQL Server's default collation does (compareText, textrules.h); the
// loadable extension registers the same order for other programs' SQLite.
//
// Functions: getdate() (the server's local time, "yyyy-mm-dd hh:mm:ss.fff"), len() (length
// without trailing blanks), tsql_raise(number, value, type) (fails the statement with a SQL
// Server error), tsql_isdate(text), and the expression functions of exprfunctions.h.

#include <QString>
#include <sqlite3.h>

#include "data/embedded/translate/textrules.h"

namespace data::embedded {

void installSemantics(sqlite3* db);

// Fails the function call of ctx with SQL Server's error number and text (value and type fill
// the texts that name them), as tsql_raise does.
// A function argument as text (a null QString for Null).
QString valueText(sqlite3_value* v);
// A number as a numeric column keeps it: INTEGER where it is whole and in range, else REAL.
void resultNumber(sqlite3_context* ctx, double value);

void raiseInFunction(sqlite3_context* ctx, long number, const QString& value, const QString& type);

}  // namespace data::embedded
