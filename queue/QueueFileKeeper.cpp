#include "queue/QueueFileKeeper.h"

#include "platform/FileReplacement.h"
#include "platform/FileSystem.h"
#include "platform/GuiThread.h"
#include "platform/Timer.h"
#include "queue/DownloadsSet.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <vector>

namespace tolvenka {

// One save in the background: the records still to go, the bytes made of
// them (hashed as they are made), and the file they go into.
class QueueFileKeeper::BackgroundSave {
public:
    BackgroundSave(const QueueFileKeeper& keeper, const QueueOptions& options,
                   std::unique_ptr<platform::FileReplacement> file)
        : options(options)
        , changes(keeper.set.recordsChangeCount())
        , layout(keeper.set.layoutChangeCount())
        , count(keeper.set.count())
        , fingerprint(&piece)
        , out(&fingerprint)
        , file(std::move(file)) {
        writeQueueOptions(out, options);
    }

    // Whether the members and their order are those the save began with.
    bool ordersAsBefore(const DownloadsSet& set) const { return set.layoutChangeCount() == layout; }

    // Makes the bytes of the records from `next` on until the step's time is
    // up; true once every record is made.
    bool makeRecords(const DownloadsSet& set) {
        using Clock = std::chrono::steady_clock;
        constexpr int recordsBetweenLooks = 64;
        const Clock::time_point deadline =
            Clock::now() + std::chrono::microseconds(STEP_MICROSECONDS);
        while (next < count) {
            const int end = std::min(next + recordsBetweenLooks, count);
            set.save(out, next, end);
            next = end;
            if (Clock::now() >= deadline) {
                break;
            }
        }
        handOver();
        return next == count;
    }

    // What the file will hold, once every record is made; the last bytes
    // go to the file.
    QueueFileFingerprint complete() {
        const QueueFileFingerprint whole = fingerprint.fingerprint();
        handOver();
        return whole;
    }

    void finish() { file->finish(); }

    const QueueOptions options;
    const std::uint64_t changes;
    // Made whole: what the file is to hold, now on its way.
    std::optional<QueueFileFingerprint> made;
    // The writing thread gave up before the bytes were made whole (a file
    // that cannot be written): told only if they differ from the file's.
    int earlyFailure = 0;

private:
    void handOver() {
        if (!piece.view().empty()) {
            file->append(std::move(piece).str());
            piece.str({});
        }
    }

