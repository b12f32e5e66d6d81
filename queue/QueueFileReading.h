#pragma once

#include "queue/QueueFile.h"

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tolvenka {

// Reads the queue file on a thread of its own, so that a long queue is read
// while the toolkit starts and the window is built. The registry of download
// kinds must exist before, and the queue's lock be held.
//
// A file on a stalled network mount may never finish reading, and the
// program must still be able to end: a reading nobody waits for any more is
// abandoned. Its thread is let go rather than waited for; it touches nothing
// but what it shares with this object, and parses nothing once abandoned
// (parsing needs the registry, which the program may have torn down). The
// file is parsed as it is read, a block at a time: each wait for a block is
// outside the parsing, so that an abandon never waits for the disk.
class QueueFileReading {
public:
    explicit QueueFileReading(std::string path, FileOpener open = openPlainFile);
    // Abandons a reading that has not ended.
    ~QueueFileReading();

    QueueFileReading(const QueueFileReading&) = delete;
    QueueFileReading& operator=(const QueueFileReading&) = delete;

    // Any thread. Calls `onRead` once the reading has ended, on the reading
    // thread; false, and nothing is called, when it has ended already.
    // `onRead` must not call back into this object.
    bool whenRead(std::function<void()> onRead);
    // Any thread.
    bool hasEnded() const;

    // Waits for the reading to end and hands over what was read; once. What
    // the reading threw is thrown here.
    ReadQueueFile take();

    // Nobody will take what is read, nor be told from the moment it returns.
    // Returns at once unless the file is being parsed, which is short.
    void abandon();

private:
    struct Shared {
        mutable std::mutex mutex; // guards all below
        std::condition_variable changed;
        std::function<void()> onRead;
        bool parsing = false;
        bool ended = false;
        bool abandoned = false;
        ReadQueueFile read;
        std::exception_ptr failure;
    };

    static void readInto(const std::string& path, const FileOpener& open, Shared& shared);

    std::shared_ptr<Shared> shared;
    // Not a platform::Thread: that one is always waited for.
    std::thread thread;
};

} // namespace tolvenka
