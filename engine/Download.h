#pragma once

#include "engine/LinkAndTarget.h"
#include "support/Event.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace http {
class HttpClient;
class SpeedLimit;
} // namespace http
namespace platform {
class DirectoryLookup;
class Timer;
} // namespace platform

namespace tolvenka {

// One remote file, named by a link, fetched into one local file. A concrete
// kind supplies the protocol (`process`); this class holds the state, the
// run frame, the abort, the HTTP client and the progress figures.
//
// Threads: the worker thread calls `run` (and the kind's `process` inside it);
// the GUI thread constructs, destroys, aborts, saves and reads the progress
// figures. Fields that both touch are atomic; the speed samples have a small
// lock of their own.
class Download {
public:
    enum class State : std::uint8_t {
        Queued,
        Processing,
        Error,
        WaitingForStart,
        WaitingForUser,
        Downloading,
        Complete,
        NotFound,
    };

    // What a run tells of a file that arrived whole.
    struct ArrivedFile {
        std::int64_t bytes = -1;   // its size; -1 when not known
        std::int64_t seconds = -1; // how long its transfer took; -1 when not known
        // Found arrived by its mark, where a run that the program's death cut
        // short left it, rather than received now.
        bool foundByMark = false;
    };

    // Whom a run tells of its file that arrived: on the thread that runs
    // it, once the file has its name and before the state says Complete, so
    // that whoever keeps a record of arrivals has it kept before anything
    // else learns of it.
    using ArrivalReport = std::function<void(Download& download, const ArrivedFile& file)>;

    // Thrown by value to unwind a running download after `abort`.
    enum class AbortType : std::uint8_t { Requested };

    static constexpr int SPEED_SAMPLES_PER_SECOND = 10;
    static constexpr int SPEED_WINDOW_SECONDS = 30;
    static constexpr int IDLE_TIMEOUT_SECONDS = 120;

    virtual ~Download();

    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    // Valid for the download's life.
    std::string_view getLink() const { return texts.link(); }
    // GUI thread, and the worker thread inside `run`: the worker changes it
    // only through the GUI thread, while it waits. Valid until it changes.
    std::string_view getTargetPath() const { return texts.target(); }
    const std::string& getKindName() const { return *kindName; }
    State getState() const { return state.load(); }

    // The caption of the present state; kinds with finer states override it.
    virtual std::string getStateCaption() const;
    static std::string captionOf(State state);
    // What a held download reads between runs, whatever its kind.
    static std::string heldCaption();
    // The word the queue file stores for a state.
    static const char* persistedWordOf(State state);

    // Worker thread. Runs the kind's `process`; true when the file was
    // completed. An abort ends it in `Queued` with false; any other failure
    // ends it in `Error` and is rethrown. What the run receives keeps to
    // `speedLimit` (null: none), and a file that arrives is told to
    // `arrivals` (null: nobody); both must outlive the run.
    bool run(const http::SpeedLimit* speedLimit = nullptr, const ArrivalReport* arrivals = nullptr);

    // Any thread. Makes a running `run` end soon: waits end within 10 ms and
    // the HTTP call in progress fails at once. The request is kept until the
    // run ends (or `forgetAbort`), so an abort that races the start of a run
    // still stops it.
    void abort();
    // GUI thread, between runs: drops an abort that came after a run ended.
    void forgetAbort();
    // GUI thread, between runs: a download that stopped with an error or
    // whose file was not found goes back to the queue for a new try.
    virtual void requeue();

    // GUI thread, between runs: the file is to go to `path` instead. What an
    // earlier run left of it where it was to go is removed.
    void retarget(std::string_view path);

    // Any thread. Held back by the user: never taken by a worker, and its
    // run is aborted. Kept in the queue file.
    bool isHeld() const { return held.load(); }
    // GUI thread. Holding a running download does not abort it; the caller
    // does.
    void setHeld(bool hold);
    // Any thread. Whether a worker may take it at `nowMs` (clock time):
    // queued, or failed and due for its next try; never while held.
    bool isDue(std::int64_t nowMs) const;
    // Any thread. When a download that failed is due for its next try
    // (clock time); -1 when no try of its own is to come.
    std::int64_t getRetryAtMs() const;
    // Any thread. In Error with no try of its own to come: it waits for the
    // user.
    bool hasStoppedWithError() const;

    // Any thread. When the timed wait under way ends (clock time): inside a
    // run the countdown or a wait the service asked for, between runs the
    // wait before the next try after a failure; -1 when nothing is timed.
    std::int64_t getWaitEndsAtMs() const;
    // The time left of that wait as "H:MM:SS", whole seconds rounded up, or
    // "-" when nothing is timed.
    std::string getWaitTimeLeft() const;

    // Any thread. Why the last failed turn failed (CP1251), or empty. Kept
    // until the file arrives or the download is queued again.
    std::string getFailureReason() const;

    // GUI thread. Progress figures; -1 or "-" when not available.
    std::int64_t getTotalBytes() const;
    std::int64_t getReceivedBytes() const;
    long double getSpeed() const;
    std::string getRemainingTime() const;

    // Seconds to receive `bytesLeft` at the whole kilobytes per second of
    // `kilobytesPerSecond`; -1 below 1 KB/s.
    static std::int64_t remainingSeconds(std::int64_t bytesLeft, long double kilobytesPerSecond);
    // "H:MM:SS", hours unpadded and unlimited.
    static std::string formatRemainingTime(std::int64_t seconds);

