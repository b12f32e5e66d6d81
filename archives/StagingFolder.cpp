#include "archives/StagingFolder.h"

#include "archives/UnpackError.h"
#include "engine/Download.h"
#include "support/Cp1251.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tolvenka::archives {

namespace {

// Small pieces are gathered into blocks this large before they are
// written; a piece of `directWrite` bytes or more goes out as it is.
constexpr std::size_t writeBlock = 1u << 20;
constexpr std::size_t directWrite = 64u << 10;
// Renames that lose a race for a free name are tried again this often.
constexpr int placingTries = 100;

std::string shown(const std::string& utf8) {
    return kestrune::text::fromUtf8(utf8);
}

void closeDescriptor(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool isTakenIn(int folderFd, const std::string& name) {
    struct stat status {};
    return ::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

// Renames without replacing anything; where the file system cannot tell
// (no RENAME_NOREPLACE), a look first has to do.
int renameWithoutReplacing(int fromFd, const std::string& from, int toFd, const std::string& to) {
    if (::renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (isTakenIn(toFd, to)) {
        return EEXIST;
    }
    return ::renameat(fromFd, from.c_str(), toFd, to.c_str()) == 0 ? 0 : errno;
}

// Runs `make`, and once more after removing what stands at `name`, where
// an earlier entry of the same name was written (later entries win, as
// archives mean them to).
template <typename Make>
int makeReplacing(int folderFd, const std::string& name, Make make) {
    if (make() == 0) {
        return 0;
    }
    if (errno != EEXIST) {
        return errno;
    }
    if (::unlinkat(folderFd, name.c_str(), 0) != 0) {
        return errno == EISDIR ? EEXIST : errno;
    }
    return make() == 0 ? 0 : errno;
}

} // namespace

StagingFolder::File::File(int fd, std::string entry, std::int64_t modifiedAt)
    : fd(fd)
    , entry(std::move(entry))
    , modifiedAt(modifiedAt) {}

StagingFolder::File::File(File&& other) noexcept
    : fd(std::exchange(other.fd, -1))
    , entry(std::move(other.entry))
    , modifiedAt(other.modifiedAt)
    , buffer(std::move(other.buffer))
    , bufferStart(other.bufferStart)
    , written(other.written) {}

StagingFolder::File::~File() {
    closeDescriptor(fd);
}

void StagingFolder::File::write(const void* data, std::size_t size, std::int64_t offset) {
    if (offset != bufferStart + static_cast<std::int64_t>(buffer.size())) {
        flush();
        bufferStart = offset;
    }
    if (size >= directWrite) {
        // A large block goes out as it is, without a copy.
        flush();
        writeAt(static_cast<const char*>(data), size, offset);
        bufferStart = offset + static_cast<std::int64_t>(size);
        return;
    }
    if (buffer.capacity() < writeBlock) {
        buffer.reserve(writeBlock);
    }
    buffer.append(static_cast<const char*>(data), size);
    if (buffer.size() >= writeBlock) {
        flush();
    }
}

void StagingFolder::File::flush() {
    writeAt(buffer.data(), buffer.size(), bufferStart);
    bufferStart += static_cast<std::int64_t>(buffer.size());
    buffer.clear();
}

void StagingFolder::File::writeAt(const char* bytes, std::size_t size, std::int64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, bytes + done, size - done,
                                   static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw UnpackError::cannotWrite(n < 0 ? errno : ENOSPC, entry);
        }
        done += static_cast<std::size_t>(n);
    }
    written = std::max(written, offset + static_cast<std::int64_t>(size));
}

void StagingFolder::File::finish(std::int64_t length) {
    flush();
    // A sparse entry may end in a hole that no write reached.
    if (written < length && ::ftruncate(fd, length) != 0) {
        throw UnpackError::cannotWrite(errno, entry);
    }
    if (modifiedAt >= 0) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(modifiedAt), 0}};
        ::futimens(fd, times);
    }
    const int result = ::close(std::exchange(fd, -1));
    if (result != 0 && errno != EINTR) {
        throw UnpackError::cannotWrite(errno, entry);
    }
}

StagingFolder::StagingFolder(const std::string& targetFolder)
    : target(targetFolder.empty() ? "." : targetFolder) {
    std::error_code error;
    std::filesystem::create_directories(target, error);
    targetFd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (targetFd < 0) {
        throw UnpackError::cannotWrite(error ? error.value() : errno, shown(target));
    }
    std::string pattern = target + "/" + namePrefix + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        const int cause = errno;
        closeDescriptor(targetFd);
        throw UnpackError::cannotWrite(cause, shown(target));
    }
    name = pattern.substr(pattern.rfind('/') + 1);
    fd = ::openat(targetFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int cause = errno;
        removeAll();
        closeDescriptor(targetFd);
        throw UnpackError::cannotWrite(cause, shown(target));
    }
}

StagingFolder::~StagingFolder() {
    if (!placed) {
        removeAll();
    }
    closeDescriptor(lastParentFd);
    closeDescriptor(fd);
    closeDescriptor(targetFd);
}

void StagingFolder::removeAll() {
    closeDescriptor(lastParentFd);
    lastParentPath.clear();
    std::error_code ignored;
    std::filesystem::remove_all(target + "/" + name, ignored);
}

