#pragma once
// What SQL Server does to a value written into a column, applied where the value is written
// instead of by a trigger on the table: SQLite runs a trigger program for every written row
// even when its condition is false, which cost about a quarter of a run's time.
//
// tsql_put(value, kind, length, whole, affinity, 'type') gives the value the column's SQLite
// affinity (as storing it would), refuses it with the SQL Server error the column's checks
// raise (SqlType::checks), and fits it as the fitting triggers do: blanks beyond a character
// column's width dropped, char(n) filled with blanks to its width. A write statement gets these
// calls around its values when its form allows (INSERT with a column list and VALUES, UPDATE
// ... SET); any other write to a table keeps the triggers (Core::ensureChecks).

#include <QString>
#include <sqlite3.h>
#include <vector>

#include "data/embedded/translate/tabledef.h"
#include "data/variant.h"

namespace data::embedded {

// The call around expression that applies the column's rules; the expression itself when the
// column has none.
QString withColumnRules(const QString& expression, const ColumnDef& column);

// The SQLite text of a translated INSERT ... (columns) VALUES (...) or UPDATE ... SET ... with
// every assigned value wrapped in its column's rules; a null string when the statement has
// another form, names a column the definition lacks, or leaves out a column whose default
// would need the rules.
QString statementWithRules(const QString& sqliteText, const TableDefinition& table);

// How a value the row writer binds for a column (SqlType::bind with the result column's type)
// meets the column's rules. Where tsql_put would hand it on unchanged, the bare parameter may
// stand in the call's place, and SQLite runs no function for it: on a table of text columns
// the calls cost about as much as the INSERT itself. Anything not known to pass unchanged
// keeps the call.
class DirectFit {
public:
    DirectFit() = default;  // the value always goes through the rules
    DirectFit(const ColumnDef& column, const SqlType& bound);
    // Whether tsql_put would pass the value on as bound, without refusing or fitting it.
    bool unchanged(const Variant& value) const;

private:
    enum class Mode { Ruled, Always, Width, Fixed, Range, Currency };
    Mode mode_ = Mode::Ruled;
    bool boundAsBit_ = false;  // bound as 0 or 1 (SqlType::bind's bit), not by its number
    qint64 low_ = 0;
    qint64 high_ = 0;
};

// Whether an INSERT that sets only the given columns (indexes into table.columns) leaves out
// a column whose default would need the rules.
bool omitsRuledDefault(const TableDefinition& table, const std::vector<bool>& set);

// A value rounded to scale decimals as SQL Server rounds into numeric(p, scale): the half away
// from zero, the value taken by its 15 significant digits.
double roundToScale(double value, int scale);

// Registers tsql_put and tsql_numeric(value, scale) (a real rounded by roundToScale) on db.
void installColumnRules(sqlite3* db);

}  // namespace data::embedded
