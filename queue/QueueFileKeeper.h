#pragma once

#include "queue/QueueFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <streambuf>
#include <string>

namespace tolvenka {

class DownloadsSet;

// Reads the queue file into the queue and keeps it in step with the queue
// and the options. A check that finds neither changed since the last one
// costs nothing, however long the queue; otherwise the file is written when
// what it would hold differs from what it holds.
class QueueFileKeeper {
public:
    QueueFileKeeper(std::string path, DownloadsSet& set);

    // GUI thread, at start. Reads the file into `options` (the defaults on
    // entry) and the queue, as loadQueueFile does, or takes a file read
    // elsewhere; only a change from what the file holds is written.
    bool load(QueueOptions& options);
    bool load(ReadQueueFile read, QueueOptions& options);
    // GUI thread. Writes the file if the queue or the options changed. False
    // when that write failed; the next one is tried at the next change, not
    // before, since a file that cannot be written now rarely can in a moment
    // and building a long queue's file costs.
    bool saveIfChanged(const QueueOptions& options);
    // GUI thread. Writes the file whatever changed. False when it failed and
    // the file was left as it was.
    bool save(const QueueOptions& options);
    // The system's error number of the last failed write.
    int lastError() const { return failure; }

private:
    struct Fingerprint {
        std::uint64_t hash = 0;
        std::uint64_t size = 0;
        bool operator==(const Fingerprint&) const = default;
    };
    // The length and hash of what the file would hold, which go to `copyTo`
    // as well when it is given.
    Fingerprint fingerprintOf(const QueueOptions& options, std::streambuf* copyTo = nullptr) const;
    // The length and hash of what the file holds; none when it cannot be
    // read.
    std::optional<Fingerprint> fingerprintOfFile() const;
    // Writes what the file would hold now and remembers it as saved (the
    // bytes written, not a second reading of the queue, whose states a
    // worker may change meanwhile).
    bool write(const QueueOptions& options, std::uint64_t changes);

    const std::string path;
    DownloadsSet& set;
    std::uint64_t checkedChanges = 0;
    QueueOptions checkedOptions;
    // The file's bytes are not kept, which for a long queue would double
    // what the queue costs in memory; their hash and length tell a change.
    // Taken from the file at the first change after the start, not at the
    // start, where a long queue's is a cost the start need not pay.
    std::optional<Fingerprint> saved;
    bool savedKnown = false;
    int failure = 0;
};

} // namespace tolvenka
