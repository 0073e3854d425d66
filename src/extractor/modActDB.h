#pragma once
// modActDB: keeps the staging database "Velmora" in step with what the extractor and the link
// screens use. It creates what is missing and widens what earlier versions made narrower; it
// never drops or renames anything.

// Makes sure Velmora exists on the configured server with every staging table and column in
// its current width, repairs LigaMovimentos.ApenasMovComValor and logs "Arranque da
// Aplicação". Call it after the settings were (re)loaded, and only when the server, the login
// and the company database name are all non-blank. A refused connection shows one critical
// message with errC() and errD() and ends it; every other failure is ignored.
void ActualizaBaseDados();

