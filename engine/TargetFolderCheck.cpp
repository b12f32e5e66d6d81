#include "engine/TargetFolderCheck.h"

#include "engine/FailureReason.h"
#include "engine/LocalFailure.h"
#include "platform/FileSystem.h"
#include "support/Cp1251.h"

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

std::string refusalOf(const std::string& folder, int error, LocalFailure::Kind kind) {
    const std::string reason =
        failureReasonOf(std::make_exception_ptr(LocalFailure::fromError(error, kind, folder)));
    return std::string("Нельзя сохранять файлы в папку "_cp1251) + folder + ": " + reason + ".";
}

} // namespace

std::string targetFolderRefusal(const std::string& folder) {
    int error = 0;
    if (!platform::createFolder(folder, &error)) {
        return refusalOf(folder, error, LocalFailure::Kind::CannotCreateFolder);
    }
    error = platform::tryMakingFileIn(folder);
    return error == 0 ? std::string() : refusalOf(folder, error, LocalFailure::Kind::NoAccess);
}

} // namespace tolvenka
