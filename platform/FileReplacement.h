#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

// Replaces a file the safe way of replaceFileAtomically (a temporary file
// beside it, flushed to the disk, renamed over it, the folder synced), on a
// thread of its own: its content arrives in pieces while it is written, so
// that whoever makes the content never waits for the disk.
//
// Pieces come from one thread, the owner's. The owner may give up at any
// moment: the temporary file is removed and the old file stays as it was.
class FileReplacement {
public:
    // `whenDone` is called on the writing thread once the replacement has
    // ended: with 0 when the file was replaced, or the system's error number
    // when it failed and the old file was left; never once it was given up.
    // It may outlive this object, must not throw and must not wait.
    FileReplacement(std::string path, std::function<void(int error)> whenDone);
    // Gives up a replacement that has not been finished, without waiting
    // for the disk: its thread throws its pieces away on its own. One that
    // has been finished is waited for, so that its rename comes before
    // anything that follows it.
    ~FileReplacement();

    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    void append(std::string piece);
    // The content is whole: it replaces the file.
    void finish();
    // Nothing replaces the file; the pieces written so far are thrown away.
    void giveUp();

private:
    struct Shared {
        std::mutex mutex; // guards all below
        std::condition_variable changed;
        std::deque<std::string> pieces;
        bool finished = false;
        bool givenUp = false;
        bool ended = false; // the writing thread is done with the pieces
    };

    static void write(const std::string& path, Shared& shared,
                      const std::function<void(int)>& whenDone);

    std::shared_ptr<Shared> shared;
    std::thread thread;
};

} // namespace platform
