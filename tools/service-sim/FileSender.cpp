#include "tools/service-sim/FileSender.h"

#include "tools/service-sim/FileContent.h"
#include "tools/service-sim/SocketIo.h"

#include <algorithm>
#include <cstdio>

namespace servicesim {

namespace {

constexpr std::size_t ChunkHeadRoom = 24; // "<hex size>\r\n" goes right before the data
constexpr std::uint64_t PaceStepsPerSecond = 20;
const char* const LastChunk = "0\r\n\r\n";

} // namespace

FileSender::FileSender(int fd, const FileSpec& spec, bool breaksOff, const StopSignal& stop)
    : fd(fd)
    , spec(spec)
    , cutAt(breaksOff ? static_cast<std::uint64_t>(spec.breakAfter) : spec.size)
    , breaksOff(breaksOff)
    , stop(stop) {}

bool FileSender::send(bool clientWantsClose) {
    // A zero Content-Length makes some clients read up to the close; give them one.
    const bool closeAfter = clientWantsClose || breaksOff ||
                            spec.delivery == Delivery::UntilClose ||
                            (spec.delivery == Delivery::ContentLength && spec.size == 0);
    if (!sendAll(fd, head(closeAfter)) || !sendBody()) {
        return false;
    }
    return !closeAfter;
}

std::string FileSender::head(bool closeAfter) const {
    std::string head = "HTTP/1.1 200 OK\r\nServer: tolvenka-service-sim\r\n"
                       "Content-Type: application/octet-stream\r\n"
                       "Content-Disposition: attachment; filename=\"" +
                       spec.name + "\"\r\n";
    if (spec.delivery == Delivery::ContentLength) {
        head += "Content-Length: " + std::to_string(spec.size) + "\r\n";
    } else if (spec.delivery == Delivery::Chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    }
    if (closeAfter) {
        head += "Connection: close\r\n";
    }
    return head + "\r\n";
}

std::size_t FileSender::sliceBytes() const {
    if (spec.bytesPerSecond == 0) {
        return BlockBytes;
    }
    return static_cast<std::size_t>(
        std::clamp<std::uint64_t>(spec.bytesPerSecond / PaceStepsPerSecond, 1, BlockBytes));
}

bool FileSender::sendBody() {
    const std::size_t slice = sliceBytes();
    buffer.resize(ChunkHeadRoom + slice + 2);
    started = std::chrono::steady_clock::now();
    for (std::uint64_t offset = 0; offset < spec.size;) {
        const auto length =
            static_cast<std::size_t>(std::min<std::uint64_t>(slice, spec.size - offset));
        const auto sentLength = static_cast<std::size_t>(
            std::min<std::uint64_t>(length, cutAt > offset ? cutAt - offset : 0));
        if (!sendSlice(offset, length, sentLength)) {
            return false;
        }
        offset += length;
        if (breaksOff && offset >= cutAt) {
            return false; // the break-off: the caller closes the connection now
        }
        if (!waitForPace(offset)) {
            return false;
        }
    }
    return spec.delivery != Delivery::Chunked || sendAll(fd, LastChunk);
}

// Sends `sentLength` of the `length` bytes at `offset`; a chunk still
// announces all `length` bytes, so that a cut shows as a short chunk.
bool FileSender::sendSlice(std::uint64_t offset, std::size_t length, std::size_t sentLength) {
    char* data = buffer.data() + ChunkHeadRoom;
    fillFileBytes(spec.id, offset, data, sentLength);
    char* begin = data;
    std::size_t total = sentLength;
    if (spec.delivery == Delivery::Chunked) {
        char size[ChunkHeadRoom];
        const int sizeLength = std::snprintf(size, sizeof size, "%zx\r\n", length);
        begin -= sizeLength;
        std::copy(size, size + sizeLength, begin);
        total += static_cast<std::size_t>(sizeLength);
        if (sentLength == length) {
            data[length] = '\r';
            data[length + 1] = '\n';
            total += 2;
        }
    }
    return sendAll(fd, begin, total);
}

bool FileSender::waitForPace(std::uint64_t sentBytes) {
    if (spec.bytesPerSecond == 0) {
        return !stop.isRaised();
    }
    const auto due = started + std::chrono::nanoseconds(static_cast<std::int64_t>(
                                   sentBytes * 1'000'000'000.0 / spec.bytesPerSecond));
    return !stop.waitUntil(due);
}

} // namespace servicesim
