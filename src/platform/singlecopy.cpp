#include "platform/singlecopy.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <unistd.h>

#include "platform/messagebox.h"
#include "platform/tempfolder.h"

namespace platform {

namespace {

QString fileNameOf(const QString& programName) {
    QString name = programName.isEmpty() ? appTitle() : programName;
    for (QChar& c : name) {
        if (c == u'/' || c == u'\\' || c == u'\0' || c.isSpace()) c = u'_';
    }
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) name = QStringLiteral("velmora");
    return name;
}

}  // namespace

SingleCopyLock::SingleCopyLock(const QString& programName, const QString& folder) {
    const QString name = fileNameOf(programName);
    QString dir = folder;
    QString fileName = name + QStringLiteral(".lock");
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty() || !QDir().mkpath(dir)) {
        // The temporary folder is shared by every user: the user's number keeps the lock per user.
        dir = tempFolder();
        fileName = name + u'-' + QString::number(::getuid()) + QStringLiteral(".lock");
    }
    path_ = dir + u'/' + fileName;
    lock_ = std::make_unique<QLockFile>(path_);
    // Only a dead holder makes a lock stale, never its age: the program runs for months.
    lock_->setStaleLockTime(0);
}

SingleCopyLock::~SingleCopyLock() = default;

bool SingleCopyLock::tryAcquire() {
    if (lock_->isLocked()) return true;
    return lock_->tryLock(0);
}

bool SingleCopyLock::isHeld() const { return lock_->isLocked(); }

void SingleCopyLock::release() {
    if (lock_->isLocked()) lock_->unlock();
}

}  // namespace platform
