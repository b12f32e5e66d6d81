#pragma once

#include "intake/WaitThread.h"

#include <string>
#include <vector>

namespace tolvenka {

// Fetches a web page and appends the addresses in it to the caller's lists:
// all of them to `allLinks`, the download links among them to
// `downloadLinks`. A failed or cancelled load leaves both lists as they were.
// The caller keeps the lists alive until the job has finished and reads them
// only then.
class LinksLoadingThread final : public WaitThread {
public:
    LinksLoadingThread(TwaitDialog& waitDialog, std::string pageUrl,
                       std::vector<std::string>& allLinks, std::vector<std::string>& downloadLinks);
    ~LinksLoadingThread() override;

private:
    void doWork() override;
    void onDone() override;

    const std::string pageUrl;
    std::vector<std::string>& allLinks;
    std::vector<std::string>& downloadLinks;
    // Found on the job's thread, handed to the caller's lists on the GUI
    // thread by onDone(), which a cancelled job skips.
    std::vector<std::string> pageLinks;
    std::vector<std::string> pageDownloadLinks;
};

} // namespace tolvenka
