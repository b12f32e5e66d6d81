#include "intake/LinksLoadingThread.h"

#include "engine/FailureReason.h"
#include "http/HttpClient.h"
#include "intake/LinkExtraction.h"
#include "support/Cp1251.h"
#include "widgets/LinkText.h"

namespace tolvenka {

using namespace kestrune::text::literals;

LinksLoadingThread::LinksLoadingThread(TwaitDialog& waitDialog, std::string pageUrl,
                                       std::vector<std::string>& allLinks,
                                       std::vector<std::string>& downloadLinks,
                                       PageLoadOutcome& outcome)
    : WaitThread(waitDialog)
    , pageUrl(std::move(pageUrl))
    , allLinks(allLinks)
    , downloadLinks(downloadLinks)
    , outcome(outcome) {
    start();
}

LinksLoadingThread::~LinksLoadingThread() {
    wait();
}

void LinksLoadingThread::doWork() {
    showInfo(std::string("Загрузка списка..."_cp1251));
    // The client holds a page in memory only up to its cap, so a huge or
    // endless reply fails like any failed load. A page that has moved (to
    // https, say) is followed as a browser follows it.
    try {
        extractLinks(linkTextOfPage(client().GetFollowingRedirects(pageUrl)), pageLinks,
                     pageDownloadLinks);
    } catch (...) {
        // A page that could not be loaded is not a page without links.
        failureReason = failureReasonOf(std::current_exception());
    }
}

void LinksLoadingThread::onDone() {
    allLinks.insert(allLinks.end(), pageLinks.begin(), pageLinks.end());
    downloadLinks.insert(downloadLinks.end(), pageDownloadLinks.begin(), pageDownloadLinks.end());
    outcome.finished = true;
    outcome.failureReason = failureReason;
}

} // namespace tolvenka
