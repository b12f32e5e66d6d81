#include "platform/FileOutput.h"

#include "support/Cp1251.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::int64_t writeBackWindow = 8 * 1024 * 1024;

} // namespace

FileOutput::Buffer::Buffer() {
    setp(block.data(), block.data() + block.size());
}

bool FileOutput::Buffer::writeAll(const char* data, std::size_t size) {
    if (error != 0) {
        return false;
    }
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        this->written += written;
    }
    if (this->written - writeBackStart >= writeBackWindow) {
        writeBack();
    }
    return true;
}

// The window just written starts on its way to the disk, and the one before
// it, by now mostly there, is waited for and dropped from the page cache: a
// large file never piles up unwritten pages for the final flush to wait on,
// nor pushes everything else out of memory. Failures here are only a loss
// of speed; the final flush still reports any.
void FileOutput::Buffer::writeBack() {
    ::sync_file_range(fd, writeBackStart, written - writeBackStart, SYNC_FILE_RANGE_WRITE);
    if (lastHandedStart >= 0) {
        const std::int64_t length = writeBackStart - lastHandedStart;
        ::sync_file_range(fd, lastHandedStart, length,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                              SYNC_FILE_RANGE_WAIT_AFTER);
        ::posix_fadvise(fd, lastHandedStart, length, POSIX_FADV_DONTNEED);
    }
    lastHandedStart = writeBackStart;
    writeBackStart = written;
}

void FileOutput::Buffer::restart(int newFd) {
    fd = newFd;
    error = 0;
    written = 0;
    writeBackStart = 0;
    lastHandedStart = -1;
}

bool FileOutput::Buffer::flushAll() {
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    setp(block.data(), block.data() + block.size());
    return writeAll(block.data(), pending);
}

void FileOutput::Buffer::discard() {
    setp(block.data(), block.data() + block.size());
}

FileOutput::Buffer::int_type FileOutput::Buffer::overflow(int_type c) {
    if (!flushAll()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

// Large pieces go straight to the file, past the block.
std::streamsize FileOutput::Buffer::xsputn(const char* data, std::streamsize size) {
    const auto room = epptr() - pptr();
    if (size <= room) {
        traits_type::copy(pptr(), data, static_cast<std::size_t>(size));
        pbump(static_cast<int>(size));
        return size;
    }
    if (!flushAll() || !writeAll(data, static_cast<std::size_t>(size))) {
        return 0;
    }
    return size;
}

int FileOutput::Buffer::sync() {
    return flushAll() ? 0 : -1;
}

FileOutput::FileOutput()
    : out(&buffer) {}

FileOutput::~FileOutput() {
    abandon();
}

namespace {

// An unnamed file in `folder`, or -1 with errno set.
int openUnnamedIn(const std::string& folder) {
    return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
}

// Gives the unnamed file `fd` the name `path`, never over anything there:
// 0, or the system's error number.
int nameFile(int fd, const std::string& path) {
    const std::string handle = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, handle.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0
               ? 0
               : errno;
}

bool isUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

} // namespace

bool FileOutput::create(const std::string& path, const std::string& markName,
                        std::string_view markValue) {
    abandon();
    buffer.error = 0;
    out.clear();
    const std::string systemPath = kestrune::text::toUtf8(path);
    if (!markName.empty()) {
        const std::string folder = systemPath.substr(0, systemPath.rfind('/') + 1);
        const int fd = openUnnamedIn(folder.empty() ? "." : folder);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            ::fsetxattr(fd, markName.c_str(), markValue.data(), markValue.size(), 0);
            const int error = nameFile(fd, systemPath);
            if (error == 0) {
                buffer.restart(fd);
                return true;
            }
            ::close(fd);
            // Anything else (no /proc, a file system without links) is left
            // to the named way, which says what is wrong if anything is.
            if (error == EEXIST) {
                buffer.error = error;
                return false;
            }
        } else if (!isUnsupported(errno)) {
            buffer.error = errno;
            return false;
        }
    }
    const int fd =
        ::open(systemPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        buffer.error = errno;
        return false;
    }
    buffer.restart(fd);
    // Locked before anything marks it, so that a file found marked and not
    // locked is one that nobody writes any more. Where the file system keeps
    // no locks the file is written all the same.
    ::flock(buffer.fd, LOCK_EX | LOCK_NB);
    if (!markName.empty()) {
        mark(markName, markValue);
    }
    return true;
}

bool FileOutput::mark(const std::string& name, std::string_view value) {
    return buffer.fd >= 0 &&
           ::fsetxattr(buffer.fd, name.c_str(), value.data(), value.size(), 0) == 0;
}

void FileOutput::unmark(const std::string& name) {
    if (buffer.fd >= 0) {
        ::fremovexattr(buffer.fd, name.c_str());
    }
}

void FileOutput::adopt(int fd) {
    abandon();
    out.clear();
    buffer.restart(fd);
}

bool FileOutput::close() {
    if (buffer.fd < 0) {
        return buffer.error == 0;
    }
    if (buffer.flushAll() && ::fsync(buffer.fd) != 0) {
        buffer.error = errno;
    }
    if (::close(buffer.fd) != 0 && buffer.error == 0) {
        buffer.error = errno;
    }
    buffer.fd = -1;
    return buffer.error == 0;
}

void FileOutput::abandon() {
    buffer.discard();
    if (buffer.fd >= 0) {
        ::close(buffer.fd);
        buffer.fd = -1;
    }
}

} // namespace platform
