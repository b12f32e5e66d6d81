#pragma once

#include "archives/PartStream.h"

#include <archive.h>
#include <archive_entry.h>
#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace tolvenka::archives {

// One pass of libarchive over a set's parts. Only the formats a set may be
// are read (tar with gzip, bzip2 or xz, zip, 7-Zip, RAR 4 and 5): no
// format that reads files named inside it, no filter that runs a program.
// The pieces of a plain file are read as one raw entry.
class ArchiveReader {
public:
    enum class Content { Archive, JoinedFile };
    // A pass over the headers alone reads small blocks and skips the data
    // between them; a pass that unpacks reads large ones.
    enum class Pass { Headers, Data };

    // `partPaths` UTF-8; `passphrase` UTF-8, or none.
    ArchiveReader(std::vector<std::string> partPaths, Content content, Pass pass,
                  const std::optional<std::string>& passphrase, const std::atomic<bool>& cancelled);
    ~ArchiveReader();

    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Lets a set of RAR 5 volumes end in a short last one (PartStream).
    void padEnd(std::size_t bytes) { stream.padEnd(bytes); }

    // libarchive's status codes throughout.
    int open();
    int next(archive_entry*& entry);
    int readBlock(const void*& data, std::size_t& size, la_int64_t& offset);

    // A part could not be opened or read at all (errorNumber says why).
    bool failedReadingPart() const { return stream.systemError() != 0; }
    std::string errorText() const;
    int errorNumber() const;
    // The part the failure came from: the one that could not be read, or
    // the one being read (from 0).
    std::size_t failingPart() const;
    // Which format the archive turned out to be (ARCHIVE_FORMAT_*).
    int formatFamily() const;

    // What the failure says, told apart by libarchive's messages, which
    // name no finer codes.
    bool failedOnPassphrase() const;
    bool failedOnChecksum() const;
    bool failedOnTruncation() const;
    bool failedOnEncryption() const;
    bool failedOnUnknownFormat() const;

private:
    bool errorMentions(const char* words) const;

    struct archive* reader;
    PartStream stream;
};

} // namespace tolvenka::archives
