#pragma once
// The widget side of the small system services: the folder picker (a Qt folder dialog) and the
// beep (the X bell, or the Qt beep). The windowed program installs both at start-up; where nobody can see a
// dialog (Qt's offscreen or minimal platform, or no widget application) the picker answers ""
// at once instead of waiting for an answer that never comes.

#include <QString>
#include <cstdint>

namespace platform {

// Installs qtBrowseForFolder and qtBeep as the folder-picker and beep hooks; removeQtSystemHooks
// takes them away again (before the application object goes).
void installQtSystemHooks();
void removeQtSystemHooks();

// A modal folder dialog over the owner window (a native window id; 0 or an unknown id gives a
// dialog without owner), titled with the prompt, folders only. "" when cancelled or when no
// dialog can be shown.
QString qtBrowseForFolder(std::int32_t owner, const QString& prompt);

// The platform beep: on an X display the keyboard bell at that pitch and length (see
// xkeyboard.h), elsewhere Qt's beep, which has neither. A pitch outside 37..32767 Hz or a
// length of no time sounds nothing, as the platform's beep refuses them.
void qtBeep(std::int32_t frequency, std::int32_t duration);

}  // namespace platform
