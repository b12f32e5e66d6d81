#pragma once

#include "http/SpeedLimit.h"
#include "intake/TDownloadsListDialog.h"
#include "intake/TwaitDialog.h"
#include "queue/ArrivalHistory.h"
#include "queue/DownloadsSet.h"

#include <atomic>
#include <filesystem>
#include <string>

namespace tolvenka {

// "tolvenka/history.sqlite" in the user's data folder ($XDG_DATA_HOME,
// ~/.local/share by default), as the environment says now.
std::filesystem::path historyFilePath();

// The state the whole program shares, one instance for the life of the
// process. main() creates it after the application object and the download
// registry (its timers and dialogs need the first, the set the second) and
// destroys it before them. The history of arrivals and the queue are built
// first and torn down last, so the dialogs that add to the queue go before
// it; the confirmation dialog takes the wait dialog, which is therefore
// built before it. Every file of the queue that arrives is recorded in the
// history.
class Main {
public:
    // `historyFile`: the history of arrivals.
    explicit Main(std::filesystem::path historyFile = historyFilePath());
    ~Main();

    Main(const Main&) = delete;
    Main& operator=(const Main&) = delete;

    // What the downloads receive at most. Set on the GUI thread, read by the
    // transfer under way as it reads; it outlives the downloads.
    http::SpeedLimit speedLimit;
    ArrivalHistory history;
    DownloadsSet downloadsSet;
    // CP1251. The folder the confirmation dialog offers for new downloads.
    std::string targetFolder;
    // Remove downloads from the queue once complete. Written on the GUI
    // thread, read by the worker's finish step.
    std::atomic<bool> deleteCompleted{true};
    TwaitDialog waitDialog;
    TDownloadsListDialog DownloadsListDialog;
};

// The user's download folder, or else the home folder, with a trailing "/".
std::string defaultTargetFolder();

} // namespace tolvenka
