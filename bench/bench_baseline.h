#pragma once
// The baseline of the benchmark: the work of one automatic run done set-based in plain SQLite
// on the same databases (the staging rows built with INSERT ... SELECT and UPDATE ... FROM, the
// file written by one query per section and a plain loop, the zipped copy and the status
// reset), for the rules the benchmark stages (one rule of each kind that selects everything,
// at price level 1) and a period inside one year.

#include <QString>

namespace bench {

// Runs the baseline on the server folder; the file goes to exportFolder/fileName.
void runBaseline(const QString& serverFolder, const QString& exportFolder, const QString& fileName);

// The export file's name on the benchmark's pinned clock.
QString exportFileName();

}  // namespace bench
