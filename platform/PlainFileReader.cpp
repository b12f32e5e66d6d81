#include "platform/PlainFileReader.h"

#include "support/Cp1251.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

PlainFileReader::~PlainFileReader() {
    if (fd >= 0) {
        ::close(fd);
    }
}

int PlainFileReader::open(const std::string& path) {
    if (fd >= 0) {
        ::close(fd);
    }
    // Not blocking: opening a pipe would otherwise wait for a writer.
    const std::filesystem::path systemPath(kestrune::text::toUtf8(path));
    fd = ::open(systemPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    struct stat status {};
    const int refusal = ::fstat(fd, &status) != 0 ? errno : S_ISREG(status.st_mode) ? 0 : EINVAL;
    if (refusal != 0) {
        ::close(fd);
        fd = -1;
        return refusal;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return 0;
}

int PlainFileReader::readMore(std::string& bytes) {
    if (fd < 0) {
        return EBADF;
    }
    const std::size_t before = bytes.size();
    bytes.resize(before + BLOCK_SIZE);
    ssize_t got = 0;
    do {
        got = ::read(fd, bytes.data() + before, BLOCK_SIZE);
    } while (got < 0 && errno == EINTR);
    const int error = got < 0 ? errno : 0;
    bytes.resize(before + (got > 0 ? static_cast<std::size_t>(got) : 0));
    return error;
}

} // namespace platform
