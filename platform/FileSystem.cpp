#include "platform/FileSystem.h"

#include "platform/FileOutput.h"
#include "platform/PlainFileReader.h"
#include "support/Cp1251.h"

#include <QFile>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio> // renameat2
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

namespace {

std::filesystem::path systemPath(const std::string& path) {
    return std::filesystem::path(kestrune::text::toUtf8(path));
}

void syncFolderContaining(const std::filesystem::path& file) {
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Follows symbolic links to the file they end at, so that a save replaces
// what a link points to and the link stays a link.
std::filesystem::path withoutLinks(std::filesystem::path path) {
    constexpr int maxHops = 40; // as the system's own limit on link chains
    std::error_code error;
    for (int hop = 0; hop < maxHops && std::filesystem::is_symlink(path, error); ++hop) {
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) {
            break;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

constexpr std::string_view temporaryInfix = ".tmp-";
constexpr std::size_t temporaryRandomLength = 6; // mkstemp's XXXXXX

bool isTemporaryOf(const std::string& name, const std::string& fileName) {
    const std::string prefix = fileName + std::string(temporaryInfix);
    return name.size() == prefix.size() + temporaryRandomLength && name.starts_with(prefix) &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// A file the user made read-only is left alone, even by a user whom the
// system would let write it.
bool isWritable(const std::filesystem::path& file, const struct stat& status) {
    return ::access(file.c_str(), W_OK) == 0 && (status.st_mode & 0222) != 0;
}

bool makeFolder(const std::filesystem::path& folder, int* error) {
    if (folder.empty()) {
        return true;
    }
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    std::error_code ignored;
    if (std::filesystem::is_directory(folder, ignored)) {
        return true;
    }
    if (error != nullptr) {
        *error = failure ? failure.value() : ENOTDIR;
    }
    return false;
}

// Opened to be looked at, never through a symbolic link and never waiting
// (a FIFO planted under the name would block an open for reading).
int openPlainFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat status {};
    if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool carriesMark(int fd, const std::string& name, std::string_view value) {
    // One byte more than the value: a longer mark is another one.
    std::string held(value.size() + 1, '\0');
    const ssize_t size = ::fgetxattr(fd, name.c_str(), held.data(), held.size());
    return size >= 0 && static_cast<std::size_t>(size) == value.size() &&
           std::memcmp(held.data(), value.data(), value.size()) == 0;
}

bool sameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

} // namespace

bool isDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(systemPath(path), error);
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(systemPath(path), error);
}

bool isTaken(const std::string& path) {
    struct stat status {};
    return ::lstat(systemPath(path).c_str(), &status) == 0;
}

std::int64_t fileSizeOf(const std::string& path) {
    struct stat status {};
    return ::stat(systemPath(path).c_str(), &status) == 0 && S_ISREG(status.st_mode)
               ? static_cast<std::int64_t>(status.st_size)
               : -1;
}

bool removeFile(const std::string& path) {
    return ::unlink(systemPath(path).c_str()) == 0;
}

std::filesystem::path canonicalSystemPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path target =
        withoutLinks(std::filesystem::absolute(systemPath(path), error));
    std::filesystem::path canonical = std::filesystem::weakly_canonical(target, error);
    return error ? target.lexically_normal() : canonical;
}

int renameWithoutReplacing(const std::string& from, const std::string& to) {
    const std::filesystem::path source = systemPath(from);
    const std::filesystem::path target = systemPath(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system that cannot rename without replacing: a hard link fails
    // just as well when the name is taken.
    if (::link(source.c_str(), target.c_str()) == 0) {
        ::unlink(source.c_str());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        return errno;
    }
    // Nor hard links (a memory card's file system, say): look, then rename.
    struct stat status {};
    if (::lstat(target.c_str(), &status) == 0) {
        return EEXIST;
    }
    return ::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

void syncFolderOf(const std::string& path) {
    syncFolderContaining(systemPath(path));
}

std::optional<std::string> markOf(const std::string& path, const std::string& name) {
    // A mark is a link or what it stands for: a few hundred bytes, which
    // the first read takes whole almost always.
    constexpr std::size_t firstTry = 512;
    constexpr std::size_t longest = 64 * 1024;
    const int fd = openPlainFile(systemPath(path));
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::string> value;
    for (std::size_t room = firstTry; room <= longest && !value; room *= 8) {
        std::string held(room, '\0');
        const ssize_t size = ::fgetxattr(fd, name.c_str(), held.data(), held.size());
        if (size >= 0) {
            held.resize(static_cast<std::size_t>(size));
            value = std::move(held);
        } else if (errno != ERANGE) {
            break;
        }
    }
    ::close(fd);
    return value;
}

bool removeAbandoned(const std::string& path, const std::string& name, std::string_view value) {
    const std::filesystem::path file = systemPath(path);
    const int fd = openPlainFile(file);
    if (fd < 0) {
        return false;
    }
    // A writer holds its file locked while it lives (FileOutput). Holding the
    // lock here in turn, the file is removed only if the name still leads to
    // it: another program may have taken the leftover over just before.
    struct stat held {};
    struct stat named {};
    // Another user's dead file in a shared folder is theirs to deal with.
    const bool abandoned = carriesMark(fd, name, value) && ::fstat(fd, &held) == 0 &&
                           held.st_uid == ::geteuid() && held.st_nlink == 1 &&
                           ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                           ::lstat(file.c_str(), &named) == 0 && sameFile(held, named);
    const bool removed = abandoned && ::unlink(file.c_str()) == 0;
    ::close(fd);
    return removed;
}

int obstacleToCreating(const std::string& path) {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::absolute(systemPath(path), error).parent_path();
    if (error) {
        return error.value();
    }
    // The nearest folder of the path that exists is the one that must let
    // the rest be made in it.
    while (!std::filesystem::exists(folder, error) && folder.has_relative_path()) {
        folder = folder.parent_path();
    }
    if (!std::filesystem::is_directory(folder, error)) {
        return ENOTDIR;
    }
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

bool createParentFolders(const std::string& path, int* error) {
    return makeFolder(systemPath(path).parent_path(), error);
}

bool createFolder(const std::string& folder, int* error) {
    return makeFolder(systemPath(folder), error);
}

int tryMakingFileIn(const std::string& folder) {
    const std::filesystem::path where = folder.empty() ? "." : systemPath(folder);
    std::string probe = (where / ".tolvenka-probe-XXXXXX").string();
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return 0;
}

bool openForReading(std::ifstream& stream, const std::string& path) {
    // A pipe would hold the caller until somebody writes to it.
    if (fileKindOf(path) != FileKind::Regular) {
        return false;
    }
    stream.open(systemPath(path), std::ios::binary | std::ios::in);
    return stream.is_open();
}

FileKind fileKindOf(const std::string& path) {
    struct stat status {};
    if (::stat(systemPath(path).c_str(), &status) != 0) {
        return FileKind::Missing;
    }
    switch (status.st_mode & S_IFMT) {
    case S_IFREG:
        return FileKind::Regular;
    case S_IFDIR:
        return FileKind::Folder;
    case S_IFIFO:
        return FileKind::Pipe;
    case S_IFCHR:
    case S_IFBLK:
        return FileKind::Device;
    case S_IFSOCK:
        return FileKind::Socket;
    default:
        return FileKind::Other;
    }
}

int readPlainFile(const std::string& path, std::string& content) {
    content.clear();
    PlainFileReader reader;
    if (const int error = reader.open(path); error != 0) {
        return error;
    }
    for (;;) {
        const std::size_t before = content.size();
        if (const int error = reader.readMore(content); error != 0) {
            return error;
        }
        if (content.size() == before) {
            return 0;
        }
    }
}

bool replaceFileAtomically(const std::string& path, std::string_view content, int* error) {
    return replaceFileAtomically(
        path,
        [content](std::ostream& out) {
            out.write(content.data(), static_cast<std::streamsize>(content.size()));
        },
        error);
}

bool replaceFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& write,
                           int* error) {
    const auto fail = [error](int number) {
        if (error != nullptr) {
            *error = number;
        }
        return false;
    };
    const std::filesystem::path target = withoutLinks(systemPath(path));
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !isWritable(target, old)) {
        return fail(EACCES);
    }
    std::string temporary = target.string() + std::string(temporaryInfix) + "XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return fail(errno);
    }
    // mkstemp makes the file private; keep the mode the old file had.
    ::fchmod(fd, exists ? (old.st_mode & 07777) : 0644);
    const auto output = std::make_unique<FileOutput>(); // its block is large for a stack
    output->adopt(fd);
    try {
        write(output->stream());
    } catch (...) {
        output->abandon();
        ::unlink(temporary.c_str());
        throw;
    }
    const bool streamed = static_cast<bool>(output->stream());
    int failure = output->close() ? 0 : output->error();
    if (failure == 0 && !streamed) {
        failure = EIO; // the writer's own stream failed, not a system call
    }
    if (failure == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temporary.c_str());
        return fail(failure);
    }
    syncFolderContaining(target);
    return true;
}

void removeInterruptedSaves(const std::string& path) {
    const std::filesystem::path target = withoutLinks(systemPath(path));
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    const std::string fileName = target.filename().string();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (isTemporaryOf(entry.path().filename().string(), fileName) &&
            entry.is_regular_file(error)) {
            std::filesystem::remove(entry.path(), error);
        }
    }
}

bool moveToTrash(const std::string& path) {
    return QFile::moveToTrash(QString::fromStdString(kestrune::text::toUtf8(path)));
}

} // namespace platform
