#include "intake/LinksLoadingThread.h"

#include "engine/FailureReason.h"
#include "http/HttpClient.h"
#include "intake/LinkExtraction.h"
#include "support/Cp1251.h"
#include "widgets/LinkText.h"

namespace tolvenka {

using namespace kestrune::text::literals;

LinksLoadingThread::LinksLoadingThread(TwaitDialog& waitDialog, std::string pageUrl,
                                       PageLoadOutcome& outcome)
    : WaitThread(waitDialog)
    , pageUrl(std::move(pageUrl))
    , outcome(outcome) {
    start();
}

LinksLoadingThread::~LinksLoadingThread() {
    wait();
}

void LinksLoadingThread::doWork() {
    showInfo(std::string("Загрузка списка..."_cp1251));
    // A page that has moved (to https, say) is followed as a browser
    // follows it. What lies beyond the size searched is not even read.
    try {
        bool cut = false;
        std::string page = client().GetFollowingRedirects(pageUrl, maxPageBytes, cut);
        const std::size_t pageBytes = page.size();
        pageLinks = extractLinks(linkTextOfPage(std::move(page)), maxPageBytes);
        if (cut) {
            pageLinks.noteCutSource(pageBytes);
        }
    } catch (...) {
        // A page that could not be loaded is not a page without links.
        failureReason = failureReasonOf(std::current_exception());
    }
}

void LinksLoadingThread::onDone() {
    outcome.finished = true;
    outcome.failureReason = failureReason;
    outcome.links = std::move(pageLinks);
}

} // namespace tolvenka
