#include "archives/SetUnpacker.h"

#include "archives/PieceChecksums.h"
#include "archives/StagingFolder.h"
#include "archives/UnpackError.h"
#include "support/Cp1251.h"

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <locale.h>
#include <sys/statvfs.h>

namespace tolvenka::archives {

using kestrune::text::fromUtf8;
using kestrune::text::toUtf8;

namespace {

// libarchive converts names through the locale of the thread that reads;
// under UTF-8 every name arrives as the archive means it, whatever locale
// the program runs in.
class Utf8Names {
public:
    Utf8Names()
        : utf8(::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)) {
        if (utf8 != nullptr) {
            previous = ::uselocale(utf8);
        }
    }
    ~Utf8Names() {
        if (utf8 != nullptr) {
            ::uselocale(previous);
            ::freelocale(utf8);
        }
    }
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;

private:
    locale_t utf8;
    locale_t previous = nullptr;
};

// Progress is told at most this often: every 1/200 of the set, or 4 MiB.
constexpr std::int64_t smallestProgressStep = 4 << 20;
// libarchive's window for the next RAR 5 volume's signature.
constexpr std::size_t rar5SignatureWindow = 512;
// Each file may take a block beyond its bytes.
constexpr std::int64_t blockPerFile = 4096;

std::optional<std::uint64_t> fileSystemFreeSpace(const std::string& folder) {
    struct statvfs status {};
    if (::statvfs(folder.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
}

// The folder itself, or where it does not exist yet, its nearest parent
// that does: where its files will take their room.
std::string existingFolderOf(const std::string& folder) {
    std::filesystem::path path = folder.empty() ? "." : folder;
    std::error_code error;
    while (!std::filesystem::exists(path, error) && path.has_parent_path() &&
           path != path.parent_path()) {
        path = path.parent_path();
    }
    return path.string();
}

std::string nameOf(archive_entry* entry) {
    if (const char* name = archive_entry_pathname_utf8(entry)) {
        return name;
    }
    const char* name = archive_entry_pathname(entry);
    return name != nullptr ? name : "";
}

std::string textOf(const char* utf8, const char* plain) {
    return utf8 != nullptr ? utf8 : plain != nullptr ? plain : "";
}

std::string withForwardSlashes(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

} // namespace

SetUnpacker::SetUnpacker(const UnpackRequest& request, const std::atomic<bool>& cancelled,
                         UnpackProgress& progress)
    : request(request)
    , cancelled(cancelled)
    , progress(progress)
    , content(request.set.isArchive() ? ArchiveReader::Content::Archive
                                      : ArchiveReader::Content::JoinedFile) {}

UnpackOutcome SetUnpacker::run() {
    UnpackOutcome outcome;
    outcome.setName = request.set.name();
    outcome.partPaths = request.set.partPaths();
    const Utf8Names names;
    try {
        unpack(outcome);
        outcome.result = UnpackOutcome::Result::Unpacked;
    } catch (const UnpackError& failure) {
        outcome.result = failure.result();
        outcome.reason = failure.reason();
        outcome.placedAt.clear();
        outcome.fileCount = 0;
        outcome.totalBytes = 0;
        outcome.passwordIndex = -1;
    } catch (const std::exception&) {
        // Out of memory, or a library's own failure: nothing to tell but
        // that the set stays packed.
        outcome.result = UnpackOutcome::Result::Failed;
        outcome.reason = UnpackError::unexpected().reason();
    }
    return outcome;
}

void SetUnpacker::removeLeftovers(const std::string& targetFolder) {
    StagingFolder::removeLeftovers(toUtf8(targetFolder));
}

void SetUnpacker::unpack(UnpackOutcome& outcome) {
    const std::string missing = request.set.missingPartsText();
    if (!missing.empty()) {
        throw UnpackError::missingParts(missing);
    }
    for (const std::string& path : request.set.partPaths()) {
        parts.push_back(toUtf8(path));
    }
    target = toUtf8(request.targetFolder);
    if (content == ArchiveReader::Content::Archive) {
        rar = RarIndex::read(parts);
        if (rar && rar->anyEncrypted()) {
            throw UnpackError::unsupportedEncryption();
        }
    }
    readPlan();
    const bool encrypted = plan.anyEncrypted();
    if (encrypted && (formatFamily == ARCHIVE_FORMAT_7ZIP || formatFamily == ARCHIVE_FORMAT_RAR ||
                      formatFamily == ARCHIVE_FORMAT_RAR_V5)) {
        throw UnpackError::unsupportedEncryption();
    }
    checkFreeSpace();
    progress.total.store(plan.declaredBytes());
    if (!encrypted) {
        unpackWith(std::nullopt, outcome);
        return;
    }
    for (std::size_t index = 0; index < request.passwords.size(); ++index) {
        const std::string password = toUtf8(request.passwords[index]);
        if (password.empty() || !opensWith(password)) {
            continue;
        }
        try {
            unpackWith(password, outcome);
            outcome.passwordIndex = static_cast<int>(index);
            return;
        } catch (const WrongPassword&) {
            // A traditional zip password passes its one-byte check by
            // chance once in 256 tries; the checksum tells it was wrong.
        }
    }
    throw UnpackError::needsPassword();
}

void SetUnpacker::readPlan() {
    const std::unique_ptr<ArchiveReader> opened =
        openReader(ArchiveReader::Pass::Headers, std::nullopt);
    ArchiveReader& reader = *opened;
    for (std::size_t index = 0;; ++index) {
        throwIfCancelled();
        archive_entry* entry = nullptr;
        const int status = reader.next(entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status < ARCHIVE_WARN) {
            throw failureOf(reader);
        }
        formatFamily = reader.formatFamily();
        const EntryHeader header = headerOf(entry, index);
        storedNames.push_back(nameOf(entry));
        plan.add(header);
    }
    plan.finish();
    // The headers' own checks serve only where they tell of the very
    // entries libarchive reads.
    if (rar && rar->entries.size() != storedNames.size()) {
        rar.reset();
    }
    for (std::size_t i = 0; rar && i < storedNames.size(); ++i) {
        if (withForwardSlashes(rar->entries[i].name) != withForwardSlashes(storedNames[i])) {
            rar.reset();
        }
    }
}

EntryHeader SetUnpacker::headerOf(archive_entry* entry, std::size_t index) const {
    EntryHeader header;
    header.name = nameOf(entry);
    switch (archive_entry_filetype(entry)) {
    case AE_IFDIR:
        header.type = EntryHeader::Type::Folder;
        break;
    case AE_IFLNK:
        header.type = EntryHeader::Type::Symlink;
        break;
    case AE_IFCHR:
    case AE_IFBLK:
        header.type = EntryHeader::Type::Device;
        break;
    case AE_IFIFO:
        header.type = EntryHeader::Type::Pipe;
        break;
    case AE_IFSOCK:
        header.type = EntryHeader::Type::Socket;
        break;
    default:
        header.type = EntryHeader::Type::File;
        break;
    }
    header.symlinkTarget = textOf(archive_entry_symlink_utf8(entry), archive_entry_symlink(entry));
    header.hardLinkTarget =
        textOf(archive_entry_hardlink_utf8(entry), archive_entry_hardlink(entry));
    header.permissions = static_cast<std::uint32_t>(archive_entry_perm(entry));
    header.declaredSize = archive_entry_size_is_set(entry) != 0 ? archive_entry_size(entry) : -1;
    header.modifiedAt = archive_entry_mtime_is_set(entry) != 0 ? archive_entry_mtime(entry) : -1;
    header.encrypted = archive_entry_is_encrypted(entry) != 0;
    if (const RarIndex::Entry* stated = rarEntry(index)) {
        header.encrypted = header.encrypted || stated->encrypted;
    }
    if (content == ArchiveReader::Content::JoinedFile) {
        // The pieces of a plain file make one file of the set's whole name.
        header.name = toUtf8(request.set.joinedFileName());
        header.type = EntryHeader::Type::File;
        header.declaredSize = 0;
        std::error_code error;
        for (const std::string& part : parts) {
            header.declaredSize +=
                static_cast<std::int64_t>(std::filesystem::file_size(part, error));
        }
    }
    return header;
}

const RarIndex::Entry* SetUnpacker::rarEntry(std::size_t index) const {
    if (!rar || index >= rar->entries.size()) {
        return nullptr;
    }
    return &rar->entries[index];
}

void SetUnpacker::checkFreeSpace() const {
    const std::string folder = existingFolderOf(target);
    const std::optional<std::uint64_t> available =
        request.freeSpace ? request.freeSpace(folder) : fileSystemFreeSpace(folder);
    const std::int64_t needed = plan.declaredBytes() + plan.fileCount() * blockPerFile;
    if (available && *available < static_cast<std::uint64_t>(needed)) {
        throw UnpackError::notEnoughSpace(needed, static_cast<std::int64_t>(*available));
    }
}

bool SetUnpacker::opensWith(const std::string& password) {
    const std::unique_ptr<ArchiveReader> opened =
        openReader(ArchiveReader::Pass::Headers, password);
    ArchiveReader& reader = *opened;
    for (;;) {
        throwIfCancelled();
        archive_entry* entry = nullptr;
        const int status = reader.next(entry);
        if (status == ARCHIVE_EOF) {
            return true;
        }
        if (status < ARCHIVE_WARN) {
            throw failureOf(reader);
        }
        if (archive_entry_is_data_encrypted(entry) == 0) {
            continue;
        }
        // The first block of an encrypted entry needs the key: a wrong
        // password fails its check there.
        const void* data = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        const int read = reader.readBlock(data, size, offset);
        if (read > ARCHIVE_WARN || (read == ARCHIVE_WARN && !reader.failedOnChecksum())) {
            return true;
        }
        if (reader.failedOnPassphrase() || reader.failedOnChecksum()) {
            return false;
        }
        throw failureOf(reader);
    }
}

void SetUnpacker::unpackWith(const std::optional<std::string>& password, UnpackOutcome& outcome) {
    StagingFolder staging(target);
    const std::unique_ptr<ArchiveReader> opened = openReader(ArchiveReader::Pass::Data, password);
    ArchiveReader& reader = *opened;
    bytesWritten = 0;
    lastReported = 0;
    progress.done.store(0);
    const std::vector<PlannedEntry>& entries = plan.entries();
    for (std::size_t index = 0; index < entries.size(); ++index) {
        throwIfCancelled();
        archive_entry* entry = nullptr;
        const int status = reader.next(entry);
        if (status < ARCHIVE_WARN) {
            throw failureOf(reader);
        }
        if (status == ARCHIVE_EOF || nameOf(entry) != storedNames[index]) {
            throw UnpackError::damaged(reader.failingPart() + 1, parts.size(),
                                       UnpackError::Damage::Structure);
        }
        const PlannedEntry& planned = entries[index];
        switch (planned.type) {
        case PlannedEntry::Type::Skipped:
            break;
        case PlannedEntry::Type::Folder:
            staging.makeFolder(planned);
            break;
        case PlannedEntry::Type::Symlink:
            staging.makeSymlink(planned);
            break;
        case PlannedEntry::Type::HardLink:
            staging.makeHardLink(planned);
            break;
        case PlannedEntry::Type::File:
            copyFile(reader, staging, planned, index);
            break;
        }
    }
    archive_entry* extra = nullptr;
    const int end = reader.next(extra);
    if (end != ARCHIVE_EOF) {
        throw end < ARCHIVE_WARN ? failureOf(reader)
                                 : UnpackError::damaged(reader.failingPart() + 1, parts.size(),
                                                        UnpackError::Damage::Structure);
    }
    throwIfCancelled();
    outcome.placedAt =
        fromUtf8(staging.place(plan.topNames(), toUtf8(request.set.unpackFolderName())));
    outcome.fileCount = plan.fileCount();
    outcome.totalBytes = bytesWritten;
    if (request.onProgress) {
        request.onProgress(bytesWritten, progress.total.load());
    }
}

void SetUnpacker::copyFile(ArchiveReader& reader, StagingFolder& staging, const PlannedEntry& entry,
                           std::size_t index) {
    StagingFolder::File file = staging.createFile(entry);
    const std::string shownName = fromUtf8(entry.path());
    std::optional<PieceChecksums> checksums;
    if (const RarIndex::Entry* stated = rarEntry(index)) {
        checksums.emplace(*stated);
    }
    const auto checked = [&](std::optional<std::size_t> failedPart) {
        if (failedPart) {
            throw UnpackError::damaged(*failedPart + 1, parts.size(), UnpackError::Damage::Checksum,
                                       shownName);
        }
    };
    std::int64_t end = 0;
    for (;;) {
        throwIfCancelled();
        const void* data = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        const int status = reader.readBlock(data, size, offset);
        if (status == ARCHIVE_EOF) {
            end = std::max<std::int64_t>(end, offset);
            break;
        }
        // zip and 7-Zip tell a checksum that does not match with a mere
        // warning.
        if (status < ARCHIVE_WARN || (status == ARCHIVE_WARN && reader.failedOnChecksum())) {
            if (entry.encrypted && (reader.failedOnChecksum() || reader.failedOnPassphrase())) {
                throw WrongPassword();
            }
            throw failureOf(reader, shownName);
        }
        const std::int64_t blockEnd = offset + static_cast<std::int64_t>(size);
        if (entry.declaredSize >= 0 && blockEnd > entry.declaredSize) {
            throw UnpackError::largerThanDeclared(shownName);
        }
        if (checksums) {
            checked(checksums->feed(std::string_view(static_cast<const char*>(data), size)));
        }
        file.write(data, size, offset);
        end = std::max(end, blockEnd);
        addProgress(static_cast<std::int64_t>(size));
    }
    if (checksums) {
        checked(checksums->finish());
    }
    file.finish(end);
}

void SetUnpacker::addProgress(std::int64_t bytes) {
    bytesWritten += bytes;
    progress.done.store(bytesWritten);
    const std::int64_t step = std::max(progress.total.load() / 200, smallestProgressStep);
    if (request.onProgress && bytesWritten - lastReported >= step) {
        lastReported = bytesWritten;
        request.onProgress(bytesWritten, progress.total.load());
    }
}

UnpackError SetUnpacker::failureOf(const ArchiveReader& reader, const std::string& entry) const {
    if (cancelled.load()) {
        return UnpackError::cancelled();
    }
    if (reader.failedReadingPart()) {
        return UnpackError::cannotReadPart(reader.failingPart() + 1, reader.errorNumber());
    }
    if (reader.failedOnUnknownFormat()) {
        return UnpackError::notAnArchive();
    }
    if (reader.failedOnPassphrase()) {
        return UnpackError::needsPassword();
    }
    if (reader.failedOnEncryption()) {
        return UnpackError::unsupportedEncryption();
    }
    const UnpackError::Damage damage = reader.failedOnTruncation() ? UnpackError::Damage::Truncated
                                       : reader.failedOnChecksum() ? UnpackError::Damage::Checksum
                                                                   : UnpackError::Damage::Structure;
    return UnpackError::damaged(reader.failingPart() + 1, parts.size(), damage, entry);
}

std::unique_ptr<ArchiveReader>
SetUnpacker::openReader(ArchiveReader::Pass pass,
                        const std::optional<std::string>& password) const {
    auto reader = std::make_unique<ArchiveReader>(parts, content, pass, password, cancelled);
    if (parts.size() > 1 && RarIndex::isRar5(parts.front())) {
        reader->padEnd(rar5SignatureWindow);
    }
    if (reader->open() < ARCHIVE_WARN) {
        throw failureOf(*reader);
    }
    return reader;
}

void SetUnpacker::throwIfCancelled() const {
    if (cancelled.load()) {
        throw UnpackError::cancelled();
    }
}

} // namespace tolvenka::archives
