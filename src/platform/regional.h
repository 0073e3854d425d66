#pragma once
// The user's regional settings: the per-user store that stands where the system read and
// repaired the regional settings of the user's default locale. It lives in a small settings
// file under the user's configuration folder ("velmora/regional.ini"), seeded from the POSIX
// locale the first time it is used; a change is written through at once and is seen by every
// later read, in this process and in new ones. Values are kept in memory after the first load,
// so changes made to the file by other processes are not followed.

#include <QLocale>
#include <QMap>
#include <QString>
#include <optional>

namespace platform {

// The locale-information codes the system uses.
namespace lc {
inline constexpr int DecimalSeparator = 14;
inline constexpr int ThousandSeparator = 15;
inline constexpr int Grouping = 16;  // "3;0" style
inline constexpr int DateSeparator = 29;
inline constexpr int TimeSeparator = 30;
inline constexpr int ShortDate = 31;  // Windows letters: "dd/MM/yyyy"
}  // namespace lc

// The stored text of a setting, untrimmed; nothing for a code the store does not know.
std::optional<QString> getLocaleInfo(int lctype);

// Stores a setting. False for a code the store does not know, for a text longer than the
// setting allows (3 characters for separators, 9 for the grouping, 79 for the date format),
// or when the file cannot be written (the setting then keeps its previous value). Characters
// outside Windows-1252 are stored as "?".
bool setLocaleInfo(int lctype, const QString& value);

// The file of the store. Pointing it elsewhere (an empty path restores the default) drops the
// values in memory; the next use loads, or seeds, that file.
QString regionalFile();
void setRegionalFile(const QString& path);

// The values a new store starts with for a locale: its decimal point, group separator, digit
// grouping, date and time separators and short date format, each made expressible in
// Windows-1252. The C/POSIX locale gives ".", ",", "3;0", "/", ":" and "MM/dd/yyyy".
QMap<int, QString> regionalSeed(const QLocale& locale);

}  // namespace platform
