#pragma once

#include "intake/FoundLinks.h"
#include "intake/WaitThread.h"

#include <QString>
#include <cstddef>
#include <optional>

namespace tolvenka {

// Finds the addresses of a long text under the wait dialog, so that the
// window goes on answering while it is searched. `found` gets them once the
// job is over, unless it was cancelled; the caller keeps it alive until then.
class LinksFindingThread final : public WaitThread {
public:
    LinksFindingThread(TwaitDialog& waitDialog, QString text, std::size_t maxBytes,
                       std::optional<FoundLinks>& found);
    ~LinksFindingThread() override;

private:
    void doWork() override;
    void onDone() override;

    const QString text;
    const std::size_t maxBytes;
    std::optional<FoundLinks>& found;
    FoundLinks links; // the job's own until onDone()
};

} // namespace tolvenka
