#pragma once
// Display modes of the screen the program runs on: the sizes (and refresh rates) the X server's
// RandR extension offers for the default screen of $DISPLAY. Where there is no such screen (no
// X display, no RandR, or the program runs under Qt's offscreen or minimal platform, which has
// no screen of its own) there are no modes and nothing is changed, without an error.

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace platform {

// The display fields of the platform's device-mode record.
struct DisplayMode {
    std::uint32_t fields = 0;  // which of the fields below a change asks for (dm:: bits)
    std::uint32_t bitsPerPel = 0;
    std::uint32_t pelsWidth = 0;
    std::uint32_t pelsHeight = 0;
    std::uint32_t displayFlags = 0;
    std::uint32_t displayFrequency = 0;
};

namespace dm {
inline constexpr std::uint32_t BitsPerPel = 0x00040000;
inline constexpr std::uint32_t PelsWidth = 0x00080000;
inline constexpr std::uint32_t PelsHeight = 0x00100000;
inline constexpr std::uint32_t DisplayFrequency = 0x00400000;
}  // namespace dm

// Answers of changeDisplaySettings, as the platform numbers them.
namespace dispchange {
inline constexpr int Successful = 0;
inline constexpr int Failed = -1;
inline constexpr int BadMode = -2;
}  // namespace dispchange

// The display the services talk to: $DISPLAY, or empty when there is none to use (no $DISPLAY,
// or QT_QPA_PLATFORM names the offscreen or minimal platform).
QByteArray currentDisplayName();

// Every mode of the display, one per size and refresh rate, the current configuration's order
// kept; empty without a display.
std::vector<DisplayMode> displayModes();

// Switches the display to the mode's width and height (and refresh rate when the mode's fields
// ask for one) when the display offers that size; the change lasts for the X session only.
// Answers dispchange::Successful, BadMode for a size the display does not offer, or Failed
// when there is no display.
int changeDisplaySettings(const DisplayMode& mode);

}  // namespace platform
