#include "archives/PartStream.h"

#include <algorithm>
#include <archive.h>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace tolvenka::archives {

PartStream::PartStream(std::vector<std::string> partPaths, std::size_t blockSize,
                       const std::atomic<bool>& cancelled)
    : cancelled(cancelled)
    , blockSize(std::max(blockSize, std::size_t{512}))
    , buffer(new char[this->blockSize]) {
    for (std::size_t i = 0; i < partPaths.size(); ++i) {
        auto part = std::make_unique<Part>();
        part->stream = this;
        part->index = i;
        part->path = std::move(partPaths[i]);
        parts.push_back(std::move(part));
    }
}

PartStream::~PartStream() {
    for (const auto& part : parts) {
        closePart(*part);
    }
}

int PartStream::open(struct archive* reader) {
    for (const auto& part : parts) {
        if (archive_read_append_callback_data(reader, part.get()) != ARCHIVE_OK) {
            return ARCHIVE_FATAL;
        }
    }
    archive_read_set_open_callback(reader, &PartStream::openFirst);
    archive_read_set_read_callback(reader, &PartStream::readBlock);
    archive_read_set_skip_callback(reader, &PartStream::skip);
    archive_read_set_seek_callback(reader, &PartStream::seek);
    archive_read_set_switch_callback(reader, &PartStream::switchPart);
    archive_read_set_close_callback(reader, &PartStream::closePart);
    return archive_read_open1(reader);
}

bool PartStream::openPart(struct archive* reader, Part& part) {
    if (part.fd >= 0) {
        return true;
    }
    part.fd = ::open(part.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (part.fd < 0) {
        fail(reader, part, errno);
        return false;
    }
    ::posix_fadvise(part.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    current = part.index;
    return true;
}

void PartStream::closePart(Part& part) {
    if (part.fd >= 0) {
        ::close(part.fd);
        part.fd = -1;
    }
}

int PartStream::fail(struct archive* reader, const Part& part, int systemError) {
    error = systemError;
    errorPart = part.index;
    archive_set_error(reader, systemError, "cannot read a part");
    return ARCHIVE_FATAL;
}

int PartStream::openFirst(struct archive* reader, void* data) {
    Part& part = *static_cast<Part*>(data);
    return part.stream->openPart(reader, part) ? ARCHIVE_OK : ARCHIVE_FATAL;
}

la_ssize_t PartStream::readBlock(struct archive* reader, void* data, const void** block) {
    Part& part = *static_cast<Part*>(data);
    PartStream& stream = *part.stream;
    if (stream.cancelled.load()) {
        archive_set_error(reader, ECANCELED, "cancelled");
        return ARCHIVE_FATAL;
    }
    if (!stream.openPart(reader, part)) {
        return ARCHIVE_FATAL;
    }
    stream.current = part.index;
    for (;;) {
        const ssize_t got = ::read(part.fd, stream.buffer.get(), stream.blockSize);
        *block = stream.buffer.get();
        const bool last = part.index + 1 == stream.parts.size();
        if (got == 0 && last && !stream.paddingGiven && stream.padding > 0) {
            stream.paddingGiven = true;
            std::fill_n(stream.buffer.get(), stream.padding, '\0');
            return static_cast<la_ssize_t>(stream.padding);
        }
        if (got >= 0) {
            return got;
        }
        if (errno != EINTR) {
            return stream.fail(reader, part, errno);
        }
    }
}

la_int64_t PartStream::skip(struct archive* reader, void* data, la_int64_t request) {
    Part& part = *static_cast<Part*>(data);
    if (!part.stream->openPart(reader, part)) {
        return ARCHIVE_FATAL;
    }
    const off_t from = ::lseek(part.fd, 0, SEEK_CUR);
    const off_t end = ::lseek(part.fd, 0, SEEK_END);
    if (from < 0 || end < 0) {
        return 0; // libarchive then reads past what it skips
    }
    const off_t to = from + std::min<off_t>(static_cast<off_t>(request), end - from);
    ::lseek(part.fd, to, SEEK_SET);
    return static_cast<la_int64_t>(to - from);
}

la_int64_t PartStream::seek(struct archive* reader, void* data, la_int64_t offset, int whence) {
    Part& part = *static_cast<Part*>(data);
    if (!part.stream->openPart(reader, part)) {
        return ARCHIVE_FATAL;
    }
    part.stream->current = part.index;
    part.stream->paddingGiven = false;
    const off_t at = ::lseek(part.fd, static_cast<off_t>(offset), whence);
    if (at < 0) {
        return part.stream->fail(reader, part, errno);
    }
    return static_cast<la_int64_t>(at);
}

int PartStream::switchPart(struct archive* reader, void* from, void* to) {
    if (from != nullptr) {
        Part& previous = *static_cast<Part*>(from);
        previous.stream->closePart(previous);
    }
    if (to == nullptr) {
        return ARCHIVE_OK;
    }
    Part& next = *static_cast<Part*>(to);
    if (!next.stream->openPart(reader, next)) {
        return ARCHIVE_FATAL;
    }
    // A part is read from its start when it is switched to.
    ::lseek(next.fd, 0, SEEK_SET);
    next.stream->paddingGiven = false;
    next.stream->current = next.index;
    return ARCHIVE_OK;
}

int PartStream::closePart(struct archive*, void* data) {
    Part& part = *static_cast<Part*>(data);
    part.stream->closePart(part);
    return ARCHIVE_OK;
}

} // namespace tolvenka::archives
