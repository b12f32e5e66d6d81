#pragma once

#include "queue/QueueFile.h"
#include "queue/QueueFileFingerprint.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class Timer;
}

namespace tolvenka {

class DownloadsSet;

// Reads the queue file into the queue and keeps it in step with the queue
// and the options. A check that finds neither changed since the last one
// costs nothing, however long the queue; otherwise the file is written when
// what it would hold differs from what it holds.
//
// Saves while the program runs go on in the background, so that the window
// never waits for them however long the queue: the records are turned into
// bytes on the GUI thread a step at a time, each a millisecond or so, and
// written, flushed and renamed into place on a thread of their own. Should
// the queue's members or their order change during a save, it starts over.
class QueueFileKeeper {
public:
    // The longest the GUI thread spends on one step of a background save.
    static constexpr int STEP_MICROSECONDS = 1000;

    QueueFileKeeper(std::string path, DownloadsSet& set);
    // Gives up a background save under way; the file stays as it was.
    ~QueueFileKeeper();

    QueueFileKeeper(const QueueFileKeeper&) = delete;
    QueueFileKeeper& operator=(const QueueFileKeeper&) = delete;

    // GUI thread, at start. Reads the file into `options` (the defaults on
    // entry) and the queue, as loadQueueFile does, or takes a file read
    // elsewhere; only a change from what the file holds is written.
    bool load(QueueOptions& options);
    bool load(ReadQueueFile read, QueueOptions& options);
    // GUI thread. Saves the file in the background if the queue or the
    // options changed; a change during a save is saved after it. A failed
    // save calls `onSaveFailed` and is tried again at the next change, not
    // before, since a file that cannot be written now rarely can in a
    // moment and making a long queue's file costs.
    void saveIfChanged(const QueueOptions& options);
    // GUI thread. The same for a change that is to be kept as soon as can
    // be (a file that arrived): a save under way that began before it
    // starts over.
    void saveSoonestIfChanged(const QueueOptions& options);
    // GUI thread. Writes the file now whatever changed, after giving up a
    // background save. False when it failed and the file was left as it
    // was.
    bool save(const QueueOptions& options);
    // GUI thread. Whether a background save is under way.
    bool isSaving() const { return background != nullptr; }
    // The system's error number of the last failed write.
    int lastError() const { return failure; }

    // GUI thread: a background save failed; `lastError` says why.
    std::function<void()> onSaveFailed;

private:
    class BackgroundSave;

    // The length and hash of what the file would hold, which go to `copyTo`
    // as well when it is given.
    QueueFileFingerprint fingerprintOf(const QueueOptions& options,
                                       std::streambuf* copyTo = nullptr) const;
    bool changedSinceChecked(const QueueOptions& options) const;
    void startBackgroundSave();
    void saveStep();
    // GUI thread: the background save `generation` ended with `error` (see
    // platform::FileReplacement).
    void backgroundSaveEnded(std::uint64_t generation, int error);
    // The background save is over: `error` as the last error, and the bytes
    // it made as what the file holds if `written`.
    void endBackgroundSave(int error, bool written);
    void giveUpBackgroundSave();

    const std::string path;
    DownloadsSet& set;
    // What was last dealt with: saved, found unchanged, or tried and failed.
    std::uint64_t checkedChanges = 0;
    QueueOptions checkedOptions;
    // The options of the latest request, saved once a save under way ends.
    QueueOptions wantedOptions;
    // What the file holds, when it is known: its length and hash.
    std::optional<QueueFileFingerprint> saved;
    int failure = 0;
    std::unique_ptr<BackgroundSave> background;
    // Counts background saves; the end of one given up is not taken for
    // the end of the next.
    std::uint64_t backgroundGeneration = 0;
    // Steps a background save while there is one.
    std::unique_ptr<platform::Timer> stepTimer;
    // Lets a save's end, told from its thread, find whether the keeper is
    // still there.
    std::shared_ptr<QueueFileKeeper*> self;
};

} // namespace tolvenka
