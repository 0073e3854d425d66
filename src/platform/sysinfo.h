#pragma once
// Small system services: the computer's name, free disk space, new unique identifiers, the
// folder picker and the beep. The picker and the beep need widgets, so the windowed program
// installs them as hooks at start-up (see platform/gui/qtsystemhooks.h); without a hook the
// picker chooses nothing and the beep is silent, as for an unattended run nobody can answer.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace platform {

// The computer's network name (gethostname); nothing when it cannot be read or does not fit
// the platform's 256-character name buffer.
std::optional<QString> computerName();

// The free bytes of the volume that holds the path (all free blocks, also those reserved for
// the administrator); nothing when the path cannot be examined.
std::optional<std::uint64_t> totalFreeBytes(const QString& path);

// A new globally unique identifier in its registry form: 38 characters, upper-case
// hexadecimal in groups of 8-4-4-4-12 between braces.
QString newGuid();

// The folder picker: owner window, instruction text; answers the chosen folder or "".
using FolderBrowserHook = std::function<QString(std::int32_t owner, const QString& prompt)>;
void setFolderBrowserHook(FolderBrowserHook hook);  // an empty hook removes it
QString browseForFolder(std::int32_t owner, const QString& prompt);

// The beep: frequency in hertz, duration in milliseconds (the windowed program rings the X bell
// at both; a host without one may ignore them).
using BeepHook = std::function<void(std::int32_t frequency, std::int32_t duration)>;
void setBeepHook(BeepHook hook);  // an empty hook removes it
void beep(std::int32_t frequency, std::int32_t duration);

}  // namespace platform
