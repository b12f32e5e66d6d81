#include "tools/rar-volumes/Rar5Format.h"

#include "tools/rar-volumes/ByteWriter.h"
#include "tools/rar-volumes/Crc32.h"

#include <sys/stat.h>

namespace rarvolumes {

namespace {

enum HeaderType : std::uint32_t { MainHeader = 1, FileHeader = 2, EndHeader = 5 };

enum HeaderFlag : std::uint32_t {
    HasExtraArea = 0x0001,
    HasDataArea = 0x0002,
    DataFromPreviousVolume = 0x0008,
    DataInNextVolume = 0x0010,
};

enum FileFlag : std::uint32_t { IsFolder = 0x0001, HasModifiedTime = 0x0002, HasChecksum = 0x0004 };

enum ExtraRecord : std::uint32_t { Encryption = 0x01, Redirection = 0x05 };
enum RedirectionType : std::uint32_t { UnixSymlink = 0x0001, HardLink = 0x0004 };

constexpr std::uint32_t unixHost = 1;

// Header CRC32, header size, then the header's fields from its type on.
std::string sealed(const std::string& fields) {
    ByteWriter sized;
    sized.vint(fields.size());
    sized.raw(fields);
    ByteWriter header;
    header.u32(Crc32::of(sized.str()));
    header.raw(sized.str());
    return header.str();
}

std::string extraRecord(std::uint32_t type, const std::string& data) {
    ByteWriter typeAndData;
    typeAndData.vint(type);
    typeAndData.raw(data);
    ByteWriter record;
    record.vint(typeAndData.str().size());
    record.raw(typeAndData.str());
    return record.str();
}

std::string extraArea(const RarEntry& entry) {
    std::string area;
    if (entry.kind == RarEntry::Kind::Symlink || entry.kind == RarEntry::Kind::HardLink) {
        ByteWriter redirection;
        redirection.vint(entry.kind == RarEntry::Kind::Symlink ? UnixSymlink : HardLink);
        redirection.vint(0);
        redirection.vint(entry.linkTarget.size());
        redirection.raw(entry.linkTarget);
        area += extraRecord(Redirection, redirection.str());
    }
    if (entry.encrypted) {
        ByteWriter encryption;
        encryption.vint(0);                      // AES-256
        encryption.vint(0);                      // no password check value
        encryption.u8(15);                       // binary logarithm of the key derivation rounds
        encryption.raw(std::string(16, '\x5A')); // salt
        encryption.raw(std::string(16, '\xA5')); // initialisation vector
        area += extraRecord(Encryption, encryption.str());
    }
    return area;
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
    case RarEntry::Kind::File:
    case RarEntry::Kind::HardLink:
        break;
    }
    return S_IFREG;
}

} // namespace

std::string Rar5Format::signature() const {
    return std::string("Rar!\x1A\x07\x01\x00", 8);
}

std::string Rar5Format::mainHeader(int volumeIndex, bool multivolume, bool) const {
    ByteWriter fields;
    fields.vint(MainHeader);
    fields.vint(0);
    const bool numbered = multivolume && volumeIndex > 0;
    fields.vint((multivolume ? 0x0001u : 0u) | (numbered ? 0x0002u : 0u));
    if (numbered) {
        fields.vint(static_cast<std::uint64_t>(volumeIndex));
    }
    return sealed(fields.str());
}

std::string Rar5Format::fileHeader(const RarEntry& entry, const EntryPiece& piece) const {
    const bool isFolder = entry.kind == RarEntry::Kind::Folder;
    const std::string extra = extraArea(entry);
    std::uint32_t headerFlags = isFolder ? 0u : HasDataArea;
    if (!extra.empty()) {
        headerFlags |= HasExtraArea;
    }
    if (piece.continuesFromPrevious) {
        headerFlags |= DataFromPreviousVolume;
    }
    if (piece.continuesInNext) {
        headerFlags |= DataInNextVolume;
    }
    ByteWriter fields;
    fields.vint(FileHeader);
    fields.vint(headerFlags);
    if (!extra.empty()) {
        fields.vint(extra.size());
    }
    if (!isFolder) {
        fields.vint(piece.length);
    }
    fields.vint((isFolder ? IsFolder : 0u) | HasModifiedTime | (isFolder ? 0u : HasChecksum));
    fields.vint(entry.declaredSize.value_or(piece.entryLength));
    fields.vint(fileTypeBits(entry.kind) | entry.permissions);
    fields.u32(static_cast<std::uint32_t>(entry.modifiedAt));
    if (!isFolder) {
        fields.u32(piece.checksum);
    }
    fields.vint(0); // compression: version 0, stored
    fields.vint(unixHost);
    fields.vint(entry.name.size());
    fields.raw(entry.name);
    fields.raw(extra);
    return sealed(fields.str());
}

std::string Rar5Format::endHeader(bool multivolume, bool lastVolume) const {
    ByteWriter fields;
    fields.vint(EndHeader);
    fields.vint(0);
    fields.vint(multivolume && !lastVolume ? 0x0001u : 0u);
    return sealed(fields.str());
}

} // namespace rarvolumes
