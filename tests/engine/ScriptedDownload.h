#pragma once

#include "engine/Download.h"
#include "platform/DirectoryLookup.h"

#include <functional>

namespace testing_helpers {

// A download kind whose work is whatever the test says.
class ScriptedDownload : public tolvenka::Download {
public:
    static constexpr const char* kind = "scripted";

    // `folderOrPath` as the queue file gives it: a folder gets the link's
    // file name.
    ScriptedDownload(const std::string& link, const std::string& folderOrPath,
                     const std::string& kindName = kind)
        : Download(link, storedPath(folderOrPath, link), kindName) {}

    std::function<bool(ScriptedDownload&)> body;

    using Download::getHttpClient;
    using Download::isAbortRequested;
    using Download::resetProgress;
    using Download::retryAfter;
    using Download::setFailureReason;
    using Download::setState;
    using Download::waitSeconds;

protected:
    static std::string storedPath(const std::string& folderOrPath, const std::string& link) {
        platform::DirectoryLookup folders;
        return storedTargetPath(folderOrPath, link, folders);
    }

    bool process() override { return body ? body(*this) : true; }
    void saveKindData(std::ostream& out) const override { out << "kind data\r\n"; }
};

} // namespace testing_helpers
