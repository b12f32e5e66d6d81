#pragma once

#include "engine/Download.h"
#include "service/LinkClass.h"

#include <array>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace http {
class HttpClient;
}
namespace platform {
class DirectoryLookup;
}

namespace tolvenka {

// Whether a kind takes a link, refuses it for want of a file name, or has
// nothing to do with it. Answers from the link's start and end only, so that
// asking about every address of a long text costs no more than the text.
using LinkClassifier = LinkClass (*)(std::string_view link);
// Asks through `client`, so that whoever owns the client can cut the
// question short with its Disconnect.
using ExistenceCheck = bool (*)(http::HttpClient& client, const std::string& link);
// Whether a path is taken, on disk or by another download.
using PathTaken = std::function<bool(const std::string& path)>;
// The new download's file goes to the first path in `folder` that is not
// taken, so that it never replaces a file it did not write.
// For a batch, `nextNumbers` (or null) goes on with the numbering of names
// (see Download::firstFreePath).
using DownloadCreator = std::unique_ptr<Download> (*)(const std::string& url,
                                                      const std::string& folder,
                                                      const PathTaken& isTaken,
                                                      Download::NextFreeNumbers* nextNumbers);
// Whether the file of `link` arrived whole in `folder` in an earlier
// download: it is there, marked as that link's own. `isTaken` tells which
// names in the folder are taken.
using ArrivalCheck = bool (*)(const std::string& link, const std::string& folder,
                              const PathTaken& isTaken);
// The identity of the file a link of the kind names (see
// DownloadMaker::identityOf); nothing for a link that is not the kind's.
using IdentityOf = std::optional<std::string> (*)(std::string_view link);
// Stored target paths are looked up in `folders` (see Download::storedTargetPath).
using DownloadLoader = std::unique_ptr<Download> (*)(std::istream& in,
                                                     platform::DirectoryLookup& folders);

// The registry of download kinds: for each kind name, the kind's link
// recogniser, identity, existence check, arrival check, creator and loader. Nothing
// outside it names a concrete kind. Its maps are filled by the constructor
// and only read after, so any thread may ask it.
//
// While a registry lives it is the program's registry, the one that
// `downloadMaker()` returns: main() makes one after the service host is set
// up, and tests make their own.
class DownloadMaker {
public:
    DownloadMaker();
    ~DownloadMaker();

    DownloadMaker(const DownloadMaker&) = delete;
    DownloadMaker& operator=(const DownloadMaker&) = delete;

    // The kind name of the link, or "" when no kind accepts it.
    std::string kindOf(std::string_view link) const;
    // What the link is to the kinds: a download link if one takes it.
    LinkClass classify(std::string_view link) const;
    // The bytes that may begin the host of a link some kind takes or would
    // take with a file name: any other after "http://" or "https://" makes
    // a link that `classify` calls Other. A search through many addresses
    // asks this first.
    const std::array<bool, 256>& hostLeads() const { return anyHostLeads; }
    // What the file a link names is, however the link is spelt: every
    // question of "already" (queued, arrived, offered before) compares it.
    // A kind that knows its files by something of their own says so (the
    // service: its file number and name); any other link is its
    // http::Url::normalizedForm. Any thread.
    std::string identityOf(std::string_view link) const;
    // Whether a kind refuses the link only because it names no file.
    bool lacksFileName(std::string_view link) const;
    // The kind's existence check, asked through `client`; false for an
    // unknown kind. May throw.
    bool fileExists(const std::string& kind, const std::string& link,
                    http::HttpClient& client) const;
    // The kind's arrival check; false for an unknown kind. Without
    // `isTaken`, a path is taken when Download::isPathTaken says so.
    bool hasArrived(const std::string& kind, const std::string& link, const std::string& folder,
                    const PathTaken& isTaken = {}) const;
    // A new download, or null for an unknown kind. Without `isTaken`, a path
    // is taken when Download::isPathTaken says so.
    std::unique_ptr<Download>
    createDownload(const std::string& kind, const std::string& url, const std::string& folder,
                   const PathTaken& isTaken = {},
                   Download::NextFreeNumbers* nextNumbers = nullptr) const;
    // A download read by the kind's loader, or null for an unknown kind, whose
    // record is then skipped up to (not including) its closing empty line.
    std::unique_ptr<Download> loadDownload(const std::string& kind, std::istream& in,
                                           platform::DirectoryLookup& folders) const;

private:
    std::map<std::string, IdentityOf> identities;
    std::map<std::string, ExistenceCheck> existenceChecks;
    std::map<std::string, ArrivalCheck> arrivalChecks;
    std::map<std::string, DownloadCreator> creators;
    std::map<std::string, DownloadLoader> loaders;
    // A kind's links begin with "http://" or "https://" and the kind's host,
    // which is its name: a link whose host begins with a byte that cannot
    // begin the kind's is passed over without asking the kind, which is most
    // addresses of a page.
    struct Classifier {
        LinkClassifier classify;
        std::string kind;
        std::array<bool, 256> hostLeads;
    };
    std::vector<Classifier> classifiers;
    std::array<bool, 256> anyHostLeads{};
};

// The registry that lives now. There must be one.
const DownloadMaker& downloadMaker();

} // namespace tolvenka
