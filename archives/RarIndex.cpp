#include "archives/RarIndex.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvenka::archives {

namespace {

constexpr std::string_view rar5Signature("Rar!\x1A\x07\x01\x00", 8);
constexpr std::string_view rar4Signature("Rar!\x1A\x07\x00", 7);
// RAR 5 headers are at most 2 MB; RAR 4's size field holds 64 KB.
constexpr std::uint64_t largestHeader = 2u << 20;

// One part opened for reading its headers.
class PartFile {
public:
    explicit PartFile(const std::string& path)
        : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat status {};
        if (fd >= 0 && ::fstat(fd, &status) == 0) {
            fileSize = static_cast<std::uint64_t>(status.st_size);
        }
    }
    ~PartFile() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool isOpen() const { return fd >= 0; }
    std::uint64_t size() const { return fileSize; }

    // Up to `length` bytes from `offset`; fewer at the end of the file.
    std::string read(std::uint64_t offset, std::uint64_t length) const {
        if (offset >= fileSize) {
            return {};
        }
        std::string bytes(static_cast<std::size_t>(std::min(length, fileSize - offset)), '\0');
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got,
                                      static_cast<off_t>(offset + got));
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

private:
    int fd;
    std::uint64_t fileSize = 0;
};

// Reads little-endian fields and RAR 5 variable-length integers from a
// header, never past its end: a field that does not fit marks it bad.
class Cursor {
public:
    explicit Cursor(std::string_view data)
        : data(data) {}

    bool good() const { return ok; }
    std::size_t position() const { return pos; }

    std::uint64_t fixed(int bytes) {
        if (pos + static_cast<std::size_t>(bytes) > data.size()) {
            ok = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) {
            value =
                (value << 8) | static_cast<unsigned char>(data[pos + static_cast<std::size_t>(i)]);
        }
        pos += static_cast<std::size_t>(bytes);
        return value;
    }
    std::uint64_t vint() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (pos >= data.size()) {
                break;
            }
            const auto byte = static_cast<unsigned char>(data[pos++]);
            value |= static_cast<std::uint64_t>(byte & 0x7Fu) << shift;
            if ((byte & 0x80u) == 0) {
                return value;
            }
        }
        ok = false;
        return 0;
    }
    std::string_view bytes(std::uint64_t length) {
        if (length > data.size() - pos) {
            ok = false;
            return {};
        }
        const std::string_view taken = data.substr(pos, static_cast<std::size_t>(length));
        pos += static_cast<std::size_t>(length);
        return taken;
    }

private:
    std::string_view data;
    std::size_t pos = 0;
    bool ok = true;
};

enum class PartEnd { Normal, Encrypted, Unreadable };

bool addPiece(RarIndex& index, bool continued, RarIndex::Entry entry,
              const RarIndex::Piece& piece) {
    if (continued) {
        if (index.entries.empty()) {
            return false;
        }
        index.entries.back().pieces.push_back(piece);
        return true;
    }
    entry.pieces.push_back(piece);
    index.entries.push_back(std::move(entry));
    return true;
}

bool readRar5FileHeader(Cursor& header, std::uint64_t headerFlags, std::uint64_t extraSize,
                        std::uint64_t dataSize, std::size_t part, RarIndex& index) {
    const std::uint64_t fileFlags = header.vint();
    header.vint(); // unpacked size
    header.vint(); // attributes
    if ((fileFlags & 0x0002u) != 0) {
        header.fixed(4);
    }
    std::optional<std::uint32_t> checksum;
    if ((fileFlags & 0x0004u) != 0) {
        checksum = static_cast<std::uint32_t>(header.fixed(4));
    }
    const std::uint64_t compression = header.vint();
    header.vint(); // host system
    RarIndex::Entry entry;
    entry.name = std::string(header.bytes(header.vint()));
    entry.stored = ((compression >> 7) & 0x7u) == 0;
    // The extra area closes the header; its records say what else is so.
    Cursor extra(header.bytes(extraSize));
    while (header.good() && extra.good() && extraSize > 0) {
        const std::uint64_t recordSize = extra.vint();
        const std::size_t recordStart = extra.position();
        if (!extra.good() || recordSize == 0) {
            break;
        }
        if (extra.vint() == 0x01) {
            entry.encrypted = true;
        }
        extra.bytes(recordSize - (extra.position() - recordStart));
        if (extra.position() >= extraSize) {
            break;
        }
    }
    if (!header.good()) {
        return false;
    }
    if (entry.encrypted && !index.entries.empty() && (headerFlags & 0x0008u) != 0) {
        index.entries.back().encrypted = true;
    }
    return addPiece(index, (headerFlags & 0x0008u) != 0, std::move(entry),
                    RarIndex::Piece{part, (fileFlags & 0x0001u) != 0 ? 0 : dataSize, checksum});
}

