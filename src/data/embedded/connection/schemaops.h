#pragma once
// The T-SQL schema statements that SQLite cannot run as written. SQLite has no ALTER COLUMN and
// cannot add a named key to a table: those rebuild the table (new definition, rows copied,
// indexes and triggers made again, the identity counter kept) inside a savepoint, so a
// failure (data that does not fit the new type) changes nothing.

#include "data/embedded/connection/core.h"
#include "data/embedded/translate/translator.h"

namespace data::embedded {

void createTable(Core& core, const Translation& tr);
void addColumn(Core& core, const Translation& tr);
void alterColumn(Core& core, const Translation& tr);
void addConstraint(Core& core, const Translation& tr);
void createIndex(Core& core, const Translation& tr);
void dropTable(Core& core, const Translation& tr);

}  // namespace data::embedded
