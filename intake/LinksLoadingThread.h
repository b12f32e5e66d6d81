#pragma once

#include "intake/WaitThread.h"

#include <string>
#include <vector>

namespace tolvenka {

// How a page load ended, for the caller to tell the user.
struct PageLoadOutcome {
    // False when the load was cancelled: there is nothing to tell.
    bool finished = false;
    // Why the page could not be loaded (CP1251); empty when it was.
    std::string failureReason;
};

// Fetches a web page and appends the addresses in it to the caller's lists:
// all of them to `allLinks`, the download links among them to
// `downloadLinks`. A failed or cancelled load leaves both lists as they were.
// The caller keeps the lists and `outcome` alive until the job has finished
// and reads them only then.
class LinksLoadingThread final : public WaitThread {
public:
    LinksLoadingThread(TwaitDialog& waitDialog, std::string pageUrl,
                       std::vector<std::string>& allLinks, std::vector<std::string>& downloadLinks,
                       PageLoadOutcome& outcome);
    ~LinksLoadingThread() override;

private:
    void doWork() override;
    void onDone() override;

    const std::string pageUrl;
    std::vector<std::string>& allLinks;
    std::vector<std::string>& downloadLinks;
    PageLoadOutcome& outcome;
    // Found on the job's thread, handed to the caller on the GUI thread by
    // onDone(), which a cancelled job skips.
    std::vector<std::string> pageLinks;
    std::vector<std::string> pageDownloadLinks;
    std::string failureReason;
};

} // namespace tolvenka