PartEnd readRar5Part(const PartFile& file, std::size_t part, RarIndex& index) {
    std::uint64_t position = rar5Signature.size();
    for (;;) {
        // CRC-32, then the header's size in at most three bytes.
        const std::string lead = file.read(position, 7);
        Cursor leadCursor(lead);
        leadCursor.fixed(4);
        const std::uint64_t headerSize = leadCursor.vint();
        if (!leadCursor.good() || headerSize == 0 || headerSize > largestHeader) {
            return PartEnd::Unreadable;
        }
        const std::uint64_t headerStart = position + leadCursor.position();
        const std::string headerBytes = file.read(headerStart, headerSize);
        if (headerBytes.size() != headerSize) {
            return PartEnd::Unreadable;
        }
        Cursor header(headerBytes);
        const std::uint64_t type = header.vint();
        const std::uint64_t flags = header.vint();
        const std::uint64_t extraSize = (flags & 0x0001u) != 0 ? header.vint() : 0;
        const std::uint64_t dataSize = (flags & 0x0002u) != 0 ? header.vint() : 0;
        if (!header.good() || extraSize > headerSize || dataSize > file.size()) {
            return PartEnd::Unreadable;
        }
        switch (type) {
        case 2:
            if (!readRar5FileHeader(header, flags, extraSize, dataSize, part, index)) {
                return PartEnd::Unreadable;
            }
            break;
        case 4:
            return PartEnd::Encrypted;
        case 5:
            return PartEnd::Normal;
        default:
            break;
        }
        position = headerStart + headerSize + dataSize;
    }
}

PartEnd readRar4Part(const PartFile& file, std::size_t part, RarIndex& index) {
    std::uint64_t position = rar4Signature.size();
    for (;;) {
        const std::string baseBytes = file.read(position, 7);
        Cursor base(baseBytes);
        base.fixed(2);
        const std::uint64_t type = base.fixed(1);
        const std::uint64_t flags = base.fixed(2);
        const std::uint64_t size = base.fixed(2);
        if (!base.good() || size < 7) {
            return PartEnd::Unreadable;
        }
        const std::string headerBytes = file.read(position, size);
        Cursor header(headerBytes);
        header.fixed(7);
        std::uint64_t added = (flags & 0x8000u) != 0 ? header.fixed(4) : 0;
        if (type == 0x73 && (flags & 0x0080u) != 0) {
            return PartEnd::Encrypted;
        }
        if (type == 0x7B) {
            return PartEnd::Normal;
        }
        if (type == 0x74) {
            header.fixed(4); // unpacked size
            header.fixed(1); // host system
            const auto checksum = static_cast<std::uint32_t>(header.fixed(4));
            header.fixed(4); // time
            header.fixed(1); // version
            const std::uint64_t method = header.fixed(1);
            const std::uint64_t nameSize = header.fixed(2);
            header.fixed(4); // attributes
            if ((flags & 0x0100u) != 0) {
                added |= header.fixed(4) << 32;
                header.fixed(4);
            }
            std::string name(header.bytes(nameSize));
            // A Unicode name without a zero byte is UTF-8; one with a zero
            // has the plain name before it, which serves to compare.
            name = name.substr(0, name.find('\0'));
            if (!header.good()) {
                return PartEnd::Unreadable;
            }
            const bool folder = (flags & 0x00E0u) == 0x00E0u;
            RarIndex::Entry entry{name, (flags & 0x0004u) != 0, method == 0x30, {}};
            if (!addPiece(index, (flags & 0x0001u) != 0, std::move(entry),
                          RarIndex::Piece{part, folder ? 0 : added, checksum})) {
                return PartEnd::Unreadable;
            }
        }
        if (!header.good() || added > file.size()) {
            return PartEnd::Unreadable;
        }
        position += size + added;
    }
}

} // namespace

bool RarIndex::anyEncrypted() const {
    return headersEncrypted || std::any_of(entries.begin(), entries.end(),
                                           [](const Entry& entry) { return entry.encrypted; });
}

bool RarIndex::isRar5(const std::string& path) {
    const PartFile file(path);
    return file.isOpen() && file.read(0, rar5Signature.size()) == rar5Signature;
}

std::optional<RarIndex> RarIndex::read(const std::vector<std::string>& partPaths) {
    RarIndex index;
    for (std::size_t part = 0; part < partPaths.size(); ++part) {
        const PartFile file(partPaths[part]);
        if (!file.isOpen()) {
            return std::nullopt;
        }
        const std::string signature = file.read(0, rar5Signature.size());
        PartEnd end = PartEnd::Unreadable;
        if (signature == rar5Signature) {
            end = readRar5Part(file, part, index);
        } else if (signature.starts_with(rar4Signature)) {
            end = readRar4Part(file, part, index);
        }
        if (end == PartEnd::Encrypted) {
            index.headersEncrypted = true;
            return index;
        }
        if (end == PartEnd::Unreadable) {
            return std::nullopt;
        }
    }
    return index;
}

} // namespace tolvenka::archives
