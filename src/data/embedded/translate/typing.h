#pragma once
// SQL Server's data type precedence on a translated statement, from the declared types of the
// columns it names. The translation itself knows no table, so this pass runs on its SQLite
// text once per text and generation of the connection's table definitions:
// - a comparison (=, <>, <, >, <=, >=, IN, BETWEEN, a simple CASE's WHEN) between a character
//   operand and one of a higher type converts the character one: a text literal becomes the
//   column's type once per run (tsql_lit: '' reads 0 for an int, '20170105' a datetime; 245,
//   8114, 241, 242 when it is none), a character column row by row (tsql_cast);
// - arithmetic on money, smallmoney and decimal keeps the result's scale by SQL Server's
//   precision and scale rules (tsql_numeric), and "%" on them is the exact remainder
//   (tsql_mod); a character operand of arithmetic on numbers is converted first;
// - CASE results, the arguments of COALESCE and the columns of a UNION's (INTERSECT's, EXCEPT's)
//   members take the highest type among them; ISNULL takes its first argument's;
// - avg of an integer column is an integer, avg and sum of money and decimal keep their scale;
// - money cast to an integer type rounds (numeric truncates).
// What it cannot type (a view's column, a derived table's, a parameter of the caller) keeps
// SQLite's meaning.

#include <QString>
#include <functional>
#include <utility>
#include <vector>

#include "data/embedded/translate/sqltype.h"

namespace data::embedded {

using ColumnTypes = std::vector<std::pair<QString, SqlType>>;
// The columns of schema.table ("main", "temp" or an attached database's name; empty when the
// statement does not name it); false when there is no such table.
using ColumnLookup = std::function<bool(const QString& schema, const QString& table, ColumnTypes& columns)>;

// The statement with the conversions written in; the text itself when it needs none.
QString typedStatement(const QString& sqliteText, const ColumnLookup& lookup);

}  // namespace data::embedded
