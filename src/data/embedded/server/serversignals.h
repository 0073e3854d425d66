#pragma once
// Counters every program sharing a server folder sees in shared memory. A KILL raises one after
// marking its victim in the process list, a change of a database's catalogue entry (dropped,
// restored, made read-only or offline) the other; a connection learns that it may have to look
// again from one load of memory instead of a system call or a query before each statement.

#include <QString>
#include <cstdint>
#include <memory>

namespace data::embedded {

class ServerSignals {
public:
    // Holds: raised whenever a connection starts or stops holding a table without the file's
    // write lock (AdminState::holdTable).
    enum Counter { Kills = 0, Catalogue = 1, Holds = 2 };

    // The counters of the server whose folder is given, mapped once per process and folder;
    // null when their file cannot be made or mapped (a read-only folder), in which case callers
    // look every time.
    static std::shared_ptr<ServerSignals> forFolder(const QString& folder);
    ~ServerSignals();
    ServerSignals(const ServerSignals&) = delete;
    ServerSignals& operator=(const ServerSignals&) = delete;

    std::uint64_t value(Counter c) const;
    void raise(Counter c);

private:
    explicit ServerSignals(std::uint64_t* words) : words_(words) {}
    std::uint64_t* words_;
};

// Raises the catalogue counter of a server folder, when it can be had.
void catalogueChanged(const QString& folder);

}  // namespace data::embedded
