// Alert of EDiv: the choice dialog, reached through the hook of util/alert.h.

#include <exception>
#include <mutex>

#include "util/EDiv.h"
#include "util/alert.h"

std::int16_t& gintRespostaAlert() {
    static std::int16_t answer = 0;
    return answer;
}

namespace util {

namespace {

std::mutex& hookMutex() {
    static std::mutex m;
    return m;
}

AlertDialogHook& hookSlot() {
    static AlertDialogHook hook;
    return hook;
}

}  // namespace

void setAlertDialogHook(AlertDialogHook hook) {
    const std::lock_guard<std::mutex> lock(hookMutex());
    hookSlot() = std::move(hook);
}

bool hasAlertDialogHook() {
    const std::lock_guard<std::mutex> lock(hookMutex());
    return static_cast<bool>(hookSlot());
}

}  // namespace util

std::int16_t EDiv::Alert(const QString& Titulo, const std::vector<Variant>& Opcoes) {
    util::AlertDialogHook hook;
    {
        const std::lock_guard<std::mutex> lock(util::hookMutex());
        hook = util::hookSlot();
    }
    // An unattended program has nobody to ask: that is a cancel, never an earlier answer.
    if (!hook) {
        gintRespostaAlert() = 0;
        return 0;
    }
    // The dialog's own failures are passed over; the answer is what it left behind.
    try {
        hook(Titulo, Opcoes);
    } catch (const std::exception&) {
    }
    return gintRespostaAlert();
}
