#pragma once
// The per-user settings store: text values kept by application, section and key. Names are
// compared without regard to case, as the system's store always did. On Linux the store is
// Qt's native settings file under the user's configuration folder ("velmora/usersettings.conf").

#include <QString>

namespace platform {

// The stored value, or defaultText when there is none (or a name is empty).
QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultText = QString());

// Stores the value; nothing happens when a name is empty.
void SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value);

// Deletes one key, or with an empty key the whole section, or with an empty section (and key) every
// setting of the application. Deleting what does not exist does nothing.
void DeleteSetting(const QString& appName, const QString& section = QString(), const QString& key = QString());

// The file of the store; pointing it elsewhere (an empty path restores the default) serves tests.
QString userSettingsFile();
void setUserSettingsFile(const QString& path);

}  // namespace platform
