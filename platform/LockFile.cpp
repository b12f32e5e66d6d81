#include "platform/LockFile.h"

#include "support/Cp1251.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// The lock is flock(2) on the open file. The kernel drops it when the last
// descriptor goes, so only a live holder refuses; what the file says is never
// read. On NFS, Linux carries flock over the network lock manager as a lock
// on the whole file, so hosts that share a folder see each other's locks, and
// a crashed host's lock lapses with its lease. Where the file system keeps no
// locks (NFS mounted without a lock manager), flock fails and the lock is
// unavailable here rather than silently local: the caller then looks for
// another place.
namespace platform {

namespace {

// A holder that ends removes the file while it still holds the lock. One that
// opened the old file just then locks a file nobody else will find, sees it,
// and opens the path again; a few rounds settle any such race.
constexpr int maxReopens = 8;

bool sameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

int openLockFile(const char* path) {
    // Never through a symbolic link: one planted in a shared folder would have
    // us write into whatever it names. Never waiting either: opening a FIFO
    // planted there would block until someone wrote to it.
    constexpr int flags = O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
    int fd = ::open(path, O_RDWR | O_CREAT | flags, 0644);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // A lock file that is there but not ours to write (another user's, or
        // in a folder made read-only since) still carries the lock.
        fd = ::open(path, O_RDONLY | flags);
    }
    return fd;
}

} // namespace

LockFile::LockFile(std::filesystem::path path)
    : file(std::move(path)) {}

LockFile::~LockFile() {
    if (fd < 0) {
        return;
    }
    // Removed while still held, and only if the name is still this file.
    struct stat held {};
    struct stat named {};
    if (::fstat(fd, &held) == 0 && ::lstat(file.c_str(), &named) == 0 && sameFile(held, named)) {
        ::unlink(file.c_str());
    }
    ::close(fd);
}

std::string LockFile::path() const {
    return kestrune::text::fromUtf8(file.native());
}

LockFile::Outcome LockFile::tryLock() {
    if (fd >= 0) {
        return Outcome::Locked;
    }
    for (int attempt = 0; attempt < maxReopens; ++attempt) {
        bool replacedMeanwhile = false;
        const Outcome outcome = tryLockOnce(replacedMeanwhile);
        if (!replacedMeanwhile) {
            return outcome;
        }
    }
    // The file keeps being replaced under us: others are at it.
    return Outcome::HeldByAnother;
}

LockFile::Outcome LockFile::tryLockOnce(bool& replacedMeanwhile) {
    const int opened = openLockFile(file.c_str());
    if (opened < 0) {
        return Outcome::Unavailable;
    }
    struct stat held {};
    if (::fstat(opened, &held) != 0 || !S_ISREG(held.st_mode)) {
        ::close(opened);
        return Outcome::Unavailable;
    }
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        ::close(opened);
        return reason == EWOULDBLOCK ? Outcome::HeldByAnother : Outcome::Unavailable;
    }
    struct stat named {};
    if (::lstat(file.c_str(), &named) != 0 || !sameFile(held, named)) {
        ::close(opened);
        replacedMeanwhile = true;
        return Outcome::Unavailable;
    }
    fd = opened;
    writeOwner(held);
    return Outcome::Locked;
}

void LockFile::writeOwner(const struct stat& held) const {
    // A file with other names elsewhere (a hard link) is not ours to rewrite.
    if (held.st_nlink != 1) {
        return;
    }
    char host[HOST_NAME_MAX + 1] = {};
    ::gethostname(host, sizeof host - 1);
    const std::string owner = std::to_string(::getpid()) + '\n' + host + '\n';
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const auto written = ::pwrite(fd, owner.data(), owner.size(), 0);
    }
}

} // namespace platform
