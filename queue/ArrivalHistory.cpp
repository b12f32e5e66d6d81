#include "queue/ArrivalHistory.h"

#include "service/DownloadMaker.h"
#include "support/Cp1251.h"

#include <chrono>

namespace tolvenka {

namespace {

// A file in the current folder is kept with the folder's path, so that the
// record names it wherever the program runs next.
std::string wholePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path whole =
        std::filesystem::absolute(kestrune::text::toUtf8(path), error);
    return error ? path : kestrune::text::fromUtf8(whole.lexically_normal().string());
}

} // namespace

ArrivalHistory::ArrivalHistory(std::filesystem::path file)
    : store(std::move(file)) {}

void ArrivalHistory::recordArrival(const Download& download, const Download::ArrivedFile& file) {
    try {
        platform::HistoryRecord record;
        record.identity = downloadMaker().identityOf(download.getLink());
        record.link = download.getLink();
        record.path = wholePath(std::string(download.getTargetPath()));
        record.fileName = record.path.substr(record.path.rfind('/') + 1);
        record.size = file.bytes;
        record.arrivedAt = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
        record.seconds = file.seconds;
        store.add(record, file.foundByMark);
    } catch (...) {
        // Out of memory, or no registry: the file is there all the same.
    }
}

std::vector<std::optional<std::int64_t>>
ArrivalHistory::lastArrivals(const std::vector<std::string>& links) const {
    // A long list of links costs its identities only when there is
    // anything to find.
    if (links.empty() || store.isEmpty()) {
        return std::vector<std::optional<std::int64_t>>(links.size());
    }
    const DownloadMaker& maker = downloadMaker();
    std::vector<std::string> identities;
    identities.reserve(links.size());
    for (const std::string& link : links) {
        identities.push_back(maker.identityOf(link));
    }
    return store.lastArrivals(identities);
}

} // namespace tolvenka
