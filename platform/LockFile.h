#pragma once

#include <memory>
#include <string>

class QLockFile;

namespace platform {

// A lock file that keeps a second process from using what it guards: it
// holds the owner's process id, and one whose owner has died is taken over.
// Released when the object dies.
class LockFile {
public:
    enum class Outcome {
        Locked,
        HeldByAnother,
        // The file cannot be made here (a read-only folder); nobody holds it.
        Unavailable,
    };

    // `path`: CP1251, the lock file itself.
    explicit LockFile(const std::string& path);
    ~LockFile();

    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Does not wait for another holder.
    Outcome tryLock();

private:
    std::unique_ptr<QLockFile> lock;
};

} // namespace platform
