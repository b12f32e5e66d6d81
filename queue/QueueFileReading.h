#pragma once

#include "platform/Thread.h"
#include "queue/QueueFile.h"

#include <exception>
#include <functional>
#include <mutex>
#include <string>

namespace tolvenka {

// Reads the queue file on a thread of its own, so that a long queue is read
// while the toolkit starts and the window is built. The registry of download
// kinds must exist before, and the queue's lock be held.
class QueueFileReading : public platform::Thread {
public:
    explicit QueueFileReading(std::string path);
    ~QueueFileReading() override;

    // Any thread. Calls `onRead` once the reading has ended, on the reading
    // thread; false, and nothing is called, when it has ended already.
    bool whenRead(std::function<void()> onRead);

    // Waits for the reading to end and hands over what was read; once. What
    // the reading threw is thrown here.
    ReadQueueFile take();

protected:
    void execute() override;

private:
    const std::string path;
    ReadQueueFile read;         // the reading thread's until it has ended
    std::exception_ptr failure; // likewise
    std::mutex mutex;           // guards the two below
    std::function<void()> onRead;
    bool ended = false;
};

} // namespace tolvenka
