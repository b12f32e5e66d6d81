#pragma once

#include "engine/Download.h"
#include "platform/HistoryDatabase.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tolvenka {

// What arrived, kept for good: one record per file that arrived, with what
// it is (DownloadMaker::identityOf its link), its link as written, its name
// and whole path as it arrived, its size, when it arrived and how long it
// took. A record is made when the file gets its name, before anything else
// learns that it arrived, so that no death of the program loses it; a file
// whose death came first is recorded when its download finds it by its mark.
// A link is asked for by the identity of its file, so that a file that
// arrived and was moved away or deleted still counts, however its link is
// spelt now.
class ArrivalHistory {
public:
    // The history in `file`, made where there is none (see
    // platform::HistoryDatabase for a file that cannot be read).
    explicit ArrivalHistory(std::filesystem::path file);

    // The thread that runs `download`, inside its run (see
    // Download::ArrivalReport): its file arrived; returns once the history
    // holds it. Never throws: a history that cannot be written loses the
    // record, never the file.
    void recordArrival(const Download& download, const Download::ArrivedFile& file);

    // For each link, when a file of the same identity last arrived (seconds
    // since the epoch); nothing where none did.
    std::vector<std::optional<std::int64_t>>
    lastArrivals(const std::vector<std::string>& links) const;

    platform::HistoryDatabase& database() { return store; }
    const platform::HistoryDatabase& database() const { return store; }

private:
    platform::HistoryDatabase store;
};

} // namespace tolvenka
