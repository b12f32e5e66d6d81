#include "engine/SimpleDownloadThread.h"

#include "engine/Download.h"
#include "engine/DownloadQueue.h"
#include "platform/Clock.h"
#include "platform/GuiThread.h"

#include <utility>

namespace tolvenka {

SimpleDownloadThread::SimpleDownloadThread(DownloadQueue& queue, int slot, std::string kindName,
                                           const std::atomic<bool>& deleteCompleted,
                                           ErrorReport reportError,
                                           const http::SpeedLimit* speedLimit)
    : queue(queue)
    , deleteCompleted(deleteCompleted)
    , reportError(std::move(reportError))
    , speedLimit(speedLimit)
    , workerSlot(slot)
    , workerKind(std::move(kindName)) {
    start();
}

SimpleDownloadThread::~SimpleDownloadThread() {
    wait();
}

void SimpleDownloadThread::stop() {
    stopRequested = true;
    abortActiveDownload();
    queue.wakeWorkers();
}

void SimpleDownloadThread::pause() {
    paused = true;
    abortActiveDownload();
}

void SimpleDownloadThread::resume() {
    paused = false;
    queue.wakeWorkers();
}

void SimpleDownloadThread::abortActiveDownload() {
    if (Download* download = activeDownload.exchange(nullptr)) {
        download->abort();
    }
}

void SimpleDownloadThread::execute() {
    // Set however the loop ends: the owner waits for it before deleting us.
    struct MarkFinished {
        std::atomic<bool>& finished;
        ~MarkFinished() { finished = true; }
    } markFinished{finished};

    while (!stopRequested) {
        try {
            runPass();
        } catch (...) {
            // A failed pick or finish step is a fault of the program, not of
            // a download: it is reported, and the queue goes on after the
            // idle pause, so that a fault that repeats cannot spin.
            if (reportError) {
                try {
                    reportError(std::current_exception());
                } catch (...) {
                    // Nothing is left to tell; the queue still goes on.
                }
            }
            platform::sleepMs(WORKER_IDLE_SLEEP_MS);
        }
    }
}

void SimpleDownloadThread::runPass() {
    if (paused) {
        queue.releaseSlot(workerSlot);
        queue.waitForWork(-1);
        return;
    }
    Download* picked = nullptr;
    std::int64_t nextDueMs = -1;
    platform::synchronize([&] { picked = pickDownload(nextDueMs); });
    if (picked == nullptr) {
        if (!stopRequested) {
            queue.waitForWork(nextDueMs);
        }
        return;
    }
    // The picked download is run even if a pause or stop took it out of
    // `activeDownload` meanwhile: it was aborted then, and its run ends at
    // once, back in Queued, which clears the request.
    const Download::ArrivalReport arrivals = [this](Download& download,
                                                    const Download::ArrivedFile& file) {
        queue.fileArrived(download, file);
    };
    try {
        picked->run(speedLimit, &arrivals);
    } catch (...) {
        // The run has put the download in Error; the queue goes on.
    }
    platform::synchronize([&] { finishDownload(picked); });
}

// GUI thread, like pause and stop, so none of them lands inside it.
Download* SimpleDownloadThread::pickDownload(std::int64_t& nextDueMs) {
    if (paused || stopRequested) {
        return nullptr;
    }
    Download* picked = queue.pickNext(workerSlot, workerKind);
    if (picked == nullptr) {
        nextDueMs = queue.nextDueMs(workerKind);
        if (nextDueMs < 0 && std::exchange(workedSinceIdle, false)) {
            onOutOfWork();
        }
    }
    // A handler of the pick event may have paused or stopped us before the
    // download became active, where the abort could not reach it.
    if (picked != nullptr && (paused || stopRequested)) {
        queue.releaseSlot(workerSlot);
        return nullptr;
    }
    activeDownload = picked;
    return picked;
}

// GUI thread. The download is alive only while the slot holds it: one that
// was removed during its run is deleted as the slot lets go of it, so all
// that is done with it comes first.
void SimpleDownloadThread::finishDownload(Download* download) {
    activeDownload = nullptr;
    // From here no pause or stop can reach the download; an abort that came
    // after its run ended would otherwise cut its next run short.
    download->forgetAbort();
    // Told before a completed download may be deleted below.
    if (download->getState() != Download::State::Queued) {
        workedSinceIdle = true;
        onRunEnded(download);
    }
    queue.finishRun(workerSlot);
    if (deleteCompleted) {
        queue.clearComplete();
    }
}

} // namespace tolvenka
