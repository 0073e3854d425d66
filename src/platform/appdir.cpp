#include "platform/appdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

QString appFolder() {
    QString folder;
    if (QCoreApplication::instance() != nullptr) {
        folder = QCoreApplication::applicationDirPath();
    } else {
        // Before the application object exists Qt cannot say; the kernel can.
        const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
        if (!exe.isEmpty()) folder = QFileInfo(exe).absolutePath();
    }
    if (folder.isEmpty()) folder = QDir::currentPath();
    return QDir::fromNativeSeparators(folder);
}

QString iniPath(const QString& fileName) {
    const QString folder = appFolder();
    return folder.endsWith(u'/') ? folder + fileName : folder + u'/' + fileName;
}

}  // namespace platform
