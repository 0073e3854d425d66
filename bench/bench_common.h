#pragma once
// Shared pieces of the benchmark: the synthetic company at a scale factor, the folders of one
// benchmark run, connections to a server folder, and the measurements of one phase.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <sqlite3.h>

namespace data {
class Connection;
}

namespace bench {

// The login every benchmark server is made with (its first login, so its sysadmin).
inline const char* const kLogin = "sa";
inline const char* const kPassword = "Bench.Pw#2024";

// The run's period and clock: one year of sales lines, the run a fortnight after its end.
inline const char* const kDataIni = "2023-01-01";
inline const char* const kDataFim = "2023-12-31";
inline constexpr std::int16_t kCutOff = 3;
inline const char* const kPrefixo = "BN";
inline const char* const kSistema = "VELMORA BENCH";
void pinClock();

// The sizes at scale s: 10,000 customers and products and 200,000 lines at s = 1.
struct Scale {
    double s = 1.0;
    int clientes() const;
    int produtos() const;
    int linhas() const;
};

// A server folder made by the engine ("embedded:<folder>" with kLogin).
QString serverName(const QString& folder);
std::unique_ptr<data::Connection> connect(const QString& folder, const QString& database);

// Copies a folder's files (one level, the server folder's databases) into a new folder.
void copyFolder(const QString& from, const QString& to);

// The settings file of a program folder that points at the server folder and the export folder.
void writeSettings(const QString& programFolder, const QString& serverFolder, const QString& exportFolder);

// A plain SQLite handle on a database file of a server folder, with the engine's collation
// and functions installed (its indexes use the collation).
struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Sqlite = std::unique_ptr<sqlite3, SqliteCloser>;
Sqlite openSqlite(const QString& file);
void sql(sqlite3* db, const char* text);
void sql(sqlite3* db, const QString& text);

// The company database (its tables made by the test-data builder): the indexes a company
// database has, through the engine, then the rows at the given scale, written directly.
void buildCompany(const QString& serverFolder, const Scale& scale);
// 1% of customers, products and lines changed or deleted (half each), at the same scale.
void mutateCompany(const QString& serverFolder, const Scale& scale);
// The link rules that select everything.
void addRules(const QString& serverFolder);

// The staging rows of a finished run, one text line per row, in a stable order (no row keys),
// for the comparison with the baseline.
QString stagingDump(const QString& serverFolder);

// The bytes of the zipped copy of file (named fileName) that the run's history row keeps, made by
// the run's zip component with the run's settings; the zip file itself is removed.
QByteArray zipped(const QString& file, const QString& fileName);

// Peak resident memory of this process so far, in MB.
double peakMb();

}  // namespace bench
