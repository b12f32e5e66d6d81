#pragma once

#include "intake/FoundLinks.h"
#include "support/Event.h"

#include <QString>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {
class GuiWakeUp;
}

namespace tolvenka {

// Searches texts for links on a thread of its own, so that a long one (a
// large copy, a later start's hand-over) never holds the window. Texts are
// searched in the order given and their links told in that order, on the
// GUI thread. The thread runs only while there are texts to search.
//
// Every call comes from the GUI thread.
class BackgroundLinkSearch {
public:
    BackgroundLinkSearch();
    // Waits for the text being searched, if any; no more is told.
    ~BackgroundLinkSearch();

    BackgroundLinkSearch(const BackgroundLinkSearch&) = delete;
    BackgroundLinkSearch& operator=(const BackgroundLinkSearch&) = delete;

    // Searches at most the first `maxBytes` of `text` (see findLinks).
    void search(QString text, std::size_t maxBytes);
    // Whether a text given has not been told yet.
    bool isBusy() const;
    // Searches what is left now, waiting for it, and tells it before
    // returning: a close keeps what was promised.
    void finishNow();

    // The links of each text, in the order the texts came.
    kestrune::Event<FoundLinks> onFound;

private:
    struct Job {
        QString text;
        std::size_t maxBytes;
    };

    void startThreadIfIdle();
    void work();
    void tellFound();

    mutable std::mutex mutex; // guards all below up to `thread`
    std::condition_variable idle;
    std::deque<Job> jobs;
    std::deque<FoundLinks> found;
    bool running = false;
    std::thread thread;
    std::unique_ptr<platform::GuiWakeUp> wakeUp;
};

} // namespace tolvenka
