#include "data/provider.h"

#include "data/embedded/session.h"
#include "data/odbc/odbc_provider.h"

namespace data::provider {

std::unique_ptr<Session> openSession(const OpenArguments& args) {
    const QString server = args.connection.dataSource().trimmed();
    if (server.startsWith(QLatin1String("embedded:"), Qt::CaseInsensitive)) return embedded::openSession(args);
    return openOdbcSession(args);
}

}  // namespace data::provider
