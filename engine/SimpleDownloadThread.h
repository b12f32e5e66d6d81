#pragma once

#include "platform/Thread.h"
#include "support/Event.h"

#include <atomic>
#include <exception>
#include <functional>
#include <string>

namespace http {
class SpeedLimit;
}

namespace tolvenka {

class Download;
class DownloadQueue;

// The background thread that runs a queue: for one slot of it it picks
// the first download of its kind that is due, runs it, and closes it, over
// and over. Picking and closing happen on the GUI thread (through
// `platform::synchronize`), the run itself on this thread. With nothing to
// run it sleeps until the queue changes, until the first download that
// waits for its next try is due, or until it is resumed or stopped: an idle
// worker never wakes to look.
//
// The owner deletes the worker only after `isFinished` turned true: a pass
// waits for the GUI thread, so the GUI thread must never block on the worker.
class SimpleDownloadThread : public platform::Thread {
public:
    // The pause after a pick or finish step that failed, so that a fault
    // that repeats cannot spin.
    static constexpr int WORKER_IDLE_SLEEP_MS = 100;

    // Called on the worker thread with what a failed pick or finish step
    // threw; the worker goes on with its next pass when it returns.
    using ErrorReport = std::function<void(std::exception_ptr)>;

    // `deleteCompleted` is the application's option, read on the GUI thread
    // after each run; `speedLimit` (null: none) the limit every run keeps to.
    // Both must outlive the worker.
    SimpleDownloadThread(DownloadQueue& queue, int slot, std::string kindName,
                         const std::atomic<bool>& deleteCompleted, ErrorReport reportError = {},
                         const http::SpeedLimit* speedLimit = nullptr);
    ~SimpleDownloadThread() override;

    // GUI thread. Ends the loop after the current pass; the running download
    // is aborted.
    void stop();
    // GUI thread. The running download is aborted (it goes back to Queued and
    // keeps its place) and nothing is picked until `resume`.
    void pause();
    // GUI thread.
    void resume();
    // Any thread. True once the loop has ended.
    bool isFinished() const { return finished.load(); }

    // Fire on the GUI thread; set them there. A run ended in a verdict (the
    // file arrived, it was not found, it stopped with an error), told before
    // a completed download may leave the queue. A run that only went back
    // to the queue (a pause, a removal) is not told.
    kestrune::Event<Download*> onRunEnded;
    // A pick found nothing to run nor to try again later, and some run
    // ended since the worker last went idle: the queue has run out of work.
    // A run that only went back to the queue (a pause, a removal) does not
    // count.
    kestrune::Event<> onOutOfWork;

protected:
    void execute() override;

private:
    void runPass();
    Download* pickDownload(std::int64_t& nextDueMs);
    void finishDownload(Download* download);
    void abortActiveDownload();

    DownloadQueue& queue;
    const std::atomic<bool>& deleteCompleted;
    const ErrorReport reportError;
    const http::SpeedLimit* const speedLimit;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> paused{false};
    std::atomic<bool> finished{false};
    // The download between the pick and the finish step, for stop and pause
    // to abort. Whoever takes it out aborts it, so it is aborted once.
    std::atomic<Download*> activeDownload{nullptr};
    // GUI thread: some run ended in a verdict since the last fruitless pick.
    bool workedSinceIdle = false;
    const int workerSlot;
    const std::string workerKind;
};

} // namespace tolvenka
