#pragma once
// The floor of the benchmark: the row-by-row work of a first automatic run (the product,
// customer and sales-line imports with their look-ups, inserts, updates and re-checks, the
// deletion of what no sales line made active, the zipped copy as a history row and the status
// reset) sent as plain SQLite prepared statements on two connections, one on the staging
// database and one on the company database with the staging database attached, as the engine
// opens them (write-ahead log, synchronous NORMAL). No data layer and no statement translation:
// what is left is the price of the statements themselves and of their commits.
//
// The export file is not written: the history row zips the file of an earlier run instead.

#include <QString>
#include <cstdint>
#include <sqlite3.h>

namespace bench {

struct FloorCounts {
    std::uint64_t statements = 0;  // prepared statements run (reads and writes), BEGIN/COMMIT not counted
    std::uint64_t commits = 0;     // transactions committed on the staging connection
};

// Runs the floor on the server folder (its Velmora.db and Empresa.db). statementsPerTransaction
// 1 leaves every statement in autocommit mode, its own transaction; N > 1 wraps each N statements
// in BEGIN ... COMMIT on both connections, committing also at the end of each step (the sales
// lines' query reads through the company connection what the staging connection wrote).
// companyReadsOwn: with N > 1, only the staging connection's statements are grouped; every
// read of the company database stays its own transaction, as in the run (whose groups of
// writes never span the company connection).
// historyFile: the export file whose zipped copy becomes the history row (fileName its name).
FloorCounts runFloor(const QString& serverFolder, const QString& historyFile, const QString& fileName,
                     int statementsPerTransaction, bool companyReadsOwn = false);

// The floor of the export writer: the writer's three section queries (customers, products,
// sales lines, each in its order) read through plain SQLite on the staging database, each
// record formatted with snprintf and written to the file at path with stdio. staging is a handle
// from openSqlite, opened before the writer's time starts as the run's connection is. The file is the
// writer's, byte for byte (header, records and trailer), so that the two do the same work;
// a value wider than its field stops it as it stops the writer. Returns the file's size.
std::int64_t runExportFloor(sqlite3* staging, const QString& path, const QString& fileName);

}  // namespace bench
