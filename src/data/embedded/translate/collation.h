#pragma once
// Where a translated statement carries the collation TSQL_TEXT (semantics.h), so that SQLite
// compares, groups, sorts and removes duplicates as SQL Server does. The tables keep no
// collation of their own (any SQLite tool reads and writes them), so every place where SQLite
// would otherwise compare two texts byte by byte names it:
// - comparisons (=, <>, <, >, <=, >=, IN, NOT IN, BETWEEN) on their left operand, and the terms
//   of ORDER BY and GROUP BY (SET assignments of an UPDATE are no comparisons);
// - the result terms of a SELECT DISTINCT and of every member of a UNION, INTERSECT or EXCEPT
//   (SQLite removes duplicates by the collation of the result expressions);
// - the argument of MIN and MAX and of any aggregate over DISTINCT values;
// - the value a simple CASE compares with its WHEN values.

#include <vector>

#include "data/embedded/translate/tokenizer.h"

namespace data::embedded {

// Comparisons and ORDER BY / GROUP BY terms. isUpdate: the statement is an UPDATE, whose SET
// assignments are left alone.
std::vector<Token> collate(const std::vector<Token>& t, bool isUpdate);

// Result terms, aggregates and simple CASE values. A result column that takes the collation
// loses its name, type and origin in SQLite's description of the statement; the text before
// this pass still gives them. A star among such result terms is marked (starcolumns.h);
// markedStars tells whether one was.
std::vector<Token> collateResults(const std::vector<Token>& t, bool* markedStars = nullptr);

}  // namespace data::embedded
