#pragma once
// The tables and views a statement reads by naming them in its FROM and JOIN lists: the rights
// a statement needs cover these as well as the columns SQLite reports reading.

#include <QString>
#include <vector>

namespace data::embedded {

struct NamedObject {
    QString database;  // lower case; "main" when the name is not qualified
    QString object;
};

// Every table and view the statement's FROM and JOIN lists name, once each, at any depth
// (subqueries, EXISTS, IN, the source of INSERT ... SELECT and UPDATE ... FROM), except the
// target of DELETE FROM, the names of its common table expressions, table functions and
// temporary tables. The text is SQLite's, as the translation made it: "schema"."name" or name.
std::vector<NamedObject> namedReads(const QString& sql);

}  // namespace data::embedded
