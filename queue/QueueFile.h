#pragma once

#include "queue/QueueFileFingerprint.h"

#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// The queue file, "downloads.txt": the two options on lines 1 and 2, then one
// record per download of the set. CP1251 bytes, CR LF line ends (bare LF is
// read as well).
namespace tolvenka {

class Download;
class DownloadsSet;

inline constexpr const char* QUEUE_FILE_NAME = "downloads.txt";

// The two settings the queue file keeps besides the queue.
struct QueueOptions {
    bool deleteCompleted = true;
    std::string targetFolder;
    bool operator==(const QueueOptions&) const = default;
};

// Reads lines 1 and 2. Line 1 turns `deleteCompleted` off for 0 and on for 1
// (leading blanks skipped, trailing text ignored); anything else leaves it.
// Line 2 is the folder, possibly empty. A missing line leaves its option, and
// so does a folder with a control byte.
void readQueueOptions(std::istream& in, QueueOptions& options);
void writeQueueOptions(std::ostream& out, const QueueOptions& options);

// A queue file read, not yet taken into a queue: its option lines as they
// stand (each with its line end, the missing ones left out) and its
// downloads.
struct ReadQueueFile {
    bool opened = false;
    // Of the bytes read, when it was opened.
    QueueFileFingerprint fingerprint;
    std::string optionLines;
    std::vector<std::unique_ptr<Download>> downloads;
};

// Appends the next bytes of a file to `bytes`, none at its end: 0, or the
// system's error number.
using BlockReader = std::function<int(std::string& bytes)>;
// Opens the file at `path` for `readBlock`: 0, or the system's error number
// (ENOENT where nothing is).
using FileOpener = std::function<int(const std::string& path, BlockReader& readBlock)>;

// Opens the plain file at `path`; anything else (a pipe, a device, a
// folder) is refused with EINVAL, never waited for.
int openPlainFile(const std::string& path, BlockReader& readBlock);

// Any thread: reads the file at `path`, parsing it block by block as it
// arrives, so that a long queue's file is never held whole. The registry of
// download kinds must exist; nothing else of the program is touched. Where
// nothing is, the file counts as not opened; one that is there but cannot be
// read, from its start or part way through (no access, a failing disk, not a
// plain file), throws, since taking it for no file or for the part read
// would have the next save write over it.
ReadQueueFile readQueueFile(const std::string& path, const FileOpener& open = openPlainFile);

// GUI thread: takes a file read into `options` (which holds the defaults on
// entry) and `set`. A file that could not be opened changes nothing, and
// false is returned.
bool takeQueueFile(ReadQueueFile read, QueueOptions& options, DownloadsSet& set);

// Reads the options and the queue from the file at `path` into `options`
// (which holds the defaults on entry) and `set`. When the file cannot be
// opened nothing changes and false is returned.
bool loadQueueFile(const std::string& path, QueueOptions& options, DownloadsSet& set);

// Writes the whole file: the options, then every download's record.
void writeQueueFile(std::ostream& out, const QueueOptions& options, const DownloadsSet& set);
// The whole file's bytes.
std::string queueFileContent(const QueueOptions& options, const DownloadsSet& set);

// Replaces the file at `path` so that it is either the old file or the new
// one, never a mix: written beside it, flushed to disk, renamed over it. False
// when that failed and the old file was left as it was.
bool saveQueueFile(const std::string& path, const QueueOptions& options, const DownloadsSet& set);

} // namespace tolvenka
