#pragma once
// The third connection opener of the start-up module: the shared configuration database
// "BorviaConfig" on the configured server. Unlike OpenVelmora and OpenGeral it asks the user
// what to do when the database does not open, and may end the program.

#include <QString>
#include <cstdint>
#include <functional>

namespace data {
class Connection;
}

// Opens conn on "BorviaConfig" with the settings' server, login and password (120 seconds).
// On failure lngErro/strErro hold the error and the choice dialog asks whether to go on
// ("Continuar a tentar": False is returned, no retry) or to end the program at once.
bool OpenConfig(data::Connection& conn, std::int32_t& lngErro, QString& strErro);

// How the program ends at the user's choice (tests put a recorder in its place; an empty
// function restores the real ending).
void setTerminaPrograma(std::function<void()> termina);

// Hands the core what it takes from this module: OpenConfig, AcertaLocale, errC/errD (for the
// access rights and the toolkit) and the settings' login (for the toolkit's own connections).
// The program calls it once at start-up.
void InstalaServicosConfig();
