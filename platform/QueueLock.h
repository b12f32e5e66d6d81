#pragma once

#include "platform/LockFile.h"

#include <filesystem>
#include <string>

namespace platform {

// The lock that lets one program at a time use a queue file. It lies beside
// the file the queue's path ends at, so a symbolic link is locked by the file
// it points to and two folders that link one queue cannot both run it. Where
// no lock can be made there (a read-only folder), it lies in the user's
// runtime folder, named after the queue.
class QueueLock {
public:
    // `queueFile`: CP1251. `runtimeFolder`: empty where there is none.
    QueueLock(const std::string& queueFile, const std::filesystem::path& runtimeFolder);

    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;

    // Does not wait for another holder.
    LockFile::Outcome tryLock();
    // Waits up to `timeoutMs` for another holder to let go, trying every
    // moment; none at all for 0.
    LockFile::Outcome tryLockWithin(int timeoutMs);

    // CP1251: the lock file tried last, the one held or the one another
    // program holds.
    std::string path() const;

private:
    LockFile beside;
    LockFile inRuntimeFolder;
    bool runtimeFolderTried = false;
};

// What a queue is known by among the user's processes: a fixed prefix and a
// hash of the canonical path of the file it ends at. Short enough for a local
// socket's name, whatever the path.
std::string queueName(const std::string& queueFile);

// The user's private folder for sockets and locks, or empty where there is
// none.
std::filesystem::path userRuntimeFolder();

} // namespace platform
