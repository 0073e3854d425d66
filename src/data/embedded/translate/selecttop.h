#pragma once
// TOP n of a SELECT, at any depth of a statement, as SQLite's LIMIT n of that same SELECT.
// T-SQL's TOP belongs to the SELECT it is written in: a query of its own in parentheses (a
// derived table, a subquery, a parenthesized member) takes the LIMIT at the end of its
// parentheses, where its own ORDER BY is; a member of a UNION, INTERSECT or EXCEPT, whose LIMIT
// SQLite would give the whole set, is put in parentheses of its own with the LIMIT inside, which
// the member pass of the translation then turns into a query of its rows.

#include <vector>

#include "data/embedded/translate/translator.h"

namespace data::embedded {

// The tokens with every "TOP n" / "TOP (n)" turned into a LIMIT. TOP ... PERCENT, WITH TIES and
// a count that is not a number are refused in tr (the statement must not run without them).
std::vector<Token> topToLimit(const std::vector<Token>& t, Translation& tr);

}  // namespace data::embedded
