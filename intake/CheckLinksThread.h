#pragma once

#include "intake/LinkBox.h"
#include "intake/WaitThread.h"

#include <optional>
#include <string>
#include <vector>

namespace tolvenka {

// Asks the service, box by box, whether the files behind the checked links
// still exist. The box of a missing file is unchecked and drawn in red; if
// any was found, a message says so at the end. A cancelled check stops before
// its next box and shows no message. The boxes stay alive and unchanged by
// anyone else until the job has finished (the wait dialog is modal over
// them).
class CheckLinksThread final : public WaitThread {
public:
    CheckLinksThread(TwaitDialog& waitDialog, const std::vector<LinkBox>& linkBoxes);
    ~CheckLinksThread() override;

private:
    void doWork() override;
    void onDone() override;

    // GUI thread. Shows the progress for the box (1-based `number`) and
    // returns its link if the box is checked.
    std::optional<std::string> beginBox(const LinkBox& linkBox, int number);
    // GUI thread.
    void markMissing(const LinkBox& linkBox);

    const std::vector<LinkBox>& linkBoxes;
    int boxNumber = 0;         // the job's thread only
    bool missingFound = false; // the GUI thread only
};

} // namespace tolvenka
