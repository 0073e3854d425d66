#pragma once
// A star among the result terms of a SELECT that removes duplicates (SELECT DISTINCT, a member
// of a UNION, INTERSECT or EXCEPT) has no expression of its own to carry the collation that
// SQLite removes duplicates by. The translator, which knows no tables, marks such a star; the
// connection, before preparing the statement, replaces it with the columns it stands for, as
// SQLite names them for the same FROM clause, each qualified by its table or alias and
// collated. The text without the marks (still with the stars) describes the result columns.

#include <QString>
#include <QStringList>
#include <functional>

#include "data/embedded/translate/tokenizer.h"

namespace data::embedded {

// The mark the translator puts after such a star: a comment, so that a text still holding it
// runs as it was written.
Token starMark();
bool isStarMark(const Token& t);

// The text with each marked star replaced by its columns. columnsOf gives the names of the
// result columns of a query text (raising the query's error when it cannot be prepared). A star
// whose columns cannot be told apart by the FROM item they come from is refused.
QString expandStars(const QString& sql, const std::function<QStringList(const QString&)>& columnsOf);

}  // namespace data::embedded
