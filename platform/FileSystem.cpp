#include "platform/FileSystem.h"

#include "support/Cp1251.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::filesystem::path systemPath(const std::string& path) {
    return std::filesystem::path(kestrune::text::toUtf8(path));
}

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void syncFolderOf(const std::filesystem::path& file) {
    const std::filesystem::path folder =
        file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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

bool removeFile(const std::string& path) {
    return ::unlink(systemPath(path).c_str()) == 0;
}

bool renameFile(const std::string& from, const std::string& to) {
    return ::rename(systemPath(from).c_str(), systemPath(to).c_str()) == 0;
}

bool openForWriting(std::ofstream& stream, const std::string& path) {
    stream.open(systemPath(path), std::ios::binary | std::ios::out | std::ios::trunc);
    return stream.is_open();
}

bool openForReading(std::ifstream& stream, const std::string& path) {
    stream.open(systemPath(path), std::ios::binary | std::ios::in);
    return stream.is_open();
}

bool replaceFileAtomically(const std::string& path, std::string_view content) {
    const std::filesystem::path target = systemPath(path);
    std::string temporary = target.string() + ".tmp-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    // mkstemp makes the file private; keep the mode the old file had.
    struct stat old {};
    ::fchmod(fd, ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    const bool written = writeAll(fd, content) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolderOf(target);
    return true;
}

} // namespace platform
