#include "tools/rar-volumes/VolumeSet.h"

#include "tools/rar-volumes/Crc32.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace rarvolumes {

namespace {

struct PlannedPiece {
    std::size_t entryIndex = 0;
    std::uint64_t offset = 0;
    EntryPiece piece;
};

using VolumePlan = std::vector<PlannedPiece>;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd; }
    int release() { return std::exchange(fd, -1); }

private:
    int fd;
};

[[noreturn]] void failOn(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

// The bytes an entry's data area holds, whole or read from its source file.
class EntryData {
public:
    EntryData(const RarEntry& entry, const RarFormat& format)
        : entry(entry) {
        if (entry.kind == RarEntry::Kind::Symlink && format.storesLinkTargetAsData()) {
            inMemory = entry.linkTarget;
        } else if (entry.kind == RarEntry::Kind::File && !entry.sourcePath.empty()) {
            source = std::make_unique<FileDescriptor>(
                ::open(entry.sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
            if (source->get() < 0) {
                failOn("cannot open", entry.sourcePath);
            }
            struct stat status {};
            if (::fstat(source->get(), &status) != 0) {
                failOn("cannot read", entry.sourcePath);
            }
            sourceLength = static_cast<std::uint64_t>(status.st_size);
        } else if (entry.kind == RarEntry::Kind::File) {
            inMemory = entry.content;
        }
    }

    std::uint64_t length() const { return source ? sourceLength : inMemory.size(); }

    // Calls `use` with the bytes from `offset` on, a block at a time.
    template <typename Use>
    void forEachBlock(std::uint64_t offset, std::uint64_t length, Use use) const {
        if (!source) {
            use(std::string_view(inMemory).substr(offset, length));
            return;
        }
        std::string block(std::min<std::uint64_t>(length, 1u << 20), '\0');
        while (length > 0) {
            const auto wanted =
                static_cast<std::size_t>(std::min<std::uint64_t>(length, block.size()));
            const ssize_t got =
                ::pread(source->get(), block.data(), wanted, static_cast<off_t>(offset));
            if (got <= 0) {
                failOn("cannot read", entry.sourcePath);
            }
            use(std::string_view(block.data(), static_cast<std::size_t>(got)));
            offset += static_cast<std::uint64_t>(got);
            length -= static_cast<std::uint64_t>(got);
        }
    }

private:
    const RarEntry& entry;
    std::string inMemory;
    std::unique_ptr<FileDescriptor> source;
    std::uint64_t sourceLength = 0;
};

std::vector<VolumePlan> plan(const std::vector<RarEntry>& entries,
                             const std::vector<EntryData>& data, const RarFormat& format,
                             const VolumeOptions& options) {
    const bool multivolume = options.volumeSize > 0;
    const std::uint64_t endSize = format.endHeader(multivolume, false).size();
    std::vector<VolumePlan> volumes(1);
    std::uint64_t used = 0;
    const auto startVolume = [&] {
        used = format.signature().size() +
               format.mainHeader(static_cast<int>(volumes.size()), multivolume, true).size();
    };
    startVolume();
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const std::uint64_t entryLength = data[index].length();
        std::uint64_t offset = 0;
        for (;;) {
            const std::uint64_t remaining = entryLength - offset;
            EntryPiece piece{remaining, entryLength, offset > 0, false, 0};
            std::uint64_t headerSize = format.fileHeader(entries[index], piece).size();
            if (multivolume) {
                const std::uint64_t room =
                    options.volumeSize - std::min(options.volumeSize, used + endSize);
                const bool fits = room > headerSize || (remaining == 0 && room == headerSize);
                if (!fits) {
                    if (volumes.back().empty()) {
                        throw std::invalid_argument("volume size too small for a header");
                    }
                    volumes.emplace_back();
                    startVolume();
                    continue;
                }
                piece.length = std::min(remaining, room - headerSize);
                piece.continuesInNext = piece.length < remaining;
                headerSize = format.fileHeader(entries[index], piece).size();
            }
            volumes.back().push_back({index, offset, piece});
            used += headerSize + piece.length;
            offset += piece.length;
            if (!piece.continuesInNext) {
                break;
            }
            volumes.emplace_back();
            startVolume();
        }
    }
    return volumes;
}

std::string volumeName(const std::string& basePath, std::size_t index, std::size_t count,
                       const VolumeOptions& options) {
    if (options.volumeSize == 0) {
        return basePath + ".rar";
    }
    if (options.oldStyleNames) {
        if (index == 0) {
            return basePath + ".rar";
        }
        std::string number = std::to_string(index - 1);
        number.insert(0, number.size() < 2 ? 2 - number.size() : 0, '0');
        return basePath + ".r" + number;
    }
    const std::size_t digits = options.partDigits > 0 ? static_cast<std::size_t>(options.partDigits)
                                                      : std::to_string(count).size();
    std::string number = std::to_string(index + 1);
    number.insert(0, number.size() < digits ? digits - number.size() : 0, '0');
    return basePath + ".part" + number + ".rar";
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written <= 0) {
            failOn("cannot write", path);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

} // namespace

std::vector<std::string> writeRarVolumes(const std::string& basePath,
                                         const std::vector<RarEntry>& entries,
                                         const VolumeOptions& options) {
    if (options.oldStyleNames && options.version != RarVersion::Rar4) {
        throw std::invalid_argument("only RAR 4 names its volumes .rNN");
    }
    const std::unique_ptr<RarFormat> format = RarFormat::make(options.version);
    std::vector<EntryData> data;
    data.reserve(entries.size());
    for (const RarEntry& entry : entries) {
        data.emplace_back(entry, *format);
    }
    const std::vector<VolumePlan> volumes = plan(entries, data, *format, options);
    const bool multivolume = options.volumeSize > 0;
    std::vector<Crc32> wholeChecksums(entries.size());
    std::vector<std::string> paths;
    for (std::size_t index = 0; index < volumes.size(); ++index) {
        const std::string path = volumeName(basePath, index, volumes.size(), options);
        FileDescriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (out.get() < 0) {
            failOn("cannot create", path);
        }
        writeAll(out.get(), format->signature(), path);
        writeAll(out.get(),
                 format->mainHeader(static_cast<int>(index), multivolume, !options.oldStyleNames),
                 path);
        for (PlannedPiece planned : volumes[index]) {
            const EntryData& source = data[planned.entryIndex];
            const RarEntry& entry = entries[planned.entryIndex];
            Crc32 pieceChecksum;
            Crc32& wholeChecksum = wholeChecksums[planned.entryIndex];
            source.forEachBlock(planned.offset, planned.piece.length, [&](std::string_view block) {
                pieceChecksum.update(block);
                wholeChecksum.update(block);
            });
            planned.piece.checksum =
                planned.piece.continuesInNext ? pieceChecksum.value() : wholeChecksum.value();
            if (entry.wrongChecksum) {
                planned.piece.checksum = ~planned.piece.checksum;
            }
            writeAll(out.get(), format->fileHeader(entry, planned.piece), path);
            source.forEachBlock(planned.offset, planned.piece.length,
                                [&](std::string_view block) { writeAll(out.get(), block, path); });
        }
        writeAll(out.get(), format->endHeader(multivolume, index + 1 == volumes.size()), path);
        if (::close(out.release()) != 0) {
            failOn("cannot write", path);
        }
        paths.push_back(path);
    }
    return paths;
}

} // namespace rarvolumes
