#pragma once
// The SQL Server provider: every server name that does not name the embedded engine is a
// SQL Server reached through unixODBC, with FreeTDS as the driver unless told otherwise. The
// statements go to the server unchanged; results are read whole into memory (see provider.h).
//
// Texts cross the driver boundary as UTF-16 through the wide-character entry points, so the
// server's Unicode data arrives intact whatever the locale of the machine.

#include <QString>
#include <memory>

#include "data/provider.h"

namespace data::provider {

// What may differ from the default FreeTDS connection: used by the tests, which talk to the
// SQLite3 ODBC driver instead of a SQL Server, and by sites with another driver.
struct OdbcOptions {
    // The connection string handed to the driver, without a password; empty builds the FreeTDS
    // string from the arguments. A non-empty password of the arguments is appended as PWD.
    QString connectionString;
    // Gives the identity value of the row just inserted on this connection. When
    // identityInSameBatch is set it runs in the same batch as the INSERT, where SQL Server's
    // SCOPE_IDENTITY() sees the insert's scope.
    QString identityQuery = QStringLiteral("SELECT CAST(SCOPE_IDENTITY() AS bigint)");
    bool identityInSameBatch = true;
    // Statements whose only values are text literals run as one prepared statement per shape;
    // off, every text goes to the driver as written (kept for measuring the difference).
    bool prepareShapes = true;
};

// The TDS protocol version and client character set pinned for every FreeTDS connection.
inline constexpr char16_t kFreeTdsVersion[] = u"7.4";
inline constexpr char16_t kFreeTdsClientCharset[] = u"UTF-8";

// A value as an ODBC connection string carries it so that FreeTDS reads it back unchanged:
// verbatim when it is plain, otherwise in braces (a closing brace stays single). A value that
// cannot be carried is refused with DbError kOdbcValueRefused (key names the entry in the
// message; the value is never shown). The caller ends the entry with ";".
inline constexpr long kOdbcValueRefused = -2147217887;  // DB_E_ERRORSOCCURRED
QString quoteOdbcValue(const QString& value, const QString& key = {});

// The connection string for FreeTDS made from the arguments: DRIVER (the registered "FreeTDS",
// or else the driver's library found beside the driver manager), SERVER (with a port after a
// comma, or an instance after a backslash, as SQL Server writes them; with both, the port), DATABASE, UID,
// PWD, the pinned TDS version and client character set, and the time-outs. It holds the
// password: hand it to the driver and let it go, never keep or show it.
QString freeTdsConnectionString(const OpenArguments& args);

// Opens a session on a SQL Server through FreeTDS. Raises DbError with the server's number
// and text (never the password) when the connection fails.
std::unique_ptr<Session> openOdbcSession(const OpenArguments& args);
std::unique_ptr<Session> openOdbcSession(const OpenArguments& args, const OdbcOptions& options);

// Whether unixODBC knows a driver of this name (odbcinst.ini).
bool odbcDriverRegistered(const QString& name);

}  // namespace data::provider
