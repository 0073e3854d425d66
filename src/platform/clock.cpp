#include "platform/clock.h"

#include <utility>

namespace platform {

namespace {
std::function<QDateTime()>& clockOverride() {
    static std::function<QDateTime()> f;
    return f;
}
}  // namespace

QDateTime now() {
    if (const auto& f = clockOverride()) return f();
    const QDateTime local = QDateTime::currentDateTime();
    return QDateTime(local.date(), local.time(), Qt::UTC);
}

QDate today() { return now().date(); }

void setClock(std::function<QDateTime()> clock) { clockOverride() = std::move(clock); }

}  // namespace platform
