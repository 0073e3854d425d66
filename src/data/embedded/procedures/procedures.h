#pragma once
// The system procedures the system calls, answered from the database's own catalogue with the
// result columns SQL Server gives them: sp_tables, sp_columns and sp_indexes. Name arguments
// take the LIKE wildcards % and _ and are compared without case.

#include <QString>
#include <utility>
#include <vector>

#include "data/embedded/connection/core.h"

namespace data::embedded {

// arguments: (name without "@" or empty when positional, value; a null QString for NULL).
provider::Result callProcedure(Core& core, const QString& name, const std::vector<std::pair<QString, QString>>& arguments);

// SQL Server's LIKE on names, without case: % any run, _ any one character.
bool likeMatch(const QString& pattern, const QString& text);

}  // namespace data::embedded
