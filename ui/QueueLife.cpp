#include "ui/QueueLife.h"

#include "engine/Download.h"
#include "engine/FailureReason.h"
#include "engine/SimpleDownloadThread.h"
#include "platform/GuiThread.h"
#include "platform/GuiWakeUp.h"
#include "queue/QueueFileReading.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "ui/Application.h"
#include "ui/Main.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QFileInfo>
#include <QTimer>
#include <QWidget>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int workerSlot = 0;
// The queue file is rewritten this long after a change.
constexpr int saveCheckIntervalMs = 1000;

} // namespace

QueueLife::QueueLife(Main& state, std::string queueFilePath, QWidget& window)
    : state(state)
    , queueFilePath(queueFilePath)
    , window(window)
    , queueFile(std::move(queueFilePath), state.downloadsSet)
    , saveTimer(new QTimer(this)) {
    // The failure of a save in the background is told from the event loop.
    queueFile.onSaveFailed = [this] {
        QTimer::singleShot(0, this, [this] { tellSaveFailure(); });
    };
    saveTimer->setSingleShot(true);
    saveTimer->setInterval(saveCheckIntervalMs);
    // Its timer is stopped at the first close request; the close writes the
    // file itself.
    connect(saveTimer, &QTimer::timeout, this,
            [this] { queueFile.saveIfChanged(currentOptions()); });
}

QueueLife::~QueueLife() {
    // The reading thread tells this object when it ends: no more from here.
    if (QueueFileReading* reading = std::exchange(pendingReading, nullptr)) {
        reading->abandon();
    }
    // Normally the worker has ended before this; if not, stop it and let it
    // finish its pass first.
    if (downloadThread && !downloadThread->isFinished()) {
        downloadThread->stop();
        while (!downloadThread->isFinished()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }
    state.downloadsSet.onChanged.clear();
}

void QueueLife::start(QueueFileReading* reading) {
    if (reading == nullptr) {
        takeQueue(readQueueFile(queueFilePath));
        return;
    }
    readingDone = std::make_unique<platform::GuiWakeUp>([this] { finishReading(); });
    pendingReading = reading;
    if (!reading->whenRead([wakeUp = readingDone.get()] { wakeUp->request(); })) {
        finishReading();
    }
}

void QueueLife::finishReading() {
    // Abandoned by the close, never to be taken, or taken already.
    if (closing || readingFailed || pendingReading == nullptr) {
        return;
    }
    ReadQueueFile read;
    try {
        read = pendingReading->take();
    } catch (...) {
        // Not read, so never written over: the program says why and ends.
        readingFailed = true;
        Application::showError(std::current_exception());
        QTimer::singleShot(0, this, [this] { onUnreadable(); });
        return;
    }
    pendingReading = nullptr;
    takeQueue(std::move(read));
}

bool QueueLife::hasQueue() {
    if (pendingReading != nullptr && pendingReading->hasEnded()) {
        finishReading();
    }
    return pendingReading == nullptr && !readingFailed;
}

void QueueLife::whenQueueTaken(std::function<void()> then) {
    if (closing) {
        return;
    }
    if (pendingReading == nullptr) {
        then();
    } else {
        queueTakenCallbacks.push_back(std::move(then));
    }
}

// The options and the queue as the file has them; then the worker starts.
void QueueLife::takeQueue(ReadQueueFile read) {
    QueueOptions options{state.deleteCompleted.load(), state.targetFolder};
    if (queueFile.load(std::move(read), options)) {
        state.deleteCompleted = options.deleteCompleted;
        state.targetFolder = options.targetFolder;
    }
    onQueueTaken();
    downloadThread = std::make_unique<SimpleDownloadThread>(
        state.downloadsSet, workerSlot, serviceHost(), state.deleteCompleted,
        [](std::exception_ptr error) {
            // The worker waits while the message is up, so a fault that
            // repeats cannot pile up message boxes.
            platform::synchronize([&] { Application::showError(error); });
        },
        &state.speedLimit);
    downloadThread->onRunEnded = [this](Download* download) {
        runEnded(*download);
    };
    downloadThread->onOutOfWork = [this] {
        onOutOfWork();
    };
    // Before anything else may run the event loop: the worker's first pick
    // waits for it, so a worker paused here never takes a download.
    onWorkerStarted(*downloadThread);
    state.downloadsSet.onChanged = [this] {
        saveSoon();
        onQueueChanged();
    };
    for (const std::function<void()>& then : std::exchange(queueTakenCallbacks, {})) {
        then();
    }
}

void QueueLife::runEnded(const Download& download) {
    onRunEnded(download);
    // Recorded at once, not at the next periodic save: a crash meanwhile
    // would have the file fetched again.
    if (download.getState() == Download::State::Complete) {
        queueFile.saveSoonestIfChanged(currentOptions());
    }
}

void QueueLife::saveSoon() {
    if (!closing && !saveTimer->isActive()) {
        saveTimer->start();
    }
}

void QueueLife::saveNow() {
    if (hasQueue() && !closing) {
        queueFile.save(currentOptions());
    }
}

QueueOptions QueueLife::currentOptions() const {
    return QueueOptions{state.deleteCompleted.load(), state.targetFolder};
}

// Once: the list still works, and a box at every change would be worse than
// the fault it reports.
void QueueLife::tellSaveFailure() {
    if (saveFailureShown || closing) {
        return;
    }
    saveFailureShown = true;
    const QString path = QFileInfo(toQString(queueFilePath)).absoluteFilePath();
    showMessage(std::string("Не удаётся сохранить список загрузок в файл "_cp1251) +
                    fromQString(path) + ": " + fileSaveReason(queueFile.lastError()) +
                    std::string(". Изменения списка не будут сохранены."_cp1251),
                &window);
}

void QueueLife::beginClose() {
    saveTimer->stop();
    queueFile.save(currentOptions());
    closing = true;
    downloadThread->stop();
}

bool QueueLife::workerHasEnded() const {
    return !downloadThread || downloadThread->isFinished();
}

void QueueLife::endClose() {
    downloadThread.reset();
    // The last write: what happened while the window closed (a file that
    // arrived, a button pressed meanwhile, links a dismissed dialog held)
    // is kept too.
    queueFile.save(currentOptions());
}

void QueueLife::abandonReading() {
    closing = true;
    if (pendingReading != nullptr) {
        pendingReading->abandon();
    }
}

} // namespace tolvenka
