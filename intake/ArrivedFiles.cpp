#include "intake/ArrivedFiles.h"

#include "platform/FolderListing.h"
#include "queue/ArrivalHistory.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"

namespace tolvenka {

std::vector<EarlierArrival> arrivedFiles(const DownloadsSet& downloads,
                                         const ArrivalHistory& history,
                                         const std::vector<std::string>& links,
                                         const std::string& folder) {
    const std::vector<std::optional<std::int64_t>> recorded = history.lastArrivals(links);
    const std::vector<bool> complete = downloads.holdsComplete(links);
    // The folder is read once, and only the files it holds are looked at.
    const platform::FolderListing listing(folder);
    const PathTaken isTaken = [&](const std::string& path) {
        return listing.isTaken(path) || listing.isTaken(path + ".part");
    };
    const DownloadMaker& maker = downloadMaker();
    std::vector<EarlierArrival> arrived(links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (recorded[i]) {
            arrived[i] = EarlierArrival{true, *recorded[i]};
        } else {
            arrived[i].arrived =
                complete[i] || maker.hasArrived(maker.kindOf(links[i]), links[i], folder, isTaken);
        }
    }
    return arrived;
}

} // namespace tolvenka
