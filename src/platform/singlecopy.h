#pragma once
// The previous-instance test: a per-user lock file, named after the program, in the user's
// runtime folder (the temporary folder when there is none). The copy that holds it keeps it
// for the life of the lock object; the lock of a copy that died is taken over.

#include <QString>
#include <memory>

class QLockFile;

namespace platform {

class SingleCopyLock {
public:
    // programName: the name the lock file is made from (appTitle() when empty);
    // folder: where the lock file lives (the runtime folder when empty).
    explicit SingleCopyLock(const QString& programName = QString(), const QString& folder = QString());
    ~SingleCopyLock();
    SingleCopyLock(const SingleCopyLock&) = delete;
    SingleCopyLock& operator=(const SingleCopyLock&) = delete;

    // Tries to take the lock without waiting; true when this object holds it (already or now).
    bool tryAcquire();
    // True when another holder (another copy of the program) has the lock.
    bool isAnotherCopyRunning() { return !tryAcquire(); }
    bool isHeld() const;
    // Gives the lock up before the object ends.
    void release();

    QString lockFilePath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace platform
