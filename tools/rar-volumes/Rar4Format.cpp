#include "tools/rar-volumes/Rar4Format.h"

#include "tools/rar-volumes/ByteWriter.h"
#include "tools/rar-volumes/Crc32.h"

#include <ctime>
#include <stdexcept>
#include <sys/stat.h>

namespace rarvolumes {

namespace {

enum BlockType : std::uint32_t { MainBlock = 0x73, FileBlock = 0x74, EndBlock = 0x7B };

enum MainFlag : std::uint32_t { Volume = 0x0001, NumberedParts = 0x0010, FirstVolume = 0x0100 };

enum FileFlag : std::uint32_t {
    FromPreviousVolume = 0x0001,
    InNextVolume = 0x0002,
    Encrypted = 0x0004,
    FolderDictionary = 0x00E0,
    LargeSizes = 0x0100,
    UnicodeName = 0x0200,
    HasSalt = 0x0400,
    HasAddedSize = 0x8000,
};

enum EndFlag : std::uint32_t { SkipIfUnknown = 0x4000, MoreVolumes = 0x0001 };

constexpr std::uint32_t unixHost = 3;
constexpr std::uint32_t versionToExtract = 29;
constexpr std::uint32_t storedMethod = 0x30;

// HEAD_CRC is the low half of the CRC-32 of everything after it.
std::string sealed(const std::string& afterChecksum) {
    ByteWriter header;
    header.u16(Crc32::of(afterChecksum) & 0xFFFFu);
    header.raw(afterChecksum);
    return header.str();
}

std::uint32_t dosTime(std::int64_t unixTime) {
    const std::time_t time = static_cast<std::time_t>(unixTime);
    std::tm local{};
    localtime_r(&time, &local);
    const auto field = [](int value) {
        return static_cast<std::uint32_t>(value);
    };
    return (field(local.tm_year - 80) << 25) | (field(local.tm_mon + 1) << 21) |
           (field(local.tm_mday) << 16) | (field(local.tm_hour) << 11) |
           (field(local.tm_min) << 5) | field(local.tm_sec / 2);
}

bool isAscii(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::uint32_t fileTypeBits(RarEntry::Kind kind) {
    switch (kind) {
    case RarEntry::Kind::Folder:
        return S_IFDIR;
    case RarEntry::Kind::Symlink:
        return S_IFLNK;
    case RarEntry::Kind::Fifo:
        return S_IFIFO;
    case RarEntry::Kind::CharDevice:
        return S_IFCHR;
    case RarEntry::Kind::HardLink:
        throw std::invalid_argument("RAR 4 has no hard links");
    case RarEntry::Kind::File:
        break;
    }
    return S_IFREG;
}

} // namespace

std::string Rar4Format::signature() const {
    return std::string("Rar!\x1A\x07\x00", 7);
}

std::string Rar4Format::mainHeader(int volumeIndex, bool multivolume, bool numberedParts) const {
    std::uint32_t flags = 0;
    if (multivolume) {
        flags |=
            Volume | (numberedParts ? NumberedParts : 0u) | (volumeIndex == 0 ? FirstVolume : 0u);
    }
    ByteWriter fields;
    fields.u8(MainBlock);
    fields.u16(flags);
    fields.u16(13);
    fields.u16(0);
    fields.u32(0);
    return sealed(fields.str());
}

std::string Rar4Format::fileHeader(const RarEntry& entry, const EntryPiece& piece) const {
    const std::uint64_t declared = entry.declaredSize.value_or(piece.entryLength);
    const bool large = piece.length > 0xFFFFFFFFu || declared > 0xFFFFFFFFu;
    std::uint32_t flags = HasAddedSize;
    flags |= piece.continuesFromPrevious ? FromPreviousVolume : 0u;
    flags |= piece.continuesInNext ? InNextVolume : 0u;
    flags |= entry.encrypted ? Encrypted | HasSalt : 0u;
    flags |= entry.kind == RarEntry::Kind::Folder ? FolderDictionary : 0u;
    flags |= large ? LargeSizes : 0u;
    // A name with the Unicode flag and no zero byte in it is UTF-8.
    flags |= isAscii(entry.name) ? 0u : UnicodeName;
    const std::uint32_t size = 32 + static_cast<std::uint32_t>(entry.name.size()) +
                               (large ? 8u : 0u) + (entry.encrypted ? 8u : 0u);
    if (size > 0xFFFFu) {
        throw std::invalid_argument("name too long for a RAR 4 header");
    }
    ByteWriter fields;
    fields.u8(FileBlock);
    fields.u16(flags);
    fields.u16(size);
    fields.u32(static_cast<std::uint32_t>(piece.length));
    fields.u32(static_cast<std::uint32_t>(declared));
    fields.u8(unixHost);
    fields.u32(piece.checksum);
    fields.u32(dosTime(entry.modifiedAt));
    fields.u8(versionToExtract);
    fields.u8(storedMethod);
    fields.u16(static_cast<std::uint32_t>(entry.name.size()));
    fields.u32(fileTypeBits(entry.kind) | entry.permissions);
    if (large) {
        fields.u32(static_cast<std::uint32_t>(piece.length >> 32));
        fields.u32(static_cast<std::uint32_t>(declared >> 32));
    }
    fields.raw(entry.name);
    if (entry.encrypted) {
        fields.raw(std::string(8, '\x5A'));
    }
    return sealed(fields.str());
}

std::string Rar4Format::endHeader(bool multivolume, bool lastVolume) const {
    ByteWriter fields;
    fields.u8(EndBlock);
    fields.u16(SkipIfUnknown | (multivolume && !lastVolume ? MoreVolumes : 0u));
    fields.u16(7);
    return sealed(fields.str());
}

} // namespace rarvolumes
