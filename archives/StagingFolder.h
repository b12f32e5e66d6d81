#pragma once

#include "archives/EntryPlan.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace tolvenka::archives {

// The hidden folder a set unpacks into, beside where its content goes, and
// from which it is moved into place only once every entry is whole: a kill
// at any moment leaves no file of the set under a real name, only this
// folder, which a later start removes (`removeLeftovers`). It is locked
// while its unpacking runs, which tells it from one whose program died.
//
// Everything in it is made relative to folder descriptors, never through a
// symbolic link: each folder on an entry's way is opened without following
// links. Names are UTF-8. Failures throw UnpackError.
class StagingFolder {
public:
    // `targetFolder`: where the set goes; made, with its parents, if need be.
    explicit StagingFolder(const std::string& targetFolder);
    // Removes the folder with what it holds, unless it was placed.
    ~StagingFolder();

    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    // An open file being written; closed (and given its time) by `finish`.
    class File {
    public:
        File(int fd, std::string entry, std::int64_t modifiedAt);
        File(File&& other) noexcept;
        ~File();
        File(const File&) = delete;
        File& operator=(const File&) = delete;
        File& operator=(File&&) = delete;

        // Writes `size` bytes that belong at `offset` (a sparse entry skips
        // ahead). Throws on a failure of the file system.
        void write(const void* data, std::size_t size, std::int64_t offset);
        // The entry's data ends at `length`.
        void finish(std::int64_t length);

    private:
        void flush();
        void writeAt(const char* bytes, std::size_t size, std::int64_t offset);

        int fd;
        std::string entry;
        std::int64_t modifiedAt;
        std::string buffer;
        std::int64_t bufferStart = 0;
        // Where the bytes written so far end.
        std::int64_t written = 0;
    };

    void makeFolder(const PlannedEntry& entry);
    File createFile(const PlannedEntry& entry);
    void makeSymlink(const PlannedEntry& entry);
    void makeHardLink(const PlannedEntry& entry);

    // Moves the content into the target folder: a single name at the top
    // goes there itself, several go into a new folder `folderName`. A name
    // that is taken becomes "name (1).ext", "name (2).ext", ... (a folder's
    // "name (1)"): nothing of the user's is replaced. Returns the path of
    // what was placed; empty when the set held nothing.
    std::string place(const std::set<std::string>& topNames, const std::string& folderName);

    // Removes the staging folders in `targetFolder` that no running
    // unpacking holds. Call it at start for the folders sets unpack into.
    static void removeLeftovers(const std::string& targetFolder);

    static constexpr const char* namePrefix = ".tolvenka-unpack-";

private:
    // The folder that holds the entry, made where missing; a descriptor the
    // caller must not close.
    int parentOf(const PlannedEntry& entry);
    int openFolderPath(const std::vector<std::string>& components, std::size_t count, bool create);
    // A name that is free in the target folder, from `name` on.
    std::string freeName(const std::string& name, bool isFolder) const;
    void removeAll();

    std::string target;
    int targetFd = -1;
    std::string name;
    int fd = -1;
    bool placed = false;
    // The folder the last entry went into, kept open for the next.
    std::string lastParentPath;
    int lastParentFd = -1;
};

} // namespace tolvenka::archives
