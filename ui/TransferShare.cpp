#include "ui/TransferShare.h"

#include "engine/Download.h"

#include <algorithm>
#include <cstdint>

namespace tolvenka {

int permilleReceived(const Download& download) {
    const std::int64_t total = download.getTotalBytes();
    const std::int64_t received = download.getReceivedBytes();
    if (total <= 0 || received < 0) {
        return -1;
    }
    return static_cast<int>(std::clamp<std::int64_t>(
        static_cast<std::int64_t>(static_cast<long double>(received) * 1000 / total), 0, 1000));
}

int percentReceived(const Download& download) {
    const int permille = permilleReceived(download);
    return permille < 0 ? -1 : permille / 10;
}

} // namespace tolvenka
