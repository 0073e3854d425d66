#pragma once
// ValidateTime: the time-of-day checks of the settings screen's time fields. A time is written
// as hours, the regional time separator and minutes, two digits each ("08:05"), the text the
// scheduler compares with the clock.

#include <QString>
#include <QTime>
#include <cstdint>

#include "platform/byref.h"

namespace ValidateTime {

// The time as hours, the regional time separator and minutes, two digits each.
QString FormataHora(const QTime& hora);

// Whether the text is a time of day: hours 0 to 23 and minutes 0 to 59, written as one or two
// digits, the time separator (the regional one or ":") and one or two digits, or as four
// digits; blanks around it are allowed. The accepted time, as FormataHora writes it, goes to
// hora; a refused text leaves hora alone.
bool ValidaHora(const QString& texto, platform::Ref<QString> hora = {});

// The key filter of a time field: digits, the time separator (":" typed as the regional
// one), backspace, Enter and Esc pass; any other character becomes 0 (swallowed).
void HoraKeyPress(platform::Ref<std::int16_t> KeyAscii);

}  // namespace ValidateTime
