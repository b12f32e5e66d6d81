#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

// File-system calls. Every path is a CP1251 text, as the program holds it;
// it becomes UTF-8 only here, where it reaches the system.
namespace platform {

bool isDirectory(const std::string& path);
bool fileExists(const std::string& path);
// Whether anything at all is at `path`: a file, a folder, even a symbolic
// link that leads nowhere.
bool isTaken(const std::string& path);
// The size of the plain file at `path` (a symbolic link followed), or -1.
std::int64_t fileSizeOf(const std::string& path);
bool removeFile(const std::string& path);
// Renames `from` to `to` unless something is at `to` already, which is then
// left alone and EEXIST returned. 0 on success, else the system's error.
int renameWithoutReplacing(const std::string& from, const std::string& to);
// Flushes the folder that `path` is in to the disk, so that a name just given
// in it (a rename into place) outlives a crash of the system.
void syncFolderOf(const std::string& path);

// Marks are extended attributes ("user." ones) that the program leaves on the
// files it writes, so that it knows them again after it died; file systems
// without them (FAT) keep none. `name` is the attribute's whole name.
//
// The value of the mark `name` of the plain file at `path` (not through a
// symbolic link); nothing when there is no such file or it has no such
// mark.
std::optional<std::string> markOf(const std::string& path, const std::string& name);
// Removes the plain file at `path` if it carries the mark `name` with exactly
// `value`, belongs to the user the program runs as, and no FileOutput holds
// it open: one whose writer died. True when it was removed.
bool removeAbandoned(const std::string& path, const std::string& name, std::string_view value);

// The file that `path` ends at, as the system names it: absolute, with every
// symbolic link followed, the last one too where it points at nothing yet.
std::filesystem::path canonicalSystemPath(const std::string& path);

// Moves the file or folder at `path` to the desktop's trash, where the user
// may restore it from: the trash of the user's home, or of the disk the
// file is on. False, and the file left where it is, when it cannot go.
bool moveToTrash(const std::string& path);

// Why a file could not be made at `path`, as far as can be told without
// making anything: ENOTDIR when something that is no folder stands where a
// folder of the path must be, EACCES or EROFS when the folder that exists
// may not be written; 0 when nothing stands in the way.
int obstacleToCreating(const std::string& path);

// Creates the folder that `path` is in, with its parents, unless it exists.
// On failure `error`, when given, gets the system's error number.
bool createParentFolders(const std::string& path, int* error = nullptr);
// Creates `folder` with its parents unless it exists; as above.
bool createFolder(const std::string& folder, int* error = nullptr);

// Makes an empty file of a name of its own in `folder` and removes it
// again: 0 when a file can be made there, else the system's error number.
int tryMakingFileIn(const std::string& folder);

// What stands at `path`, a symbolic link followed.
enum class FileKind { Missing, Regular, Folder, Pipe, Device, Socket, Other };
FileKind fileKindOf(const std::string& path);

// Opens the plain file at `path`; false for anything else.
bool openForReading(std::ifstream& stream, const std::string& path);

// Reads the whole of the plain file at `path` into `content`: 0, or the
// system's error number (ENOENT when nothing is there). Anything that is not
// a plain file (a pipe, a device, a folder) is refused with EINVAL without
// waiting for it, whatever it has become since it was last looked at.
int readPlainFile(const std::string& path, std::string& content);

// Writes `content` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`. On any failure `path` is left as it was, the
// temporary file is removed, and false is returned (`error`, when given,
// gets the system's error number). A file that cannot be written, or has no
// write permission at all, is left alone; a symbolic link stays a link, and
// the file it points to is replaced.
bool replaceFileAtomically(const std::string& path, std::string_view content, int* error = nullptr);
// The same with the content `write` puts into the stream it is given, which
// goes to the disk a block at a time, so that a long content is never held
// whole. A stream that `write` leaves failed fails the replacement.
bool replaceFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& write,
                           int* error = nullptr);

// Removes the temporary files that saves of `path` left when they were cut
// off (the process killed between writing and renaming). Only files of the
// save's own naming are touched. Call it while no save of `path` can run.
void removeInterruptedSaves(const std::string& path);

} // namespace platform
