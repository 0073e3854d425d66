#include "data/embedded/server/serversignals.h"

#include <QDir>
#include <QHash>
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data/embedded/server/privatefiles.h"

namespace data::embedded {

namespace {

constexpr off_t kSize = 3 * sizeof(std::uint64_t);

std::mutex& mapsMutex() {
    static std::mutex m;
    return m;
}

QHash<QString, std::weak_ptr<ServerSignals>>& maps() {
    static QHash<QString, std::weak_ptr<ServerSignals>> m;
    return m;
}

}  // namespace

std::shared_ptr<ServerSignals> ServerSignals::forFolder(const QString& folder) {
    const QString key = QDir(folder).absolutePath();
    std::lock_guard<std::mutex> lock(mapsMutex());
    if (auto existing = maps().value(key).lock()) return existing;
    const QByteArray path = QDir(key).filePath(QStringLiteral("tsql_signals")).toLocal8Bit();
    createPrivateFile(QString::fromLocal8Bit(path));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    struct stat st {};
    // Programs starting together may both find the file new; growing it to the counters' size
    // twice is harmless, shrinking never happens.
    if (::fstat(fd, &st) != 0 || (st.st_size < kSize && ::ftruncate(fd, kSize) != 0)) {
        ::close(fd);
        return nullptr;
    }
    void* p = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return nullptr;
    std::shared_ptr<ServerSignals> s(new ServerSignals(static_cast<std::uint64_t*>(p)));
    maps().insert(key, s);
    return s;
}

ServerSignals::~ServerSignals() { ::munmap(words_, kSize); }

std::uint64_t ServerSignals::value(Counter c) const {
    return std::atomic_ref<std::uint64_t>(words_[c]).load(std::memory_order_acquire);
}

void ServerSignals::raise(Counter c) { std::atomic_ref<std::uint64_t>(words_[c]).fetch_add(1, std::memory_order_acq_rel); }

void catalogueChanged(const QString& folder) {
    if (auto s = ServerSignals::forFolder(folder)) s->raise(ServerSignals::Catalogue);
}

}  // namespace data::embedded
