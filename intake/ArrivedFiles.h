#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvenka {

class ArrivalHistory;
class DownloadsSet;

// What is known of a link's file having arrived before.
struct EarlierArrival {
    bool arrived = false;
    // When, as the history of arrivals says (seconds since the epoch); 0
    // where only the queue or the folder knows it.
    std::int64_t at = 0;
};

// For each link, whether its file arrived before, so that adding it again
// would only fetch a second copy: the history of arrivals holds it (also
// when the file was moved away or deleted since), the queue holds its
// download as complete, or the file is in `folder` (CP1251), marked by the
// download that brought it. Each of them knows a file however its link is
// spelt (see DownloadMaker::identityOf). Reads the disk; GUI thread, like
// the queue.
std::vector<EarlierArrival> arrivedFiles(const DownloadsSet& downloads,
                                         const ArrivalHistory& history,
                                         const std::vector<std::string>& links,
                                         const std::string& folder);

} // namespace tolvenka
