#pragma once
// Expressions that SQLite would read with another meaning than SQL Server's, rewritten in a
// translated SELECT, INSERT, UPDATE or DELETE (after the names pass, before the collation):
// - "+" between two operands that are not literals becomes tsql_add(a, b), which joins two
//   texts and adds anything else; the additive chain keeps SQL Server's order, left to right,
//   also where a "+" next to a text literal already became "||" (SQLite binds "||" tighter than
//   "*" and "+"). A "+" next to a number literal stays SQLite's addition.
// - the divisor of "/" and "%" becomes tsql_divisor(b), which refuses a zero with 8134;
// - a subquery used as a value gets a check that refuses a second row with 512, keeping the
//   value, its type and its column's origin (no row gives NULL);
// - CAST (and CONVERT without a style) to the numeric, money, integer, bit, float, date-time and
//   character types becomes tsql_cast(value, kind, precision or length, scale), which rounds,
//   truncates and refuses as SQL Server does (exprfunctions.h).
// A statement without any of these, or of another kind, comes back as it was.

#include <vector>

#include "data/embedded/translate/tokenizer.h"

namespace data::embedded {

std::vector<Token> sqlServerExpressions(std::vector<Token> statement);

}  // namespace data::embedded