int StagingFolder::openFolderPath(const std::vector<std::string>& components, std::size_t count,
                                  bool create) {
    int current = ::dup(fd);
    for (std::size_t i = 0; i < count && current >= 0; ++i) {
        const char* part = components[i].c_str();
        int next = ::openat(current, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(current, part, 0777) == 0 || errno == EEXIST) {
                next = ::openat(current, part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            }
        }
        const int cause = errno;
        ::close(current);
        if (next < 0) {
            std::string path;
            for (std::size_t j = 0; j <= i; ++j) {
                path += (j == 0 ? "" : "/") + components[j];
            }
            // A link in the way is never followed; anything else that is
            // not a folder cannot take the entry.
            if (cause == ELOOP) {
                throw UnpackError::throughLink(shown(path));
            }
            throw UnpackError::cannotWrite(cause, shown(path));
        }
        current = next;
    }
    if (current < 0) {
        throw UnpackError::cannotWrite(errno, shown(target));
    }
    return current;
}

int StagingFolder::parentOf(const PlannedEntry& entry) {
    const std::size_t depth = entry.components.size() - 1;
    if (depth == 0) {
        return fd;
    }
    std::string path;
    for (std::size_t i = 0; i < depth; ++i) {
        path += (i == 0 ? "" : "/") + entry.components[i];
    }
    if (path != lastParentPath || lastParentFd < 0) {
        closeDescriptor(lastParentFd);
        lastParentFd = openFolderPath(entry.components, depth, true);
        lastParentPath = path;
    }
    return lastParentFd;
}

void StagingFolder::makeFolder(const PlannedEntry& entry) {
    ::close(openFolderPath(entry.components, entry.components.size(), true));
}

StagingFolder::File StagingFolder::createFile(const PlannedEntry& entry) {
    const int parent = parentOf(entry);
    const std::string& leaf = entry.components.back();
    int file = -1;
    const int error = makeReplacing(parent, leaf, [&] {
        file = ::openat(parent, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        static_cast<mode_t>(entry.permissions));
        return file >= 0 ? 0 : -1;
    });
    if (error != 0) {
        throw UnpackError::cannotWrite(error, shown(entry.path()));
    }
    return File(file, shown(entry.path()), entry.modifiedAt);
}

void StagingFolder::makeSymlink(const PlannedEntry& entry) {
    const int parent = parentOf(entry);
    const std::string& leaf = entry.components.back();
    const int error = makeReplacing(
        parent, leaf, [&] { return ::symlinkat(entry.linkTarget.c_str(), parent, leaf.c_str()); });
    if (error != 0) {
        throw UnpackError::cannotWrite(error, shown(entry.path()));
    }
}

void StagingFolder::makeHardLink(const PlannedEntry& entry) {
    std::vector<std::string> targetComponents;
    for (std::size_t start = 0; start <= entry.linkTarget.size();) {
        const std::size_t slash =
            std::min(entry.linkTarget.find('/', start), entry.linkTarget.size());
        targetComponents.push_back(entry.linkTarget.substr(start, slash - start));
        start = slash + 1;
    }
    const int targetParent = openFolderPath(targetComponents, targetComponents.size() - 1, false);
    const int parent = parentOf(entry);
    const std::string& leaf = entry.components.back();
    const int error = makeReplacing(parent, leaf, [&] {
        return ::linkat(targetParent, targetComponents.back().c_str(), parent, leaf.c_str(), 0);
    });
    ::close(targetParent);
    if (error != 0) {
        throw UnpackError::cannotWrite(error, shown(entry.path()));
    }
}

std::string StagingFolder::freeName(const std::string& wanted, bool isFolder) const {
    // A file's name is also taken while a download may be writing it.
    const auto taken = [&](const std::string& candidate) {
        return isTakenIn(targetFd, candidate) ||
               (!isFolder && isTakenIn(targetFd, candidate + ".part"));
    };
    if (!isFolder) {
        return Download::firstFreePath(wanted, taken);
    }
    if (!taken(wanted)) {
        return wanted;
    }
    for (std::uint64_t number = 1;; ++number) {
        std::string candidate = wanted + " (" + std::to_string(number) + ")";
        if (!taken(candidate)) {
            return candidate;
        }
    }
}

std::string StagingFolder::place(const std::set<std::string>& topNames,
                                 const std::string& folderName) {
    closeDescriptor(lastParentFd);
    lastParentPath.clear();
    if (topNames.empty()) {
        removeAll();
        placed = true;
        return {};
    }
    const bool single = topNames.size() == 1;
    const std::string wanted = single ? *topNames.begin() : folderName;
    struct stat status {};
    const bool isFolder =
        !single || (::fstatat(fd, wanted.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISDIR(status.st_mode));
    for (int attempt = 0; attempt < placingTries; ++attempt) {
        const std::string free = freeName(wanted, isFolder);
        const int error = single ? renameWithoutReplacing(fd, wanted, targetFd, free)
                                 : renameWithoutReplacing(targetFd, name, targetFd, free);
        if (error == EEXIST) {
            continue;
        }
        if (error != 0) {
            throw UnpackError::cannotWrite(error, shown(target + "/" + free));
        }
        placed = true;
        if (single) {
            // Empty now: what it held has its place.
            ::unlinkat(targetFd, name.c_str(), AT_REMOVEDIR);
        }
        return target + "/" + free;
    }
    throw UnpackError::cannotWrite(EEXIST, shown(target + "/" + wanted));
}

void StagingFolder::removeLeftovers(const std::string& targetFolder) {
    const std::string folder = targetFolder.empty() ? "." : targetFolder;
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return;
    }
    std::vector<std::string> leftovers;
    while (const dirent* item = ::readdir(listing)) {
        const std::string itemName = item->d_name;
        if (itemName.starts_with(namePrefix)) {
            leftovers.push_back(itemName);
        }
    }
    ::closedir(listing);
    for (const std::string& leftover : leftovers) {
        const std::string path = folder + "/" + leftover;
        const int held = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (held < 0) {
            continue;
        }
        // The lock of a running unpacking keeps its folder.
        if (::flock(held, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
        ::close(held);
    }
}

} // namespace tolvenka::archives
