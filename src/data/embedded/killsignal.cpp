#include "data/embedded/killsignal.h"

#include <QDir>
#include <QHash>
#include <atomic>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace data::embedded {

namespace {

constexpr off_t kSize = sizeof(std::uint64_t);

std::mutex& mapsMutex() {
    static std::mutex m;
    return m;
}

QHash<QString, std::weak_ptr<KillSignal>>& maps() {
    static QHash<QString, std::weak_ptr<KillSignal>> m;
    return m;
}

}  // namespace

std::shared_ptr<KillSignal> KillSignal::forFolder(const QString& folder) {
    const QString key = QDir(folder).absolutePath();
    std::lock_guard<std::mutex> lock(mapsMutex());
    if (auto existing = maps().value(key).lock()) return existing;
    const QByteArray path = QDir(key).filePath(QStringLiteral("tsql_kills")).toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    struct stat st {};
    // Programs starting together may both find the file new; growing it to the counter's size
    // twice is harmless, shrinking never happens.
    if (::fstat(fd, &st) != 0 || (st.st_size < kSize && ::ftruncate(fd, kSize) != 0)) {
        ::close(fd);
        return nullptr;
    }
    void* p = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return nullptr;
    std::shared_ptr<KillSignal> s(new KillSignal(static_cast<std::uint64_t*>(p)));
    maps().insert(key, s);
    return s;
}

KillSignal::~KillSignal() { ::munmap(word_, kSize); }

std::uint64_t KillSignal::value() const { return std::atomic_ref<std::uint64_t>(*word_).load(std::memory_order_acquire); }

void KillSignal::raise() { std::atomic_ref<std::uint64_t>(*word_).fetch_add(1, std::memory_order_acq_rel); }

}  // namespace data::embedded
