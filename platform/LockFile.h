#pragma once

#include <filesystem>
#include <string>

struct stat;

namespace platform {

// A lock file that keeps a second process from using what it guards. The lock
// is the kernel's, on the open file, not the file's content: it lasts while
// the holder lives and goes with it however it dies, so a file left behind by
// a crash, a power loss or another host never refuses anyone. The file holds
// the holder's process id and host name, for a person to read. Released, and
// the file removed, when the object dies.
class LockFile {
public:
    enum class Outcome {
        Locked,
        HeldByAnother,
        // No lock can be had here: the folder is read-only or missing, the
        // path is no plain file, or the file system keeps no locks.
        Unavailable,
    };

    // `path`: the lock file itself, as the system names it.
    explicit LockFile(std::filesystem::path path);
    ~LockFile();

    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Does not wait for another holder.
    Outcome tryLock();

    // CP1251, for showing.
    std::string path() const;

private:
    Outcome tryLockOnce(bool& replacedMeanwhile);
    void writeOwner(const struct stat& held) const;

    std::filesystem::path file;
    int fd = -1;
};

} // namespace platform
