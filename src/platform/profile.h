#pragma once
// Private-profile ("INI") files with the semantics the system's settings file has always had:
// single-byte Windows-1252 text with CR LF line ends, "[section]" headers, "key=value" lines,
// ";" comments, section and key names compared without regard to case.

#include <QString>
#include <optional>

namespace platform {

// What the classic private-profile reader copies into a buffer of bufferSize characters: the
// value of the key in the first section of that name (blanks around it removed, one pair of
// matching quotes removed), at most bufferSize - 1 characters of it. A missing file, section
// or key gives defaultText (without trailing blanks), cut the same way. A line's text ends at
// its first NUL byte.
QString GetPrivateProfileString(const QString& section, const QString& key, const QString& defaultText,
                                int bufferSize, const QString& filePath);

// The whole value of the key as GetPrivateProfileString finds it (blanks and one pair of quotes
// removed, not cut); nothing when the file, the section or the key is missing.
std::optional<QString> privateProfileValue(const QString& section, const QString& key, const QString& filePath);

// Sets the key to value, creating the file, the section (at the end of the file) and the key
// (at the end of its section) as needed; every other byte of the file stays as it was. The new
// content replaces the file in one rename, so readers never see a half-written file; where the
// folder takes no new file (an install made read-only with its settings file left writable)
// an existing file is written in place and flushed instead. The file is left readable and
// writable by its owner only (mode 0600), unless it is written in place and belongs to another
// owner, when it keeps its mode. Line
// breaks and NULs in the value become blanks (they would split the line). Returns false when
// the file cannot be written, or when a name is empty or cannot be written as a name (a line
// break, or a character outside Windows-1252, which would be stored as another name).
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& filePath);

}  // namespace platform
