#pragma once
// Start-up module: the settings file name, the regional-settings check and the single-copy test.
// Main itself (which loads the main window) lives with the windows.

#include <QString>

// The bare name of the settings file; readers and writers put it in the program's folder.
QString& gstrFicheiroIni();

// Reads the user's regional settings into Locale(), repairing in the regional store a short
// date format, separators or a date separator that the number and date routines cannot use.
void AcertaLocale();

// The text shown when a second copy starts.
inline const QString kJaEmExecucao = QStringLiteral("Este aplicativo já está em execução!");