    const std::uint64_t layout;
    const int count;
    int next = 0;
    std::stringbuf piece;
    FingerprintBuffer fingerprint;
    std::ostream out;
    std::unique_ptr<platform::FileReplacement> file;
};

QueueFileKeeper::QueueFileKeeper(std::string path, DownloadsSet& set)
    : path(std::move(path))
    , set(set)
    , stepTimer(std::make_unique<platform::Timer>(1, [this] { saveStep(); }))
    , self(std::make_shared<QueueFileKeeper*>(this)) {
    stepTimer->setEnabled(false);
}

QueueFileKeeper::~QueueFileKeeper() {
    giveUpBackgroundSave();
}

bool QueueFileKeeper::load(QueueOptions& options) {
    return load(readQueueFile(path), options);
}

bool QueueFileKeeper::load(ReadQueueFile read, QueueOptions& options) {
    const QueueFileFingerprint held = read.fingerprint;
    const bool opened = takeQueueFile(std::move(read), options, set);
    checkedChanges = set.recordsChangeCount();
    checkedOptions = options;
    wantedOptions = options;
    // Without a file, the defaults and the queue as they are count as saved.
    saved = opened ? held : fingerprintOf(options);
    return opened;
}

bool QueueFileKeeper::changedSinceChecked(const QueueOptions& options) const {
    return set.recordsChangeCount() != checkedChanges || !(options == checkedOptions);
}

void QueueFileKeeper::saveIfChanged(const QueueOptions& options) {
    wantedOptions = options;
    if (background == nullptr && changedSinceChecked(options)) {
        startBackgroundSave();
    }
}

void QueueFileKeeper::saveSoonestIfChanged(const QueueOptions& options) {
    // A save still making its bytes began before this change: it starts
    // over rather than end first and be followed by another.
    if (background != nullptr && !background->made) {
        giveUpBackgroundSave();
    }
    saveIfChanged(options);
}

void QueueFileKeeper::startBackgroundSave() {
    const std::uint64_t generation = ++backgroundGeneration;
    auto file = std::make_unique<platform::FileReplacement>(
        path, [keeper = std::weak_ptr<QueueFileKeeper*>(self), generation](int error) {
            // Told on the writing thread; dealt with on the GUI thread.
            platform::post([keeper, generation, error] {
                if (const std::shared_ptr<QueueFileKeeper*> alive = keeper.lock()) {
                    (*alive)->backgroundSaveEnded(generation, error);
                }
            });
        });
    background = std::make_unique<BackgroundSave>(*this, wantedOptions, std::move(file));
    stepTimer->setEnabled(true);
}

void QueueFileKeeper::saveStep() {
    if (background == nullptr) {
        stepTimer->setEnabled(false);
        return;
    }
    if (!background->ordersAsBefore(set)) {
        giveUpBackgroundSave();
        startBackgroundSave();
        return;
    }
    if (!background->makeRecords(set)) {
        return;
    }
    stepTimer->setEnabled(false);
    background->made = background->complete();
    if (background->made == saved) {
        // The file holds these bytes already: nothing is written.
        endBackgroundSave(0, false);
    } else if (background->earlyFailure != 0) {
        endBackgroundSave(background->earlyFailure, false);
    } else {
        background->finish();
    }
}

void QueueFileKeeper::backgroundSaveEnded(std::uint64_t generation, int error) {
    if (generation != backgroundGeneration || background == nullptr) {
        return; // given up, and dealt with then
    }
    if (!background->made) {
        background->earlyFailure = error;
        return;
    }
    endBackgroundSave(error, error == 0);
}

void QueueFileKeeper::endBackgroundSave(int error, bool written) {
    // Dealt with either way: a file that cannot be written is tried again
    // at the next change.
    checkedChanges = background->changes;
    checkedOptions = background->options;
    if (written) {
        saved = *background->made;
    }
    giveUpBackgroundSave();
    failure = error;
    if (error != 0 && onSaveFailed) {
        onSaveFailed();
    }
    saveIfChanged(wantedOptions);
}

void QueueFileKeeper::giveUpBackgroundSave() {
    if (stepTimer) {
        stepTimer->setEnabled(false);
    }
    ++backgroundGeneration;
    // Waits for the writing thread, which has at most one flush to finish.
    background.reset();
}

bool QueueFileKeeper::save(const QueueOptions& options) {
    giveUpBackgroundSave();
    wantedOptions = options;
    // Whether it is written or not, this state has been dealt with: a file
    // that cannot be written is tried again at the next change.
    checkedChanges = set.recordsChangeCount();
    checkedOptions = options;
    QueueFileFingerprint written;
    // The file is written as its fingerprint is taken, a block at a time: a
    // long queue's file is never held whole.
    const bool replaced = platform::replaceFileAtomically(
        path, [&](std::ostream& out) { written = fingerprintOf(options, out.rdbuf()); }, &failure);
    if (!replaced) {
        return false;
    }
    failure = 0;
    saved = written;
    return true;
}

QueueFileFingerprint QueueFileKeeper::fingerprintOf(const QueueOptions& options,
                                                    std::streambuf* copyTo) const {
    auto fingerprint = std::make_unique<FingerprintBuffer>(copyTo);
    std::ostream out(fingerprint.get());
    writeQueueFile(out, options, set);
    return fingerprint->fingerprint();
}

} // namespace tolvenka
