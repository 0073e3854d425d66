#pragma once
// The program-wide regional record. The start-up check of the regional settings fills it once;
// every number and date routine and the entry controls read their separators and the short
// date format from here instead of asking the platform each time.

#include <QString>

struct LocaleRecord {
    QString gstrDecSep;          // decimal separator
    QString gstrMilSep;          // thousands separator
    QString gstrAgrupamento;     // first character of the digit grouping, e.g. "3"
    QString gstrFormatoData;     // short date format, e.g. "dd-MM-yyyy"
    QString gstrHoraSep;         // time separator
    QString gstrDataSep;         // date separator, after both repairs
    QString gstrDataSepSistema;  // date separator before an empty one was repaired
};

// The one record of the program.
LocaleRecord& Locale();

// The program-wide working year and month of the date routines (empty unless a caller sets them).
QString& gstrAno();
QString& gstrMes();
