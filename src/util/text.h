#pragma once
// Small text helpers shared by the utility members and everything that pads or compares texts.

#include <QString>

namespace util {

// Removes leading and trailing blanks (character 32) only: tabs, carriage returns and line
// feeds are kept, as the system's trimming always did.
QString trimBlanks(const QString& s);

}  // namespace util
