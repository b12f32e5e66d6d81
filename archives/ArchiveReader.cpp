#include "archives/ArchiveReader.h"

#include <cstring>
#include <strings.h>

namespace tolvenka::archives {

namespace {

constexpr std::size_t headerBlock = 64u << 10;
constexpr std::size_t dataBlock = 4u << 20;

} // namespace

ArchiveReader::ArchiveReader(std::vector<std::string> partPaths, Content content, Pass pass,
                             const std::optional<std::string>& passphrase,
                             const std::atomic<bool>& cancelled)
    : reader(archive_read_new())
    , stream(std::move(partPaths), pass == Pass::Headers ? headerBlock : dataBlock, cancelled) {
    if (content == Content::JoinedFile) {
        archive_read_support_format_raw(reader);
    } else {
        archive_read_support_filter_gzip(reader);
        archive_read_support_filter_bzip2(reader);
        archive_read_support_filter_xz(reader);
        archive_read_support_format_tar(reader);
        archive_read_support_format_zip(reader);
        archive_read_support_format_7zip(reader);
        archive_read_support_format_rar(reader);
        archive_read_support_format_rar5(reader);
    }
    if (passphrase && !passphrase->empty()) {
        archive_read_add_passphrase(reader, passphrase->c_str());
    }
}

ArchiveReader::~ArchiveReader() {
    archive_read_free(reader);
}

int ArchiveReader::open() {
    return stream.open(reader);
}

int ArchiveReader::next(archive_entry*& entry) {
    return archive_read_next_header(reader, &entry);
}

int ArchiveReader::readBlock(const void*& data, std::size_t& size, la_int64_t& offset) {
    return archive_read_data_block(reader, &data, &size, &offset);
}

std::string ArchiveReader::errorText() const {
    const char* text = archive_error_string(reader);
    return text != nullptr ? text : "";
}

int ArchiveReader::errorNumber() const {
    return stream.systemError() != 0 ? stream.systemError() : archive_errno(reader);
}

std::size_t ArchiveReader::failingPart() const {
    return stream.systemError() != 0 ? stream.failedPart() : stream.currentPart();
}

int ArchiveReader::formatFamily() const {
    return archive_format(reader) & ARCHIVE_FORMAT_BASE_MASK;
}

bool ArchiveReader::errorMentions(const char* words) const {
    const char* text = archive_error_string(reader);
    return text != nullptr && strcasestr(text, words) != nullptr;
}

bool ArchiveReader::failedOnPassphrase() const {
    return errorMentions("passphrase");
}

bool ArchiveReader::failedOnChecksum() const {
    return errorMentions("crc") || errorMentions("checksum");
}

bool ArchiveReader::failedOnTruncation() const {
    return errorMentions("truncated") || errorMentions("premature end") ||
           errorMentions("unexpected end");
}

bool ArchiveReader::failedOnEncryption() const {
    return errorMentions("encrypt");
}

bool ArchiveReader::failedOnUnknownFormat() const {
    return errorMentions("unrecognized archive format");
}

} // namespace tolvenka::archives
