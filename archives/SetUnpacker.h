#pragma once

#include "archives/ArchiveReader.h"
#include "archives/EntryPlan.h"
#include "archives/RarIndex.h"
#include "archives/UnpackError.h"
#include "archives/UnpackOutcome.h"
#include "archives/UnpackRequest.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvenka::archives {

class StagingFolder;

// Unpacks one set on the calling thread, start to end:
//  1. the parts' headers are read whole (libarchive, and for RAR also the
//     headers themselves for their checksums and encryption), and the set
//     is refused before anything is written where an entry could reach
//     outside its folder or the disk lacks the room the sizes declare;
//  2. passwords are tried where it is encrypted in a way libarchive reads;
//  3. the entries are written into a staging folder beside the target,
//     each checked against its checksum and its declared size;
//  4. the content is moved into place (StagingFolder::place).
// Any failure, a cancel included, leaves the target folder as it was and
// the parts untouched.
class SetUnpacker {
public:
    SetUnpacker(const UnpackRequest& request, const std::atomic<bool>& cancelled,
                UnpackProgress& progress);

    // Never throws: every end is an outcome.
    UnpackOutcome run();

    // Removes what unpackings into `targetFolder` (CP1251) left when their
    // program died: call it at start, before the sets that did not end are
    // unpacked again. Those of a running unpacking are kept.
    static void removeLeftovers(const std::string& targetFolder);

private:
    class WrongPassword {};

    void unpack(UnpackOutcome& outcome);
    void readPlan();
    EntryHeader headerOf(archive_entry* entry, std::size_t index) const;
    void checkFreeSpace() const;
    bool opensWith(const std::string& password);
    void unpackWith(const std::optional<std::string>& password, UnpackOutcome& outcome);
    void copyFile(ArchiveReader& reader, StagingFolder& staging, const PlannedEntry& entry,
                  std::size_t index);
    void addProgress(std::int64_t bytes);
    UnpackError failureOf(const ArchiveReader& reader, const std::string& entry = {}) const;
    std::unique_ptr<ArchiveReader> openReader(ArchiveReader::Pass pass,
                                              const std::optional<std::string>& password) const;
    void throwIfCancelled() const;
    const RarIndex::Entry* rarEntry(std::size_t index) const;

    const UnpackRequest& request;
    const std::atomic<bool>& cancelled;
    UnpackProgress& progress;
    std::vector<std::string> parts;
    std::string target;
    ArchiveReader::Content content;
    std::optional<RarIndex> rar;
    EntryPlan plan;
    // The names the archive stores, in its order, to tell that the second
    // pass meets the entries the first one planned.
    std::vector<std::string> storedNames;
    int formatFamily = 0;
    std::int64_t bytesWritten = 0;
    std::int64_t lastReported = 0;
};

} // namespace tolvenka::archives
