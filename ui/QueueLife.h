#pragma once

#include "queue/QueueFile.h"
#include "queue/QueueFileKeeper.h"
#include "support/Event.h"

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class QWidget;

namespace platform {
class GuiWakeUp;
}

namespace tolvenka {

class Download;
class Main;
class QueueFileReading;
class SimpleDownloadThread;

// The queue's life beside the window: it is taken from the queue file when
// the file has been read (the window shows at once, however long the
// queue), the worker is started on it, the file is kept current while the
// program runs, and the close ends it in two steps: the first saves the
// queue and tells the worker to stop; once the worker has left its loop,
// the queue is saved once more, with what happened meanwhile.
//
// GUI thread only.
class QueueLife : public QObject {
public:
    // `queueFilePath`: the queue file (CP1251). `window` is the parent of
    // the messages.
    QueueLife(Main& state, std::string queueFilePath, QWidget& window);
    ~QueueLife() override;

    // Takes the queue from `reading`, which reads the file meanwhile, once
    // it has ended; without one, reads the file now.
    void start(QueueFileReading* reading);
    // Whether the queue has been taken; takes it if it has been read
    // meanwhile. Never waits.
    bool hasQueue();
    // Calls `then` once the queue has been taken: now, or when its reading
    // ends. Never once the close has begun.
    void whenQueueTaken(std::function<void()> then);

    // The worker, once the queue has been taken and until the close ends.
    SimpleDownloadThread* worker() const { return downloadThread.get(); }

    // Changes close together make one write, and a queue at rest none.
    void saveSoon();
    // Writes the queue file now, unless the close has begun.
    void saveNow();

    // The first close request: the queue saved and the worker told to stop.
    void beginClose();
    // Whether the worker has left its loop (or never ran).
    bool workerHasEnded() const;
    // The last step: the worker let go and the queue saved once more.
    void endClose();
    // A close while the queue is still being read: nothing was read, so
    // nothing is written and nothing runs, and nothing waits for the reading.
    void abandonReading();
    bool isClosing() const { return closing; }

    // The queue has been taken (its options set in `state`).
    kestrune::Event<> onQueueTaken;
    // The queue file could not be read: the program cannot go on.
    kestrune::Event<> onUnreadable;
    // The worker's finish step, with the download still alive.
    kestrune::Event<const Download&> onRunEnded;
    // The worker ran out of work.
    kestrune::Event<> onOutOfWork;
    // The worker has just been made, and has taken nothing yet.
    kestrune::Event<SimpleDownloadThread&> onWorkerStarted;
    // What the queue holds changed (members, order, states), soon after.
    kestrune::Event<> onQueueChanged;

private:
    void finishReading();
    void takeQueue(ReadQueueFile read);
    void runEnded(const Download& download);
    QueueOptions currentOptions() const;
    void tellSaveFailure();

    Main& state;
    const std::string queueFilePath;
    QWidget& window;
    QueueFileKeeper queueFile;
    QTimer* saveTimer;
    std::unique_ptr<SimpleDownloadThread> downloadThread;
    bool closing = false;
    bool saveFailureShown = false;
    // Until the queue is taken; kept after a reading that failed, so that
    // nothing ever writes over a file that was not read.
    QueueFileReading* pendingReading = nullptr;
    bool readingFailed = false;
    std::unique_ptr<platform::GuiWakeUp> readingDone;
    std::vector<std::function<void()>> queueTakenCallbacks;
};

} // namespace tolvenka
