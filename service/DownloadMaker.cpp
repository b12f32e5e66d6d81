#include "service/DownloadMaker.h"

#include "http/Url.h"
#include "service/RapidshareDownload.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <stdexcept>

namespace tolvenka {

namespace {

std::atomic<const DownloadMaker*> current{nullptr};

// The bytes that begin `host` in any letter case; every byte for none.
std::array<bool, 256> leadsOf(std::string_view host) {
    std::array<bool, 256> leads{};
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        leads[static_cast<std::size_t>(byte)] =
            host.empty() ||
            kestrune::text::toLowerCp1251(c) == kestrune::text::toLowerCp1251(host[0]);
    }
    return leads;
}

// Where the host of a link to a kind would begin: after "http://" or
// "https://".
std::size_t hostStartOf(std::string_view link) {
    return link.size() > 4 && (link[4] == 's' || link[4] == 'S') ? 8 : 7;
}

} // namespace

DownloadMaker::DownloadMaker() {
    identities[serviceHost()] = &RapidshareDownload::ownIdentityOf;
    existenceChecks[serviceHost()] = &RapidshareDownload::checkFileExists;
    arrivalChecks[serviceHost()] = &RapidshareDownload::hasArrivedIn;
    creators[serviceHost()] = &RapidshareDownload::create;
    loaders[serviceHost()] = &RapidshareDownload::load;
    classifiers.push_back(
        {&RapidshareDownload::classify, serviceHost(), leadsOf(serviceLinkHost())});
    for (const Classifier& classifier : classifiers) {
        for (std::size_t byte = 0; byte < anyHostLeads.size(); ++byte) {
            anyHostLeads[byte] = anyHostLeads[byte] || classifier.hostLeads[byte];
        }
    }

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

std::string DownloadMaker::kindOf(std::string_view link) const {
    for (const Classifier& classifier : classifiers) {
        if (classifier.classify(link) == LinkClass::Download) {
            return classifier.kind;
        }
    }
    return {};
}

LinkClass DownloadMaker::classify(std::string_view link) const {
    const std::size_t hostStart = hostStartOf(link);
    if (hostStart >= link.size()) {
        return LinkClass::Other;
    }
    const auto hostLead = static_cast<unsigned char>(link[hostStart]);
    LinkClass found = LinkClass::Other;
    for (const Classifier& classifier : classifiers) {
        if (!classifier.hostLeads[hostLead]) {
            continue;
        }
        const LinkClass asked = classifier.classify(link);
        if (asked == LinkClass::Download) {
            return asked;
        }
        if (asked == LinkClass::Nameless) {
            found = asked;
        }
    }
    return found;
}

bool DownloadMaker::lacksFileName(std::string_view link) const {
    return classify(link) == LinkClass::Nameless;
}

// Asked of every kind in turn, rather than of the kind that kindOf names:
// the kind knows its own links as it reads them, and a long queue is asked
// about often.
std::string DownloadMaker::identityOf(std::string_view link) const {
    for (const auto& [kind, identityOfOwn] : identities) {
        if (std::optional<std::string> identity = identityOfOwn(link)) {
            return std::move(*identity);
        }
    }
    return http::Url::normalizedForm(link);
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
