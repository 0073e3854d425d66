#include "data/provider.h"

#include "data/dberror.h"
#include "data/embedded/session.h"

namespace data::provider {

std::unique_ptr<Session> openSession(const OpenArguments& args) {
    const QString server = args.connection.dataSource().trimmed();
    if (server.startsWith(QLatin1String("embedded:"), Qt::CaseInsensitive)) return embedded::openSession(args);
    // The SQL Server provider is the next step; until then every other server name fails here.
    throw DbError(adoerr::ProviderNotFound,
                  QStringLiteral("SQL Server provider not available: the server \"%1\" cannot be reached.").arg(server),
                  QStringLiteral("08001"));
}

}  // namespace data::provider
