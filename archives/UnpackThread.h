#pragma once

#include "archives/UnpackOutcome.h"
#include "archives/UnpackRequest.h"

#include <atomic>
#include <functional>
#include <thread>

namespace tolvenka::archives {

// Unpacks one set on a thread of its own at the lowest CPU and I/O
// priority. It holds no lock that another thread could want: the GUI
// thread reads the progress from atomics (or takes the request's
// onProgress calls, made on this thread, and posts them over), and learns
// the end from `whenDone`.
//
// Threads: constructed, cancelled and destroyed on one thread (the GUI
// thread); the figures may be read from any.
class UnpackThread {
public:
    // Starts at once. `whenDone` is called on the unpacking thread, once,
    // with the outcome; it must not throw, and should hand the outcome
    // over (platform::post) rather than act on it there.
    UnpackThread(UnpackRequest request, std::function<void(UnpackOutcome)> whenDone);
    // Cancels and waits: the unpacking looks at the cancel between blocks
    // of at most a few MiB, so the wait is short.
    ~UnpackThread();

    UnpackThread(const UnpackThread&) = delete;
    UnpackThread& operator=(const UnpackThread&) = delete;

    // Any thread: ends the unpacking soon with the outcome `Cancelled`,
    // leaving nothing of the set behind.
    void cancel() { cancelled.store(true); }
    bool isCancelled() const { return cancelled.load(); }
    bool isFinished() const { return finished.load(); }
    std::int64_t bytesDone() const { return progress.done.load(); }
    std::int64_t bytesTotal() const { return progress.total.load(); }

private:
    void run(const std::function<void(UnpackOutcome)>& whenDone);

    const UnpackRequest request;
    UnpackProgress progress;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::thread thread;
};

} // namespace tolvenka::archives
