#pragma once
// The connection openers of the start-up module and the log writer. No connection is held
// program-wide: a caller creates its connection object, opens it through an opener, uses it
// and closes it. Both openers go through gobjSql().CreateDbConnection with the settings'
// server, login and password (Configuracao()).

#include <QString>
#include <cstdint>
#include <functional>

namespace data {
class Connection;
}

// The error number and text of the last failed opening. Callers pass these two to the
// openers and show them after a False result.
std::int32_t& errC();
QString& errD();

// The time-out (seconds) with which the extractor opens its connections, as a rule.
inline constexpr std::int32_t kTimeoutLigacao = 120;

// Opens conn on the staging database "Velmora". True when it is open; otherwise the error's
// number and text are in lngErro and strErro. Nothing is shown, nothing retried.
bool OpenVelmora(data::Connection& conn, std::int32_t& lngErro, QString& strErro, std::int32_t lngTimeout);
// The same for the company database named in the settings (gstrDataBase).
bool OpenGeral(data::Connection& conn, std::int32_t& lngErro, QString& strErro, std::int32_t lngTimeout);

// Writes one row into the staging database's LogGeral over a connection of its own, with the
// server's clock. True when the staging connection opened, whether or not the row was
// written; nothing is ever reported. Label and detail are stored exactly as given.
bool LancaLog(const QString& Opcao, const QString& Texto);

// Tests watch the openings the openers make: the database and the time-out of each.
using ObservadorAberturas = std::function<void(const QString& dataBase, std::int32_t timeout)>;
void setObservadorAberturas(ObservadorAberturas observador);
