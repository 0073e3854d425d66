#include "platform/sysinfo.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <QFile>
#include <QUuid>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

std::mutex gHooksMutex;
FolderBrowserHook& folderBrowserHook() {
    static FolderBrowserHook h;
    return h;
}
BeepHook& beepHook() {
    static BeepHook h;
    return h;
}

}  // namespace

std::optional<QString> computerName() {
    std::array<char, 256> buffer{};
    if (gethostname(buffer.data(), buffer.size()) != 0) return std::nullopt;
    // A name that filled the buffer may have lost its end without an error being reported.
    if (std::memchr(buffer.data(), '\0', buffer.size()) == nullptr) return std::nullopt;
    return QString::fromLocal8Bit(buffer.data());
}

std::optional<std::uint64_t> totalFreeBytes(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(0))) return std::nullopt;
    const QByteArray native = QFile::encodeName(path);
    struct statvfs st {};
    int rc = 0;
    do {
        rc = statvfs(native.constData(), &st);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return std::nullopt;
    const std::uint64_t unit = st.f_frsize != 0 ? st.f_frsize : st.f_bsize;
    return static_cast<std::uint64_t>(st.f_bfree) * unit;
}

QString newGuid() { return QUuid::createUuid().toString(QUuid::WithBraces).toUpper(); }

void setFolderBrowserHook(FolderBrowserHook hook) {
    std::lock_guard lock(gHooksMutex);
    folderBrowserHook() = std::move(hook);
}

QString browseForFolder(std::int32_t owner, const QString& prompt) {
    FolderBrowserHook hook;
    {
        std::lock_guard lock(gHooksMutex);
        hook = folderBrowserHook();
    }
    return hook ? hook(owner, prompt) : QString();
}

void setBeepHook(BeepHook hook) {
    std::lock_guard lock(gHooksMutex);
    beepHook() = std::move(hook);
}

void beep(std::int32_t frequency, std::int32_t duration) {
    BeepHook hook;
    {
        std::lock_guard lock(gHooksMutex);
        hook = beepHook();
    }
    if (hook) hook(frequency, duration);
}

}  // namespace platform
