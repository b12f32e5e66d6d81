#include "platform/LockFile.h"

#include "support/Cp1251.h"

#include <QLockFile>
#include <QString>

namespace platform {

LockFile::LockFile(const std::string& path)
    : lock(std::make_unique<QLockFile>(QString::fromStdString(kestrune::text::toUtf8(path)))) {
    // A live owner holds the lock however long it runs; only a dead owner's
    // lock is stale.
    lock->setStaleLockTime(0);
}

LockFile::~LockFile() = default;

LockFile::Outcome LockFile::tryLock() {
    if (lock->tryLock(0)) {
        return Outcome::Locked;
    }
    return lock->error() == QLockFile::LockFailedError ? Outcome::HeldByAnother
                                                       : Outcome::Unavailable;
}

} // namespace platform
