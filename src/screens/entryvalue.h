#pragma once
// How the entry controls read a value set by name at run time: any number, or a text that
// reads as a number with the point or the regional decimal separator; anything else (an empty
// or non-numeric text, an unset value) is no number.

#include <QVariant>
#include <cstdint>
#include <optional>

namespace screens {

std::optional<double> numberOf(const QVariant& value);

// The value as a 16-bit integer: rounded half to even, limited to -32768..32767; no number
// counts as 0.
std::int16_t int16Of(const QVariant& value);

// The regional separators the controls type and show (with the usual fallbacks when the
// regional record is still empty).
QString decimalSeparator();
QString dateSeparator();
QString timeSeparator();

}  // namespace screens
