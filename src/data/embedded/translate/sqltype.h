#pragma once
// SQL Server column types as declared in a table's definition ("varchar(60)", "money",
// "numeric (18,0)", ...): their ADO field types and sizes, how a stored SQLite value reads as
// a Variant, how a Variant is written, and which values a column refuses.
//
// Storage (any SQLite tool reads and writes the same data):
// - text types as TEXT; integer types and bit as INTEGER;
// - money and smallmoney as the decimal amount: INTEGER when whole, otherwise REAL; read back
//   rounded to four decimals (half to even), which is exact for amounts up to about 2*10^11;
// - datetime as TEXT "yyyy-mm-dd hh:mm:ss.fff" (also read: "yyyy-mm-dd", "yyyy-mm-dd hh:mm",
//   "yyyy-mm-dd hh:mm:ss", a "T" instead of the blank);
// - image, binary and varbinary as BLOB.
// Type names SQL Server does not know (a table made with the sqlite3 tool: INTEGER, TEXT,
// REAL, BLOB, no type) read by their SQLite meaning; "varchar" without a length made by such a
// tool is taken as unbounded.

#include <QString>
#include <sqlite3.h>

#include "data/embedded/translate/textrules.h"
#include "data/variant.h"

namespace data::embedded {

struct SqlType {
    enum class Kind {
        Unknown,
        Char,
        VarChar,
        Text,
        NChar,
        NVarChar,
        NText,
        Bit,
        TinyInt,
        SmallInt,
        Int,
        BigInt,
        Money,
        SmallMoney,
        Numeric,
        Float,
        Real,
        DateTime,
        SmallDateTime,
        Binary,
        VarBinary,
        Image,
        UniqueIdentifier,
        // SQLite's own names in tables made by other tools
        SqliteInteger,
        SqliteText,
        SqliteReal,
        SqliteBlob,
    };

    Kind kind = Kind::Unknown;
    long length = 0;     // declared length of char/binary types; 0 when not given
    int precision = 0;   // numeric
    int scale = 0;       // numeric
    QString declared;    // the declared text, e.g. "varchar(3)"

    static SqlType parse(const QString& declared);

    bool isText() const;
    bool isBinary() const;
    bool isInteger() const;
    int adoType() const;
    long definedSize() const;
    int adoPrecision() const;
    int adoScale() const;
    // The base type name as SQL Server's catalogue procedures show it ("varchar", "int", ...).
    QString typeName() const;

    // Reads column i of the current row of stmt.
    Variant decode(sqlite3_stmt* stmt, int i) const;
    // Binds value at index (1-based). Raises DbError for values that cannot be converted.
    void bind(sqlite3_stmt* stmt, int index, const Variant& value) const;
    // The text bind hands SQLite for a value of a character type (not Null nor Empty).
    static QString boundText(const Variant& value);

    // Trigger conditions that refuse values: an SQL condition on ref (e.g. NEW."c") and the
    // tsql_raise() call that reports it. Empty when the type refuses nothing.
    struct Check {
        QString condition;
        QString raise;
    };
    std::vector<Check> checks(const QString& ref) const;
};

// An amount rounded to the given decimals (0-4) as a numeric column keeps it: halves away from
// zero.
Currency roundNumeric(Currency c, int decimals);

// Reads the date-time texts the engine accepts; an invalid QDateTime otherwise.
QDateTime parseDateTime(const QString& text);
// The day and time of stored bytes in a form the engine writes ("yyyy-mm-dd", with
// " hh:mm:ss" and ".fff" or a 'T'), as parseDateTime reads them; false for any other text and
// for a day or time that does not exist.
bool writtenDateTime(const char* p, int bytes, QDate& date, QTime& time);
// A date-time text as SQL Server reads it into datetime (small: smalldatetime): 0 with out
// set, 241 when the text is no date-time, 242 when its day does not exist or lies outside the
// type's range.
int readDateTimeText(const QString& text, bool small, QDateTime& out);
// A text written into a date-time column: the engine's own forms, then every form SQL Server
// reads; an invalid QDateTime when it is none.
QDateTime readDateTime(const QString& text);
// The same by the general pattern alone (parseDateTime reads the engine's own forms without
// it, and must agree with it).
QDateTime parseDateTimeByPattern(const QString& text);

}  // namespace data::embedded
