#include "intake/ArrivedFiles.h"

#include "platform/FolderListing.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"

namespace tolvenka {

std::vector<bool> arrivedFiles(const DownloadsSet& downloads, const std::vector<std::string>& links,
                               const std::string& folder) {
    std::vector<bool> arrived = downloads.holdsComplete(links);
    // The folder is read once, and only the files it holds are looked at.
    const platform::FolderListing listing(folder);
    const PathTaken isTaken = [&](const std::string& path) {
        return listing.isTaken(path) || listing.isTaken(path + ".part");
    };
    const DownloadMaker& maker = downloadMaker();
    for (std::size_t i = 0; i < links.size(); ++i) {
        arrived[i] =
            arrived[i] || maker.hasArrived(maker.kindOf(links[i]), links[i], folder, isTaken);
    }
    return arrived;
}

} // namespace tolvenka