    // Writes the download's record of the queue file.
    void save(std::ostream& out) const;
    // Any thread: whether the record changed since the last call. Most
    // changes of state leave it as it is (every state of a run is stored as
    // queued), and a queue file need not be made again for those.
    bool takeRecordChange() { return recordChanged.exchange(false); }
    // The word the record stores: a held download's is "Paused", which a
    // program that does not know it reads as queued.
    std::string persistedWord() const;

    // Fires on every state change, on the thread that made it.
    kestrune::Event<Download*> onStatusChange;

    // The file name a link gives: the text after its last "/" or "\", or the
    // whole link when it has neither.
    static std::string_view fileNameOf(std::string_view link);
    // The name the file of `link` gets on disk: the link's file name with its
    // percent-escapes decoded (UTF-8, kept as CP1251), unless the decoded
    // name could not be a file name of ours (empty, ".", "..", a separator, a
    // control byte, a character without a CP1251 form): then as it stands.
    // A name longer than file systems hold is cut before its extension.
    static std::string localFileNameOf(std::string_view link);
    // Where the file of `link` goes in `folder`: the folder, a "/" unless it
    // ends with one, and the link's local file name. The folder need not
    // exist yet; the transfer creates it. An empty folder is the current one.
    static std::string targetPathIn(const std::string& folder, const std::string& link);
    // Whether a new file may not go to `path`: something is there, or at its
    // ".part", where a transfer into it may be under way.
    static bool isPathTaken(const std::string& path);
    // For a batch of new files, the number from which the search for a free
    // "name (N).ext" of each path goes on: the ones below it were found
    // taken, and stay taken while the batch is made. Without it, each of N
    // files of one name would try every number before its own.
    using NextFreeNumbers = std::unordered_map<std::string, std::uint64_t>;
    // `path` if `isTaken` says it is free, else the first free one of
    // "name (1).ext", "name (2).ext", ... (from where `nextNumbers` says).
    static std::string firstFreePath(const std::string& path,
                                     const std::function<bool(const std::string&)>& isTaken,
                                     NextFreeNumbers* nextNumbers = nullptr);
    // A target path as the queue file stores it: kept, unless it names an
    // existing folder, which then gets the link's file name.
    static std::string storedTargetPath(std::string path, const std::string& link,
                                        platform::DirectoryLookup& folders);

protected:
    Download(std::string_view link, std::string_view targetPath, const std::string& kindName);

    virtual bool process() = 0;
    // GUI thread, between runs: removes what a run that died left of this
    // download's file at its target (its own leftovers only).
    virtual void removeLeftovers() {}
    virtual void saveKindData(std::ostream& out) const = 0;

    // Entering or leaving Downloading starts or stops the speed timer on
    // the GUI thread and waits for it there.
    void setState(State newState);
    // Waits `seconds`; an abort ends the wait at once, thrown as
    // `AbortType::Requested`. Zero or fewer seconds return at once.
    void waitSeconds(std::int64_t seconds);
    // Enters `newState` and waits there `seconds`, like `waitSeconds`; when
    // the wait ends is known from the state change on, so whoever shows the
    // state shows the time left with it.
    void waitInState(State newState, std::int64_t seconds);
    // Worker thread, inside `run`, before the state change to Error with
    // which the run ends: the download is due for its next try `seconds`
    // from then, and the worker may run others meanwhile.
    void retryAfter(std::int64_t seconds);
    void resetProgress();
    bool isAbortRequested() const { return abortRequested.load(); }
    // Held and between runs, where it reads `heldCaption`; a run that a
    // hold aborts shows where it is until the abort lands.
    bool showsHeld() const;
    // Worker thread: set before the state that shows the failure.
    void setFailureReason(std::string reason);
    void clearFailureReason();
    // Worker thread, inside `run`: the file went to another path than
    // planned. The change is made on the GUI thread, which reads the path.
    void moveTargetPath(std::string_view path);
    // Worker thread, inside `run`.
    http::HttpClient& getHttpClient();
    // Worker thread, inside `run`: the file has arrived at the target path,
    // under its name; told to the run's ArrivalReport.
    void fileArrived(const ArrivedFile& file);

    // Reads the link, target path and state word of a stored record; false
    // when the record ends before all three. The word "Paused" is a held
    // download, queued.
    static bool readCommonFields(std::istream& in, std::string& link, std::string& targetPath,
                                 State& state, bool& held);
    // A download just made from a stored record takes on the state and the
    // hold it was saved with. Nobody follows it yet, so nothing is told.
    void restoreStoredState(State stored, bool isHeld);

private:
    // What only a download that has run needs: the abort's bell, the HTTP
    // client, the progress figures and speed samples, the wait under way,
    // the next try, the reasons met.
    struct RunParts;

    // The thread that runs the download, or the GUI thread on its behalf
    // while it waits: makes the run parts the first time.
    RunParts& ensureRunParts();
    // The wait's end on the clock, at most a long time ahead.
    static std::int64_t deadlineAfter(std::int64_t seconds);
    void waitUntil(std::int64_t deadline);
    void onHttpWork(std::int64_t count);
    void runSpeedTimer(bool running);
    void onSpeedTimer();

    // A long queue holds a hundred thousand downloads that wait or are
    // done: what each of them keeps is its texts and its states, packed
    // (the small fields last, where a kind's own can follow them).
    LinkAndTarget texts;
    // Kept once for all the downloads of the kind.
    const std::string* kindName;
    // Made by the first run and kept for the object's life; null before.
    std::atomic<RunParts*> runParts{nullptr};
    std::atomic<State> state{State::Queued};
    std::atomic<bool> abortRequested{false};
    std::atomic<bool> held{false};
    std::atomic<bool> recordChanged{false};
};

} // namespace tolvenka
