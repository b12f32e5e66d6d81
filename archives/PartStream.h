#pragma once

#include <archive.h>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace tolvenka::archives {

// The parts of a set as one stream of bytes for libarchive, read a large
// block at a time; it knows which part it is in, so that a failure names
// the part, and stops reading once the unpacking is cancelled.
class PartStream {
public:
    // `partPaths` UTF-8, in order. Reads of `blockSize` bytes: large where
    // the data is read, small where mostly headers are, so that the data
    // between them is skipped rather than read.
    PartStream(std::vector<std::string> partPaths, std::size_t blockSize,
               const std::atomic<bool>& cancelled);
    ~PartStream();

    PartStream(const PartStream&) = delete;
    PartStream& operator=(const PartStream&) = delete;

    // Hands the parts to `reader` as its client data and opens it.
    int open(struct archive* reader);

    // The stream goes on for `bytes` zero bytes after the last part.
    // libarchive 3.6 looks for the next RAR 5 volume's signature in a
    // window of 512 bytes, and so fails on a last volume shorter than
    // that, unless the stream is at least that long; nothing is read
    // after a last volume's end header, so the zeros are never data.
    void padEnd(std::size_t bytes) { padding = bytes; }

    // The part (from 0) that was read last.
    std::size_t currentPart() const { return current; }
    // The system's error of a part that could not be opened or read, 0 when
    // none; `failedPart` names it.
    int systemError() const { return error; }
    std::size_t failedPart() const { return errorPart; }

private:
    struct Part {
        PartStream* stream = nullptr;
        std::size_t index = 0;
        std::string path;
        int fd = -1;
    };

    static int openFirst(struct archive* reader, void* data);
    static la_ssize_t readBlock(struct archive* reader, void* data, const void** block);
    static la_int64_t skip(struct archive* reader, void* data, la_int64_t request);
    static la_int64_t seek(struct archive* reader, void* data, la_int64_t offset, int whence);
    static int switchPart(struct archive* reader, void* from, void* to);
    static int closePart(struct archive* reader, void* data);

    bool openPart(struct archive* reader, Part& part);
    void closePart(Part& part);
    int fail(struct archive* reader, const Part& part, int systemError);

    std::vector<std::unique_ptr<Part>> parts;
    const std::atomic<bool>& cancelled;
    const std::size_t blockSize;
    std::unique_ptr<char[]> buffer;
    std::size_t current = 0;
    std::size_t padding = 0;
    bool paddingGiven = false;
    int error = 0;
    std::size_t errorPart = 0;
};

} // namespace tolvenka::archives
