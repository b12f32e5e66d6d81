#pragma once

#include "queue/DownloadsSet.h"
#include "tests/engine/ScriptedDownload.h"

#include <memory>
#include <string>
#include <vector>

namespace testing_helpers {

// A scripted download that notes its own deletion.
class TracedDownload : public ScriptedDownload {
public:
    TracedDownload(const std::string& name, std::vector<std::string>* deletions = nullptr)
        : ScriptedDownload("http://files.test/" + name, "/tmp/" + name)
        , name(name)
        , deletions(deletions) {}
    ~TracedDownload() override {
        if (deletions != nullptr) {
            deletions->push_back(name);
        }
    }

    const std::string name;

private:
    std::vector<std::string>* deletions;
};

// Appends a new traced download in `state` to the set and returns it.
inline TracedDownload*
addTraced(tolvenka::DownloadsSet& set, const std::string& name,
          tolvenka::Download::State state = tolvenka::Download::State::Queued,
          std::vector<std::string>* deletions = nullptr) {
    auto download = std::make_unique<TracedDownload>(name, deletions);
    download->setState(state);
    TracedDownload* added = download.get();
    set.add(std::move(download));
    return added;
}

} // namespace testing_helpers
