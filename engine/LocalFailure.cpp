#include "engine/LocalFailure.h"

#include <cerrno>

namespace tolvenka {

LocalFailure LocalFailure::fromError(int error, Kind kind, const std::string& path) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return LocalFailure(Kind::NoSpace, path);
    case EISDIR:
        return LocalFailure(Kind::TargetIsFolder, path);
    case EACCES:
    case EPERM:
    case EROFS:
        // Where a folder was to be made, not being allowed is not being
        // able to.
        return LocalFailure(kind == Kind::CannotCreateFolder ? kind : Kind::NoAccess, path);
    case ENAMETOOLONG:
        return LocalFailure(Kind::CannotWrite, path);
    default:
        return LocalFailure(kind, path);
    }
}

} // namespace tolvenka
