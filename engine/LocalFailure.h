#pragma once

#include <stdexcept>
#include <string>

namespace tolvenka {

// A failure of the user's own machine: the folder cannot be made or
// written, the disk is full, a folder stands where the file goes. Trying
// again in a moment does not help, so a download that meets one stops.
class LocalFailure : public std::runtime_error {
public:
    enum class Kind {
        NoSpace,
        // `path` is the folder that may not be written.
        NoAccess,
        // `path` is the folder that cannot be made.
        CannotCreateFolder,
        // `path` is the target that is a folder.
        TargetIsFolder,
        // Anything else the file system refused; `path` is the file.
        CannotWrite,
    };

    // `path`: CP1251.
    LocalFailure(Kind kind, std::string path)
        : std::runtime_error("local failure at " + path)
        , failureKind(kind)
        , failurePath(std::move(path)) {}

    // The failure an error number of the system stands for; `kind` when it
    // says nothing more particular. `path` as for `kind`.
    static LocalFailure fromError(int error, Kind kind, const std::string& path);

    Kind kind() const { return failureKind; }
    const std::string& path() const { return failurePath; }

private:
    Kind failureKind;
    std::string failurePath;
};

} // namespace tolvenka
