#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tolvenka::archives {

// An entry as the archive's headers describe it (names UTF-8).
struct EntryHeader {
    enum class Type : std::uint8_t { File, Folder, Symlink, Device, Pipe, Socket };
    std::string name;
    Type type = Type::File;
    // What a symbolic link points at; the entry a hard link repeats.
    std::string symlinkTarget;
    std::string hardLinkTarget;
    std::uint32_t permissions = 0644;
    // -1 where the header states none.
    std::int64_t declaredSize = -1;
    std::int64_t modifiedAt = -1;
    bool encrypted = false;
};

// What is to be written for one entry: its place under the set's folder,
// checked to stay inside it.
struct PlannedEntry {
    enum class Type : std::uint8_t { File, Folder, Symlink, HardLink, Skipped };
    Type type = Type::Skipped;
    // The path under the set's folder, folder by folder (UTF-8); never
    // empty, never "." or "..".
    std::vector<std::string> components;
    // A symbolic link's target as stored; a hard link's target path.
    std::string linkTarget;
    // Read, write and execute bits only: set-user, set-group and sticky bits
    // are dropped; the owner may always read and write.
    std::uint32_t permissions = 0644;
    std::int64_t declaredSize = -1;
    std::int64_t modifiedAt = -1;
    bool encrypted = false;

    std::string path() const;
};

// The entries of a set, read from its headers before anything is written,
// and refused as a whole when one of them could reach outside the set's
// folder. Throws UnpackError naming the first entry that could.
class EntryPlan {
public:
    void add(const EntryHeader& header);
    // The checks that need every entry: symbolic links followed through the
    // set's own links, within the one folder at the top where there is
    // only one; entries that would be written through a link.
    void finish();

    const std::vector<PlannedEntry>& entries() const { return planned; }
    std::int64_t declaredBytes() const { return bytes; }
    // Files, with hard links, that the set will hold.
    std::int64_t fileCount() const { return files; }
    bool anyEncrypted() const { return encrypted; }
    // The distinct first names of the entries: where there is one, it goes
    // straight into the target folder.
    std::set<std::string> topNames() const;

private:
    std::vector<PlannedEntry> planned;
    // Paths of the regular files so far, which hard links may repeat.
    std::set<std::string> filePaths;
    std::map<std::string, std::string> symlinks;
    std::int64_t bytes = 0;
    std::int64_t files = 0;
    bool encrypted = false;
};

} // namespace tolvenka::archives
