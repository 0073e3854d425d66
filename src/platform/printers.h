#pragma once
// Printers: the print destinations of the CUPS server the user's client configuration names
// (CUPS_SERVER, client.conf, or the local scheduler), with the user's own defaults (lpoptions)
// over the server's. A missing server, printer or setting never blocks: the connection and each
// request give up after a few seconds.

#include <QString>
#include <cstdint>
#include <optional>

namespace platform {

// Paper-size codes of the platform's device-mode record that the system names (every standard
// code from 1 to 118 is answered; see paperSizeCode).
namespace paper {
inline constexpr std::int16_t Letter = 1;
inline constexpr std::int16_t Tabloid = 3;
inline constexpr std::int16_t A4 = 9;
inline constexpr std::int16_t A5 = 11;
inline constexpr std::int16_t Letter8_5x12 = 40;
inline constexpr std::int16_t Other = 256;
}  // namespace paper

namespace orientation {
inline constexpr std::int16_t Portrait = 1;
inline constexpr std::int16_t Landscape = 2;
}  // namespace orientation

struct PrinterPaper {
    std::int16_t paperSize = paper::Other;
    std::int16_t orientation = orientation::Portrait;
};

// The default paper and orientation of the named destination ("name" or "name/instance");
// nothing when there is no such destination or no server to ask.
std::optional<PrinterPaper> printerPaper(const QString& name);

// The platform's paper-size code of a sheet of the given width and length (as fed) in hundredths
// of millimetres, within a millimetre; paper::Other for a size no standard code names (a custom
// size). A sheet given sideways answers the platform's "rotated" code where there is one, and a
// sheet the platform only knows sideways answers its code either way up.
std::int16_t paperSizeCode(int widthHundredthsMm, int lengthHundredthsMm);

// The paper-size code of a media name in any of the forms CUPS uses: the standard self-describing
// names ("iso_a4_210x297mm"), the classic names ("A4", "Letter"), custom sizes
// ("Custom.8.5x12in"), or a list of media keywords ("A4,tray-1"). paper::Other when unknown.
std::int16_t paperSizeCodeOfMedia(const QString& media);

// The orientation code of an IPP orientation-requested value (3 portrait, 4 landscape,
// 5 reverse landscape, 6 reverse portrait).
std::int16_t orientationCode(int orientationRequested);

}  // namespace platform
