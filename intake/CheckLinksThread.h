#pragma once

#include "intake/WaitThread.h"

#include <optional>
#include <string>
#include <vector>

namespace tolvenka {

class LinkListModel;

// Asks the service, row by row, whether the files behind the checked links
// still exist. The row of a missing file is unchecked and drawn in red; if
// any was found, a message says so at the end, and so it does for links
// that could not be checked (they stay checked). A cancelled check stops at
// once (the question in progress is cut) and shows no message. The rows stay
// alive and unchanged by anyone else until the job has finished (the wait
// dialog is modal over them).
class CheckLinksThread final : public WaitThread {
public:
    CheckLinksThread(TwaitDialog& waitDialog, LinkListModel& links);
    ~CheckLinksThread() override;

private:
    void doWork() override;
    void onDone() override;

    // GUI thread. Shows the progress for the row (0-based, of `rows`) and
    // returns its link if the row is checked.
    std::optional<std::string> beginRow(int row, int rows);
    // GUI thread.
    void markMissing(int row);

    LinkListModel& links;
    bool missingFound = false; // the GUI thread only
    // The job's thread, read by onDone() after it.
    int uncheckedLinks = 0;
    std::string firstFailureReason;
};

} // namespace tolvenka
