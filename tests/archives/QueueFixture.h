#pragma once

#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"
#include "tests/archives/ArchiveFixture.h"
#include "tests/engine/ScriptedDownload.h"

#include <memory>
#include <string>
#include <vector>

namespace archives_testing {

// An unpacking fixture with a queue: downloads whose files go where the
// test's parts are, in the states the test gives them.
class QueueFixture : public ArchiveFixture {
public:
    using Download = tolvenka::Download;
    using State = tolvenka::Download::State;
    using ScriptedDownload = testing_helpers::ScriptedDownload;

    // A download of a file that goes to `path` (CP1251), in `state`, added
    // to the queue.
    ScriptedDownload* addDownload(const std::string& path, State state = State::Queued) {
        auto download = std::make_unique<ScriptedDownload>(
            "http://files.test/" + path.substr(path.rfind('/') + 1), path);
        download->setState(state);
        ScriptedDownload* added = download.get();
        queue.add(std::move(download));
        return added;
    }

    std::vector<ScriptedDownload*> addDownloads(const std::vector<std::string>& paths,
                                                State state = State::Queued) {
        std::vector<ScriptedDownload*> added;
        for (const std::string& path : paths) {
            added.push_back(addDownload(path, state));
        }
        return added;
    }

    // The file of the part `path` (CP1251) is there, as it is once its
    // download completes.
    static void putFile(const std::string& path, const std::string& content = "part") {
        testing_helpers::writeFile(kestrune::text::toUtf8(path), content);
    }

    // In the parts' folder (CP1251).
    std::string part(const std::string& name) const { return partsFolder() + "/" + name; }

    tolvenka::DownloadsSet queue{1, 40};
};

} // namespace archives_testing
