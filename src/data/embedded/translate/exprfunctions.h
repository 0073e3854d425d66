#pragma once
// The functions that the expressions pass (expressions.h) puts into statements, so that SQLite
// computes them with SQL Server's meaning:
// - tsql_add(a, b): two texts (or two blobs) joined, anything else added as SQLite's "+" adds;
//   a text beside a number is read as the number's type first (245 or 8114 when it is none),
//   a date-time text takes the number as days; NULL when either is NULL;
// - tsql_divisor(b): b itself, or error 8134 when it is zero (a text that is no number: 245);
// - tsql_cast(value, kind, size, scale): CAST to a SqlType::Kind. numeric(p, s), money
//   and smallmoney round to their scale, the half away from zero, and refuse what does not fit
//   (8115); the integer types truncate reals toward zero and refuse texts that are no whole
//   number (245) and values beyond their range (220, 8115); bit takes 1 for any non-zero value;
//   float and real refuse texts that are no number (8114); datetime and smalldatetime take a
//   text as SQL Server reads it (241 when it is none) and a number as days after 1900-01-01,
//   in the engine's one form "yyyy-mm-dd hh:mm:ss.fff"; the character types cut a text to
//   their length, char filling it with blanks, and write a whole number too long for them as
//   "*" (8115 for reals and the national types);
// - tsql_lit(value, kind, size, scale): tsql_cast for a literal compared with a column of that
//   type, computed once before the first row (typing.h);
// - tsql_mod(a, b, scale): the exact remainder of two decimal or money values.

#include <sqlite3.h>

namespace data::embedded {

void installExpressionFunctions(sqlite3* db);

}  // namespace data::embedded
