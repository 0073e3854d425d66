#pragma once
// SQL Server's rules for texts as the engine's SQLite functions apply them, free of SQLite calls:
// the engine links them with its own SQLite, and the loadable extension (src/sqliteext/) with the
// SQLite of whatever program loads it. Both must agree exactly, since an index written by one
// is read by the other.

#include <QDateTime>
#include <QString>

namespace data::embedded {

// The collation TSQL_TEXT: <0, 0, >0. Without case, ignoring trailing blanks; a text that reads
// as a date-time ("yyyy-mm-dd" with an optional time) takes part by its normal form
// "yyyy-mm-dd hh:mm:ss.fff", so a datetime column compared with a 'yyyy-mm-dd' literal compares
// as dates.
int compareText(const char* a, int na, const char* b, int nb);

// len(): characters without the trailing blanks.
qsizetype lengthWithoutTrailingBlanks(const QString& s);

// Date-time text as the engine writes it (and getdate() answers).
QString formatDateTime(const QDateTime& dt);

}  // namespace data::embedded
