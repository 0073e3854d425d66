#pragma once
// The wall clock every routine reads. Tests replace it to drive the scheduler minute by minute
// and to pin "today" for the date routines.

#include <QDate>
#include <QDateTime>
#include <functional>

namespace platform {

// The local date and time now, as a naked wall-clock value (UTC spec, local fields).
QDateTime now();
QDate today();

// Replaces the clock (an empty function restores the real one).
void setClock(std::function<QDateTime()> clock);

}  // namespace platform
