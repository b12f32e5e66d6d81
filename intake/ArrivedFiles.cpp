#include "intake/ArrivedFiles.h"

#include "http/Url.h"
#include "platform/FolderListing.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"

#include <unordered_set>

namespace tolvenka {

std::vector<bool> arrivedFiles(const DownloadsSet& downloads, const std::vector<std::string>& links,
                               const std::string& folder) {
    std::unordered_set<std::string> complete;
    for (const std::unique_ptr<Download>& download : downloads) {
        if (download->getState() == Download::State::Complete) {
            complete.insert(http::Url::comparableForm(download->getLink()));
        }
    }
    // The folder is read once, and only the files it holds are looked at.
    const platform::FolderListing listing(folder);
    const PathTaken isTaken = [&](const std::string& path) {
        return listing.isTaken(path) || listing.isTaken(path + ".part");
    };
    const DownloadMaker& maker = downloadMaker();
    std::vector<bool> arrived(links.size(), false);
    for (std::size_t i = 0; i < links.size(); ++i) {
        arrived[i] =
            (!complete.empty() && complete.count(http::Url::comparableForm(links[i])) != 0) ||
            maker.hasArrived(maker.kindOf(links[i]), links[i], folder, isTaken);
    }
    return arrived;
}

} // namespace tolvenka
