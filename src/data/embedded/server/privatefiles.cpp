#include "data/embedded/server/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace data::embedded {

namespace {

constexpr mode_t kOwnerFolder = S_IRWXU;
constexpr mode_t kOwnerFile = S_IRUSR | S_IWUSR;

}  // namespace

bool makePrivateFolder(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const QString parent = QFileInfo(clean).path();
    if (!parent.isEmpty() && !QFileInfo(parent).isDir() && !QDir().mkpath(parent)) return false;
    const QByteArray native = QFile::encodeName(clean);
    if (::mkdir(native.constData(), kOwnerFolder) == 0) {
        // A umask that takes bits from the owner would leave a folder the server cannot use.
        ::chmod(native.constData(), kOwnerFolder);
        return true;
    }
    // Made meanwhile by another program starting the same server: its mode stands.
    return errno == EEXIST && QFileInfo(clean).isDir();
}

void createPrivateFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    // O_EXCL: only a file made here gets the mode; one that appeared meanwhile is another's.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerFile);
    if (fd < 0) return;
    ::fchmod(fd, kOwnerFile);
    ::close(fd);
}

}  // namespace data::embedded
