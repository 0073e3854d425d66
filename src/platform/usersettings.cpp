#include "platform/usersettings.h"

#include <QMutex>
#include <QSettings>
#include <QStringList>
#include <QUrl>
#include <memory>

namespace platform {

namespace {

QMutex g_lock;
QString g_overridePath;

std::unique_ptr<QSettings> openStore() {
    if (!g_overridePath.isEmpty()) return std::make_unique<QSettings>(g_overridePath, QSettings::NativeFormat);
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("velmora"),
                                       QStringLiteral("usersettings"));
}

// One level of the store's key path: folded to lower case (names match without case) and with
// "/" and "\" escaped, so that a name can never reach into another level.
QString level(const QString& name) { return QString::fromLatin1(QUrl::toPercentEncoding(name.toLower())); }

QString keyPath(const QString& appName, const QString& section, const QString& key) {
    return level(appName) + u'/' + level(section) + u'/' + level(key);
}

}  // namespace

QString GetSetting(const QString& appName, const QString& section, const QString& key, const QString& defaultText) {
    if (appName.isEmpty() || section.isEmpty() || key.isEmpty()) return defaultText;
    const QMutexLocker guard(&g_lock);
    const auto settings = openStore();
    const QVariant v = settings->value(keyPath(appName, section, key));
    if (!v.isValid()) return defaultText;
    // A value edited by hand as "a, b" reads as a list.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

void SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value) {
    if (appName.isEmpty() || section.isEmpty() || key.isEmpty()) return;
    const QMutexLocker guard(&g_lock);
    const auto settings = openStore();
    settings->setValue(keyPath(appName, section, key), value);
    settings->sync();
}

void DeleteSetting(const QString& appName, const QString& section, const QString& key) {
    // A key without its section names nothing; it must not widen into the whole application.
    if (appName.isEmpty() || (section.isEmpty() && !key.isEmpty())) return;
    const QMutexLocker guard(&g_lock);
    const auto settings = openStore();
    if (section.isEmpty()) {
        settings->remove(level(appName));
    } else if (key.isEmpty()) {
        settings->remove(level(appName) + u'/' + level(section));
    } else {
        settings->remove(keyPath(appName, section, key));
    }
    settings->sync();
}

QString userSettingsFile() {
    const QMutexLocker guard(&g_lock);
    return openStore()->fileName();
}

void setUserSettingsFile(const QString& path) {
    const QMutexLocker guard(&g_lock);
    g_overridePath = path;
}

}  // namespace platform
