#include "service/DownloadMaker.h"

#include "http/Url.h"
#include "service/RapidshareDownload.h"
#include "service/ServiceHost.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <stdexcept>

namespace tolvenka {

namespace {

std::atomic<const DownloadMaker*> current{nullptr};

} // namespace

DownloadMaker::DownloadMaker() {
    identities[serviceHost()] = &RapidshareDownload::ownIdentityOf;
    existenceChecks[serviceHost()] = &RapidshareDownload::checkFileExists;
    arrivalChecks[serviceHost()] = &RapidshareDownload::hasArrivedIn;
    creators[serviceHost()] = &RapidshareDownload::create;
    loaders[serviceHost()] = &RapidshareDownload::load;
    recognisers[&RapidshareDownload::isServiceLink] = serviceHost();
    namelessRecognisers.push_back(&RapidshareDownload::isNamelessServiceLink);

    const DownloadMaker* none = nullptr;
    [[maybe_unused]] const bool installed = current.compare_exchange_strong(none, this);
    assert(installed && "only one download registry may live at a time");
}

DownloadMaker::~DownloadMaker() {
    const DownloadMaker* self = this;
    current.compare_exchange_strong(self, nullptr);
}

const DownloadMaker& downloadMaker() {
    const DownloadMaker* maker = current.load();
    if (maker == nullptr) {
        throw std::logic_error("no download registry lives");
    }
    return *maker;
}

std::string DownloadMaker::kindOf(const std::string& link) const {
    for (const auto& [recognises, kind] : recognisers) {
        if (recognises(link)) {
            return kind;
        }
    }
    return {};
}

// Asked of every kind in turn, rather than of the kind that kindOf names:
// the kind knows its own links as it reads them, and a long queue is asked
// about often.
std::string DownloadMaker::identityOf(const std::string& link) const {
    for (const auto& [kind, identityOfOwn] : identities) {
        if (std::optional<std::string> identity = identityOfOwn(link)) {
            return std::move(*identity);
        }
    }
    return http::Url::normalizedForm(link);
}

bool DownloadMaker::lacksFileName(const std::string& link) const {
    return std::any_of(namelessRecognisers.begin(), namelessRecognisers.end(),
                       [&](LinkRecogniser recognises) { return recognises(link); });
}

bool DownloadMaker::fileExists(const std::string& kind, const std::string& link,
                               http::HttpClient& client) const {
    const auto check = existenceChecks.find(kind);
    return check != existenceChecks.end() && check->second(client, link);
}

bool DownloadMaker::hasArrived(const std::string& kind, const std::string& link,
                               const std::string& folder, const PathTaken& isTaken) const {
    const auto check = arrivalChecks.find(kind);
    return check != arrivalChecks.end() &&
           check->second(link, folder, isTaken ? isTaken : PathTaken(Download::isPathTaken));
}

std::unique_ptr<Download>
DownloadMaker::createDownload(const std::string& kind, const std::string& url,
                              const std::string& folder, const PathTaken& isTaken,
                              Download::NextFreeNumbers* nextNumbers) const {
    const auto creator = creators.find(kind);
    if (creator == creators.end()) {
        return nullptr;
    }
    return creator->second(url, folder, isTaken ? isTaken : PathTaken(Download::isPathTaken),
                           nextNumbers);
}

std::unique_ptr<Download> DownloadMaker::loadDownload(const std::string& kind, std::istream& in,
                                                      platform::DirectoryLookup& folders) const {
    const auto loader = loaders.find(kind);
    if (loader != loaders.end()) {
        return loader->second(in, folders);
    }
    // Skip the record's own lines, leaving the closing empty line (a line
    // that is only CR counts as empty) for the caller, as a loader would.
    while (in) {
        const int next = in.peek();
        if (next == '\n' || next == std::char_traits<char>::eof()) {
            break;
        }
        if (next == '\r') {
            in.get();
            const bool emptyLine = in.peek() == '\n';
            in.unget();
            if (emptyLine) {
                break;
            }
        }
        std::string skipped;
        std::getline(in, skipped);
    }
    return nullptr;
}

} // namespace tolvenka
