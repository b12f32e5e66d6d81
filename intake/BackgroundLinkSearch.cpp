#include "intake/BackgroundLinkSearch.h"

#include "intake/TextSearch.h"
#include "platform/GuiWakeUp.h"

namespace tolvenka {

BackgroundLinkSearch::BackgroundLinkSearch()
    : wakeUp(std::make_unique<platform::GuiWakeUp>([this] { tellFound(); })) {}

BackgroundLinkSearch::~BackgroundLinkSearch() {
    {
        std::lock_guard lock(mutex);
        jobs.clear();
    }
    if (thread.joinable()) {
        thread.join();
    }
}

void BackgroundLinkSearch::search(QString text, std::size_t maxBytes) {
    {
        std::lock_guard lock(mutex);
        jobs.push_back(Job{std::move(text), maxBytes});
    }
    startThreadIfIdle();
}

bool BackgroundLinkSearch::isBusy() const {
    std::lock_guard lock(mutex);
    return !jobs.empty() || running || !found.empty();
}

void BackgroundLinkSearch::startThreadIfIdle() {
    {
        std::lock_guard lock(mutex);
        if (running || jobs.empty()) {
            return;
        }
        running = true;
    }
    // A thread that ran out of work has left its loop, or is about to.
    if (thread.joinable()) {
        thread.join();
    }
    thread = std::thread([this] { work(); });
}

// The searching thread.
void BackgroundLinkSearch::work() {
    std::unique_lock lock(mutex);
    while (!jobs.empty()) {
        Job job = std::move(jobs.front());
        jobs.pop_front();
        lock.unlock();
        FoundLinks links = findLinks(job.text, job.maxBytes);
        job.text.clear();
        lock.lock();
        found.push_back(std::move(links));
        wakeUp->request();
    }
    running = false;
    idle.notify_all();
}

void BackgroundLinkSearch::finishNow() {
    {
        std::unique_lock lock(mutex);
        idle.wait(lock, [this] { return !running; });
    }
    // The thread's last job may not have been started yet.
    if (thread.joinable()) {
        thread.join();
    }
    std::deque<Job> left;
    {
        std::lock_guard lock(mutex);
        left.swap(jobs);
    }
    for (Job& job : left) {
        FoundLinks links = findLinks(job.text, job.maxBytes);
        std::lock_guard lock(mutex);
        found.push_back(std::move(links));
    }
    tellFound();
}

void BackgroundLinkSearch::tellFound() {
    for (;;) {
        FoundLinks links;
        {
            std::lock_guard lock(mutex);
            if (found.empty()) {
                return;
            }
            links = std::move(found.front());
            found.pop_front();
        }
        onFound(std::move(links));
    }
}

} // namespace tolvenka
