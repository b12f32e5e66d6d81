#pragma once

#include "intake/FoundLinks.h"
#include "intake/WaitThread.h"

#include <string>

namespace tolvenka {

// How a page load ended, for the caller to tell the user.
struct PageLoadOutcome {
    // False when the load was cancelled: there is nothing to tell.
    bool finished = false;
    // Why the page could not be loaded (CP1251); empty when it was.
    std::string failureReason;
    // The addresses of the page, when it was loaded.
    FoundLinks links;
};

// Fetches a web page, following its redirects, and finds the addresses in
// it; a page longer than `maxPageBytes` is searched in its first part only.
// The caller keeps `outcome` alive until the job has finished and reads it
// only then.
class LinksLoadingThread final : public WaitThread {
public:
    LinksLoadingThread(TwaitDialog& waitDialog, std::string pageUrl, PageLoadOutcome& outcome);
    ~LinksLoadingThread() override;

private:
    void doWork() override;
    void onDone() override;

    const std::string pageUrl;
    PageLoadOutcome& outcome;
    // Found on the job's thread, handed to the caller on the GUI thread by
    // onDone(), which a cancelled job skips.
    FoundLinks pageLinks;
    std::string failureReason;
};

} // namespace tolvenka
