#pragma once
// A counter every program sharing a server folder sees in shared memory: a KILL raises it after
// marking its victim in the process list, so a connection learns that it may have been killed
// from one load of memory instead of a system call before each statement.

#include <QString>
#include <cstdint>
#include <memory>

namespace data::embedded {

class KillSignal {
public:
    // The counter of the server whose folder is given, mapped once per process and folder;
    // null when its file cannot be made or mapped (a read-only folder), in which case callers
    // watch the process list's file instead.
    static std::shared_ptr<KillSignal> forFolder(const QString& folder);
    ~KillSignal();
    KillSignal(const KillSignal&) = delete;
    KillSignal& operator=(const KillSignal&) = delete;

    std::uint64_t value() const;
    void raise();

private:
    explicit KillSignal(std::uint64_t* word) : word_(word) {}
    std::uint64_t* word_;
};

}  // namespace data::embedded
