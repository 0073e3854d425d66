#include "data/provider.h"

#include <atomic>

#include "data/embedded/connection/session.h"
#include "data/odbc/odbc_provider.h"

namespace data::provider {

namespace {
std::atomic<std::uint64_t> sent{0};
}

std::uint64_t statementsSent() { return sent.load(std::memory_order_relaxed); }
void countStatement() { sent.fetch_add(1, std::memory_order_relaxed); }

std::uint64_t nextColumnsSerial() {
    static std::atomic<std::uint64_t> serial{0};
    return serial.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::unique_ptr<Session> openSession(const OpenArguments& args) {
    const QString server = args.connection.dataSource().trimmed();
    if (server.startsWith(QLatin1String("embedded:"), Qt::CaseInsensitive)) return embedded::openSession(args);
    return openOdbcSession(args);
}

}  // namespace data::provider
