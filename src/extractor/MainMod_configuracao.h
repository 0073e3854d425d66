#pragma once
// The settings file "Velmora.ini" (gstrFicheiroIni(), in the program's folder) and the
// program-wide settings record Configuracao, loaded by LerConfiguracao at start-up and after
// every save of the settings screen. Keys without a field in the record are read with LerIni
// when they are needed, so each reader sees the file as it is at that moment.

#include <QString>
#include <cstdint>

struct ConfiguracaoRecord {
    std::int16_t gintLigado = 0;        // Extractor/Ligado: the scheduler is on (1) or off (0)
    std::int16_t gintP1 = 0;            // Extractor/P1: run weekday, 0 every day, 1 Monday .. 7 Sunday
    QString gstrP9;                     // Extractor/P9: run time "hh" + time separator + "mm"
    QString gstrServer;                 // Tramontix/Server
    QString gstrUID;                    // Tramontix/Login
    QString gstrPwd;                    // Tramontix/Password, held decrypted
    QString gstrDataBase;               // Tramontix/Database: the company database
    QString gstrEmailServer;            // Email/Server
    QString gstrEmailLogin;             // Email/Login
    QString gstrEmailPassword;          // Email/Password, held decrypted
    QString gstrEmailFrom;              // Email/From
    QString gstrEmailTo;                // Email/To
    std::int32_t gintSMTPPort = 0;      // Email/SMTPPort: see portaSmtp
    bool gblnSMTPSSL = false;           // Email/SMTPSSL: 1 use SSL, 0 not
    std::int16_t gintZerarFornece = 0;  // company ParamGeral.ZerarFornece: zero-fill supplier codes
    std::int16_t gintZerarClientes = 0; // ParamGeral.ZerarClientes
    std::int16_t gintZerarProduto = 0;  // ParamGeral.ZerarProduto
};

// The one settings record of the process.
ConfiguracaoRecord& Configuracao();

// The settings file: the program's folder, "/" and gstrFicheiroIni(). Every reader and writer
// of the file takes its path from here. setPastaFicheiroIni points it at another folder (tests
// use a temporary program folder); an empty folder gives back the program's own.
QString caminhoFicheiroIni();
void setPastaFicheiroIni(const QString& folder);

// The value of one key of the settings file, at most 254 characters (longer values come back
// cut); a missing file, section or key gives "".
QString LerIni(const QString& Seccao, const QString& Chave);

// Fills Configuracao() from the settings file, decrypts the two passwords and reads the three
// code-filling flags from the company table ParamGeral over a connection with a time-out of
// 10 seconds. Every failure is ignored: a field that cannot be converted keeps its value, and
// when the company database does not open the flags stay 0 (errC()/errD() say why).
void LerConfiguracao();

// Email/SMTPPort as the mail component takes it: the leading number of the text, rounded to
// the nearest whole number, as every numeric key of the file is read ("587abc" is 587, a text
// without a number 0), but in 32 bits, since the mail component's port is 32-bit and every port
// to 65535 must arrive whole. 0 leaves the port to the protocol's default. A number beyond 32
// bits becomes kPortaSmtpIlegivel; that and every other value outside 1 to 65535 is no port and
// is kept as it is, so that the mail component refuses the send and its failure row names the
// value, instead of mailing to a port nobody set.
std::int32_t portaSmtp(const QString& texto);
inline constexpr std::int32_t kPortaSmtpIlegivel = -1;

// The time-out of the connection on which LerConfiguracao reads ParamGeral.
inline constexpr std::int32_t kTimeoutParamGeral = 10;
