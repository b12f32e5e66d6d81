#include "ui/Twindow.h"

#include "engine/Download.h"
#include "engine/FailureReason.h"
#include "engine/SimpleDownloadThread.h"
#include "intake/LinkExtraction.h"
#include "intake/LinksLoadingThread.h"
#include "platform/GuiThread.h"
#include "platform/GuiWakeUp.h"
#include "queue/QueueFile.h"
#include "queue/QueueFileKeeper.h"
#include "queue/QueueFileReading.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "ui/Application.h"
#include "ui/ClipboardWatch.h"
#include "ui/DesktopNotices.h"
#include "ui/DownloadsSetPanel.h"
#include "ui/HistoryWindow.h"
#include "ui/Main.h"
#include "ui/TransferShare.h"
#include "widgets/FlowLayout.h"
#include "widgets/LinkText.h"
#include "widgets/PushButton.h"
#include "widgets/ScreenPlacement.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <unordered_set>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int workerSlot = 0;
constexpr QRect designedBounds(240, 147, 930, 767);
constexpr int captionHeight = 17;
constexpr int inputHeight = 208;
// The queue file is rewritten this long after a change.
constexpr int saveCheckIntervalMs = 1000;
// How often links that wait for a dialog to close look again.
constexpr int dialogCheckIntervalMs = 200;
constexpr int limitKeptAfterMs = 500;
constexpr int speedLimitStep = 50;
constexpr std::int64_t bytesPerKilobyte = 1024;

// The links in order, each file once, at its first link and as written
// there: a page names a file in its address and again in its text, and two
// links to one file may be spelt apart (see DownloadMaker::identityOf).
std::vector<std::string> withoutRepeats(const std::vector<std::string>& links) {
    std::vector<std::string> once;
    std::unordered_set<std::string> seen;
    seen.reserve(links.size());
    const DownloadMaker& maker = downloadMaker();
    for (const std::string& link : links) {
        if (seen.insert(maker.identityOf(link)).second) {
            once.push_back(link);
        }
    }
    return once;
}

// The links refused for want of a file name, each counted once.
std::size_t countNameless(const std::vector<std::string>& links) {
    std::unordered_set<std::string_view> nameless;
    for (const std::string& link : links) {
        if (downloadMaker().lacksFileName(link)) {
            nameless.insert(link);
        }
    }
    return nameless.size();
}

std::string namelessMessage(std::size_t count) {
    return std::string("Пропущены ссылки без имени файла: "_cp1251) + std::to_string(count) + ".";
}

// Addresses as their text, one a line; else the text itself. An address
// keeps its escapes: decoded, a letter would be taken as it stands, but a
// space or a sign in a file name would end the link.
QString droppedText(const QMimeData& data) {
    if (!data.hasUrls()) {
        return data.text();
    }
    QStringList lines;
    for (const QUrl& url : data.urls()) {
        lines << url.toString(QUrl::FullyEncoded);
    }
    return lines.join(u'\n');
}

// A drag of text or addresses from elsewhere than the input box itself.
bool isDropFromOutside(const QDropEvent& event, const QPlainTextEdit& input) {
    const QObject* source = event.source();
    return (event.mimeData()->hasUrls() || event.mimeData()->hasText()) && source != &input &&
           source != input.viewport();
}

} // namespace

Twindow::Twindow(Main& state, std::string queueFilePath, QueueFileReading* reading)
    : state(state)
    , queueFilePath(queueFilePath)
    , queueFile(std::move(queueFilePath), state.downloadsSet) {
    // The failure of a save in the background is told from the event loop.
    queueFile.onSaveFailed = [this] {
        QTimer::singleShot(0, this, [this] { tellSaveFailure(); });
    };
    buildControls();
    formCreate(reading);
    acceptLinksFromOutside();
}

Twindow::~Twindow() {
    // The reading thread tells this window when it ends: no more from here.
    if (QueueFileReading* reading = std::exchange(pendingReading, nullptr)) {
        reading->abandon();
    }
    // Normally the worker has ended before the window closes; if the window
    // goes without that, stop it and let it finish its pass first.
    if (downloadThread && !downloadThread->isFinished()) {
        downloadThread->stop();
        while (!downloadThread->isFinished()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }
    state.downloadsSet.onChanged.clear();
}

std::string Twindow::inputCaption(const std::string& host) {
    std::string name = host;
    if (!name.empty()) {
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    }
    return std::string("Введите ссылку на файл на "_cp1251) + name +
           std::string(", список таких ссылок или адрес страницы со списком:"_cp1251);
}

void Twindow::buildControls() {
    setWindowTitle(QString::fromUtf8("Толвенка"));
    setGeometry(designedBounds);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* caption = new QLabel(toQString(inputCaption(serviceHost())), this);
    caption->setMinimumHeight(captionHeight);
    caption->setContentsMargins(2, 0, 2, 0);
    // A large font on a small screen: the line breaks rather than push the
    // window off the screen.
    caption->setWordWrap(true);
    layout->addWidget(caption);

    splitter = new QSplitter(Qt::Vertical, this);
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    splitter->setOpaqueResize(true);
    layout->addWidget(splitter, 1);

    input = new QPlainTextEdit(splitter);
    // A link broken over two lines would read as two; a line wider than the
    // box brings the scroll bar.
    input->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Links do not hold tabs; Tab goes on to "Добавить".
    input->setTabChangesFocus(true);
    input->setMinimumHeight(inputLeastHeight());

    auto* lower = new QWidget(splitter);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(0);

    // The buttons side by side, each as wide as designed or as its caption
    // needs, and the option after them; below them the speed limit and the
    // watch, which would not fit beside them at the designed width. What a
    // row cannot hold on a narrow screen or in a large font goes on below.
    panel1 = new QWidget(lower);
    auto* panel1Rows = new QVBoxLayout(panel1);
    panel1Rows->setContentsMargins(8, 8, 8, 8);
    panel1Rows->setSpacing(6);
    auto* panel1Layout = new FlowLayout(nullptr, 7);
    panel1Rows->addLayout(panel1Layout);
    const QSize buttonSize(145, 25);
    auto* add = new PushButton(QString::fromUtf8("Добавить"), buttonSize, panel1);
    auto* start = new PushButton(QString::fromUtf8("Продолжить загрузку"), buttonSize, panel1);
    auto* stop = new PushButton(QString::fromUtf8("Остановить загрузку"), buttonSize, panel1);
    auto* history = new PushButton(QString::fromUtf8("История…"), buttonSize, panel1);
    deleteWhenComplete = new QCheckBox(QString::fromUtf8("Удалять загруженные"), panel1);
    deleteWhenComplete->setMinimumHeight(17);
    deleteWhenComplete->setChecked(true);
    queueControls = {add, start, stop, deleteWhenComplete};
    for (QWidget* control :
         std::initializer_list<QWidget*>{add, start, stop, history, deleteWhenComplete}) {
        panel1Layout->addWidget(control);
    }
    panel1Rows->addLayout(buildLimitAndWatch());
    lowerLayout->addWidget(panel1);

    panel = new DownloadsSetPanel(lower);
    lowerLayout->addWidget(panel, 1);

    input->setObjectName(QStringLiteral("input"));
    add->setObjectName(QStringLiteral("add"));
    start->setObjectName(QStringLiteral("start"));
    stop->setObjectName(QStringLiteral("stop"));
    history->setObjectName(QStringLiteral("history"));
    deleteWhenComplete->setObjectName(QStringLiteral("deleteWhenComplete"));
    panel->setObjectName(QStringLiteral("downloads"));

    splitter->addWidget(input);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);

    setTabOrder(input, add);
    setTabOrder(add, start);
    setTabOrder(start, stop);
    setTabOrder(stop, history);
    setTabOrder(history, deleteWhenComplete);
    setTabOrder(deleteWhenComplete, speedLimit);
    setTabOrder(speedLimit, watchClipboard);
    setTabOrder(watchClipboard, panel);
    input->setFocus();

    connect(add, &QPushButton::clicked, this, [this] { addClick(); });
    startButton = start;
    connect(start, &QPushButton::clicked, this, [this] { startClick(); });
    connect(stop, &QPushButton::clicked, this, [this] { stopClick(); });
    connect(history, &QPushButton::clicked, this, [this] { showHistory(); });
    connect(deleteWhenComplete, &QCheckBox::toggled, this, [this](bool checked) {
        this->state.deleteCompleted = checked;
        saveSoon();
    });

    closeTimer = new QTimer(this);
    closeTimer->setInterval(1);
    connect(closeTimer, &QTimer::timeout, this, [this] { closeTimerTimer(); });

    saveTimer = new QTimer(this);
    saveTimer->setSingleShot(true);
    saveTimer->setInterval(saveCheckIntervalMs);
    connect(saveTimer, &QTimer::timeout, this, [this] { saveQueueIfChanged(); });
}

// Two lines of links and the scroll bar that a long one brings.
int Twindow::inputLeastHeight() const {
    constexpr int inputLines = 2;
    return inputLines * input->fontMetrics().lineSpacing() +
           2 * static_cast<int>(input->document()->documentMargin()) + 2 * input->frameWidth() +
           input->horizontalScrollBar()->sizeHint().height();
}

// The limit is one piece of the row, so that its caption stays with its box.
QLayout* Twindow::buildLimitAndWatch() {
    auto* row = new FlowLayout(nullptr, 16);
    auto* limit = new QWidget(panel1);
    auto* limitLayout = new QHBoxLayout(limit);
    limitLayout->setContentsMargins(0, 0, 0, 0);
    limitLayout->setSpacing(7);
    const QString limitCaption = QString::fromUtf8("Скорость не выше, кБ/с:");
    auto* caption = new QLabel(limitCaption, limit);
    speedLimit = new QSpinBox(limit);
    speedLimit->setObjectName(QStringLiteral("speedLimit"));
    speedLimit->setAccessibleName(limitCaption);
    caption->setBuddy(speedLimit);
    speedLimit->setRange(0, UserSettings::maxSpeedLimit);
    speedLimit->setSingleStep(speedLimitStep);
    speedLimit->setSpecialValueText(QString::fromUtf8("без ограничения"));
    // A number being typed takes effect once finished (Enter, or the focus
    // leaving), not a digit at a time: "600" would pass through 6 kB/s.
    speedLimit->setKeyboardTracking(false);
    speedLimit->setValue(settings.speedLimit());
    applySpeedLimit(speedLimit->value());
    // The limit applies at once; it is written down once the arrows rest,
    // not at every step of a held arrow key.
    limitToKeep = new QTimer(this);
    limitToKeep->setSingleShot(true);
    limitToKeep->setInterval(limitKeptAfterMs);
    connect(limitToKeep, &QTimer::timeout, this, [this] { keepSpeedLimit(); });
    connect(speedLimit, &QSpinBox::valueChanged, this, [this](int value) {
        applySpeedLimit(value);
        limitToKeep->start();
    });

    clipboardWatch = new ClipboardWatch(this);
    clipboardWatch->onLinks = [this](std::vector<std::string> links) {
        takeCopiedLinks(std::move(links));
    };
    watchClipboard = new QCheckBox(QString::fromUtf8("Следить за буфером обмена"), panel1);
    watchClipboard->setObjectName(QStringLiteral("watchClipboard"));
    watchClipboard->setMinimumHeight(17);
    watchClipboard->setChecked(settings.watchesClipboard());
    clipboardWatch->setOn(watchClipboard->isChecked());
    connect(watchClipboard, &QCheckBox::toggled, this, [this](bool checked) {
        clipboardWatch->setOn(checked);
        settings.setWatchesClipboard(checked);
    });
    copiedLinksTimer = new QTimer(this);
    copiedLinksTimer->setSingleShot(true);
    connect(copiedLinksTimer, &QTimer::timeout, this, [this] { offerCopiedLinksWhenNoDialog(); });

    limitLayout->addWidget(caption);
    limitLayout->addWidget(speedLimit);
    row->addWidget(limit);
    row->addWidget(watchClipboard);
    return row;
}

void Twindow::keepSpeedLimit() {
    limitToKeep->stop();
    settings.setSpeedLimit(speedLimit->value());
}

void Twindow::applySpeedLimit(int kilobytesPerSecond) {
    state.speedLimit.set(kilobytesPerSecond * bytesPerKilobyte);
}

// The window takes its designed bounds where they fit the screen, else it is
// moved and shrunk into the screen's available area, never below what its
// controls need in the present font, nor beyond the screen. The input box
// keeps its designed share of the height where it can; where the text is
// large or the screen small, it gives up height, down to two lines, before
// the list shows fewer than six downloads.
void Twindow::placeOnScreen() {
    constexpr int listedRows = 6;
    const QRect available = availableArea(*this);
    const QMargins frame = windowFrame(*this);
    placedWithFrame = frame;
    const QSize room = available.marginsRemoved(frame).size();
    setMinimumSize(0, 0);
    // The buttons and options stay in one row where the screen is wide
    // enough; on a narrower one the row wraps, and takes more height.
    QSize least = layout()->totalMinimumSize();
    least.setWidth(std::min(std::max(least.width(), panel1->sizeHint().width()), room.width()));
    least.rheight() += panel1->heightForWidth(least.width()) - panel1->minimumSizeHint().height();
    least = least.boundedTo(room);
    setMinimumSize(least);
    const QRect bounds = fitOnScreen(designedBounds, least, available, frame);
    setGeometry(bounds);
    layout()->activate();
    const int splitterRoom = splitter->height() - splitter->handleWidth();
    const int designedShare = inputHeight * bounds.height() / designedBounds.height();
    const int listNeeds =
        panel1->heightForWidth(bounds.width()) + panel->heightShowingRows(listedRows);
    const int inputShare = std::max(std::min(designedShare, splitterRoom - listNeeds),
                                    std::min(input->minimumHeight(), designedShare));
    splitter->setSizes({inputShare, splitterRoom - inputShare});
}

// The window is placed before the window system has framed it, with a usual
// frame assumed. Once it is framed and placed (or shown unframed), it is
// placed once more where its frame is not the one assumed, or runs off the
// available area (a place the window system chose itself): a thinner frame
// leaves room for more of the list, a taller one would push it off.
bool Twindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    const QEvent::Type type = event->type();
    if (!placementSettled && isVisible() &&
        (type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowActivate)) {
        settlePlacement(type == QEvent::WindowActivate);
    }
    return handled;
}

void Twindow::settlePlacement(bool activated) {
    const QWindow* handle = windowHandle();
    const bool framed = handle != nullptr && !handle->frameMargins().isNull();
    if (!framed && !activated) {
        return;
    }
    placementSettled = true;
    if (windowFrame(*this) != placedWithFrame || !availableArea(*this).contains(frameGeometry())) {
        placeOnScreen();
    }
}

// A queue still being read is taken when the reading ends: the window shows
// at once, however long the queue; until then the controls that change the
// queue or its options wait, and anything else that needs the queue (a
// close, links from outside) takes it first.
void Twindow::formCreate(QueueFileReading* reading) {
    panel->onTransferShare = [this](int percent) {
        transferPercent = percent;
        showTitle();
    };
    panel->setDownloadsSet(&state.downloadsSet);
    placeOnScreen();
    notices = std::make_unique<DesktopNotices>(*this);
    if (reading == nullptr) {
        takeQueue(readQueueFile(queueFilePath));
        return;
    }
    readingDone = std::make_unique<platform::GuiWakeUp>([this] { finishReading(); });
    pendingReading = reading;
    for (QWidget* control : queueControls) {
        control->setEnabled(false);
    }
    if (!reading->whenRead([wakeUp = readingDone.get()] { wakeUp->request(); })) {
        finishReading();
    }
}

void Twindow::finishReading() {
    if (closing || readingFailed) {
        return; // abandoned by the close, or never to be taken
    }
    if (pendingReading == nullptr) {
        return;
    }
    ReadQueueFile read;
    try {
        read = pendingReading->take();
    } catch (...) {
        // Not read, so never written over: the program says why and ends.
        readingFailed = true;
        Application::showError(std::current_exception());
        QTimer::singleShot(0, this, [this] { closeWithoutAsking(); });
        return;
    }
    pendingReading = nullptr;
    {
        takeQueue(std::move(read));
        for (QWidget* control : queueControls) {
            control->setEnabled(true);
        }
        if (!outsideLinks.isEmpty()) {
            outsideLinksTimer->start(0);
        }
    }
}

bool Twindow::hasQueue() {
    if (pendingReading != nullptr && pendingReading->hasEnded()) {
        finishReading();
    }
    return pendingReading == nullptr;
}

void Twindow::whenQueueTaken(std::function<void()> then) {
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
void Twindow::takeQueue(ReadQueueFile read) {
    QueueOptions options{state.deleteCompleted.load(), state.targetFolder};
    if (queueFile.load(std::move(read), options)) {
        state.deleteCompleted = options.deleteCompleted;
        state.targetFolder = options.targetFolder;
    }
    deleteWhenComplete->setChecked(state.deleteCompleted);
    // Attached anew: the downloads read join without a word.
    panel->setDownloadsSet(&state.downloadsSet);
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
        notices->allDone();
    };
    state.downloadsSet.onChanged = [this] {
        saveSoon();
    };
    for (const std::function<void()>& then : std::exchange(queueTakenCallbacks, {})) {
        then();
    }
}

// Changes close together make one write, and a queue at rest none.
void Twindow::saveSoon() {
    if (!closing && !saveTimer->isActive()) {
        saveTimer->start();
    }
}

// The worker's finish step, with the download still alive.
void Twindow::runEnded(const Download& download) {
    switch (download.getState()) {
    case Download::State::Error:
        // A download that failed and is due for another try has not stopped.
        if (download.hasStoppedWithError()) {
            notices->downloadStopped(download);
        }
        break;
    case Download::State::NotFound:
        notices->fileNotFound(download);
        break;
    case Download::State::Complete:
        notices->fileArrived(download);
        if (historyWindow != nullptr) {
            historyWindow->showNewArrivals();
        }
        break;
    default:
        break;
    }
    // Recorded at once, not at the next periodic save: a crash meanwhile
    // would have the file fetched again.
    if (download.getState() == Download::State::Complete) {
        queueFile.saveSoonestIfChanged(currentOptions());
    }
}

void Twindow::addClick() {
    if (closing) {
        return;
    }
    const QScopedValueRollback busy(addingLinks, true);
    std::vector<std::string> allLinks;
    std::vector<std::string> downloadLinks;
    extractLinks(linkTextOf(input->toPlainText()), allLinks, downloadLinks);
    if (allLinks.empty()) {
        showMessage(std::string("Не найдены ссылки."_cp1251), this);
        return;
    }
    if (downloadLinks.empty() && allLinks.size() == 1 &&
        !downloadMaker().lacksFileName(allLinks.front())) {
        // One address that is no download link: a page that lists them.
        const std::string pageUrl = allLinks.front();
        allLinks.clear();
        PageLoadOutcome outcome;
        state.waitDialog.execute(std::make_unique<LinksLoadingThread>(
            state.waitDialog, pageUrl, allLinks, downloadLinks, outcome));
        // Closed while the page loaded, or "Отмена": nothing to tell.
        if (closing || !outcome.finished) {
            return;
        }
        if (!outcome.failureReason.empty()) {
            showMessage(std::string("Не удалось загрузить страницу: "_cp1251) +
                            outcome.failureReason + ".",
                        this);
            return;
        }
    }
    // Told before the choice, in the dialog; alone when nothing is left.
    const std::size_t nameless = countNameless(allLinks);
    if (downloadLinks.empty()) {
        showMessage(nameless > 0 ? namelessMessage(nameless)
                                 : std::string("Не найдены ссылки на закачки."_cp1251),
                    this);
        return;
    }
    confirmLinks(withoutRepeats(downloadLinks), nameless);
}

void Twindow::confirmLinks(const std::vector<std::string>& links, std::size_t nameless) {
    state.DownloadsListDialog.setLinks(links, nameless);
    state.DownloadsListDialog.exec();
    // The dialog may have chosen another folder.
    saveSoon();
}

// Made when first asked for: most runs never open it.
void Twindow::showHistory() {
    if (historyWindow == nullptr) {
        historyWindow = new HistoryWindow(state.history, this);
    }
    historyWindow->showHistory();
}

// Downloads that stopped with an error get one more try, in queue order.
void Twindow::startClick() {
    state.downloadsSet.retryStopped();
    downloadThread->resume();
    showStopped(false);
}

void Twindow::stopClick() {
    downloadThread->pause();
    showStopped(true);
}

// From "Остановить загрузку" until "Продолжить загрузку" the window looks
// stopped, and Enter goes on.
void Twindow::showStopped(bool isStopped) {
    stopped = isStopped;
    showTitle();
    startButton->setDefault(isStopped);
    panel->setStopped(isStopped);
}

// The share of a transfer comes first, so that a narrow task bar button
// still shows it.
void Twindow::showTitle() {
    const QString name = QString::fromUtf8("Толвенка");
    if (stopped) {
        setWindowTitle(name + QString::fromUtf8(" — остановлено"));
    } else if (transferPercent >= 0) {
        setWindowTitle(QString::fromUtf8("%1 % — ").arg(transferPercent) + name);
    } else {
        setWindowTitle(name);
    }
}

void Twindow::keyPressEvent(QKeyEvent* event) {
    if (stopped && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        startButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

QueueOptions Twindow::currentOptions() const {
    return QueueOptions{state.deleteCompleted.load(), state.targetFolder};
}

void Twindow::saveNow() {
    if (hasQueue() && !closing) {
        queueFile.save(currentOptions());
    }
}

// Its timer is stopped at the first close request; the close writes the file
// itself.
void Twindow::saveQueueIfChanged() {
    queueFile.saveIfChanged(currentOptions());
}

// Once: the list still works, and a box at every change would be worse than
// the fault it reports.
void Twindow::tellSaveFailure() {
    if (saveFailureShown || closing) {
        return;
    }
    saveFailureShown = true;
    const QString path = QFileInfo(toQString(queueFilePath)).absoluteFilePath();
    showMessage(std::string("Не удаётся сохранить список загрузок в файл "_cp1251) +
                    fromQString(path) + ": " + fileSaveReason(queueFile.lastError()) +
                    std::string(". Изменения списка не будут сохранены."_cp1251),
                this);
}

void Twindow::closeWithoutAsking() {
    askNoMore = true;
    if (closeQuestion != nullptr) {
        closeQuestion->reject();
    }
    close();
}

// The service cannot resume a transfer, so a close during one throws away
// what arrived; a close request of the user's asks first.
void Twindow::closeEvent(QCloseEvent* event) {
    if (!hasQueue()) {
        closeUnread(event);
        return;
    }
    if (!closing && !askNoMore && !qApp->isSavingSession() && transferUnderWay()) {
        event->ignore();
        if (closeQuestion == nullptr) {
            // Asked from the event loop, not from inside the close event.
            QTimer::singleShot(0, this, [this] { askBeforeClosing(); });
        }
        return;
    }
    if (!closing) {
        onClosing();
        keepSpeedLimit();
        queueOutsideLinks();
        saveTimer->stop();
        queueFile.save(currentOptions());
        closing = true;
        downloadThread->stop();
        closeTopDialog();
        closeTimer->start();
        event->ignore();
        return;
    }
    if (downloadThread->isFinished() && !isDialogOpen()) {
        closeTimer->stop();
        downloadThread.reset();
        // The last write: what happened while the window closed (a file
        // that arrived, a button pressed meanwhile) is kept too.
        queueFile.save(currentOptions());
        event->accept();
        return;
    }
    event->ignore();
}

void Twindow::closeUnread(QCloseEvent* event) {
    if (!closing) {
        closing = true;
        onClosing();
        keepSpeedLimit();
        pendingReading->abandon();
        closeTopDialog();
    }
    if (isDialogOpen()) {
        closeTimer->start();
        event->ignore();
        return;
    }
    closeTimer->stop();
    event->accept();
}

const Download* Twindow::transferUnderWay() const {
    const Download* current = state.downloadsSet.currentDownload(workerSlot);
    return current != nullptr && current->getState() == Download::State::Downloading ? current
                                                                                     : nullptr;
}

void Twindow::askBeforeClosing() {
    const Download* download = transferUnderWay();
    if (download == nullptr || closeQuestion != nullptr || askNoMore || closing) {
        if (download == nullptr && !closing) {
            close(); // the transfer ended meanwhile
        }
        return;
    }
    const int percent = percentReceived(*download);
    const std::int64_t received = std::max<std::int64_t>(0, download->getReceivedBytes());
    const QString share = percent >= 0 ? QString::fromUtf8("%1 %").arg(percent)
                                       : QString::fromUtf8("%1 кБ").arg(received / 1024);
    QMessageBox question(
        QMessageBox::Question, QGuiApplication::applicationDisplayName(),
        QString::fromUtf8("Идёт загрузка «%1» (принято %2). Выйти? Принятое "
                          "будет потеряно.")
            .arg(QFileInfo(toQString(download->getTargetPath())).fileName(), share),
        QMessageBox::NoButton, this);
    QPushButton* leave = question.addButton(QString::fromUtf8("Выйти"), QMessageBox::AcceptRole);
    QPushButton* stay =
        question.addButton(QString::fromUtf8("Не выходить"), QMessageBox::RejectRole);
    question.setDefaultButton(stay);
    question.setEscapeButton(stay);
    closeQuestion = &question;
    question.exec();
    closeQuestion = nullptr;
    if (question.clickedButton() == leave && !askNoMore) {
        askNoMore = true;
        close();
    }
}

void Twindow::closeTimerTimer() {
    closeTopDialog();
    if ((!downloadThread || downloadThread->isFinished()) && !isDialogOpen()) {
        close();
    }
}

// A dialog open over the window would keep the program alive and could add
// downloads that are never saved, so closing closes them, the top one first:
// a dialog whose job still runs cancels the job and goes when the job has
// ended, and the one below it follows on a later tick.
void Twindow::closeTopDialog() {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        dialog->reject();
    }
}

bool Twindow::isDialogOpen() {
    return QApplication::activeModalWidget() != nullptr;
}

// Links that come from outside replace what the input box holds, so that the
// dialog offers just them; whatever was there stays one undo away. Links that
// arrive together, or while a dialog is open, go in together.
void Twindow::acceptLinksFromOutside() {
    setAcceptDrops(true);
    // The input box would put a drop where the pointer is, into the middle
    // of a link as like as not; drops go to its end, as on the rest.
    input->viewport()->installEventFilter(this);
    outsideLinksTimer = new QTimer(this);
    outsideLinksTimer->setSingleShot(true);
    connect(outsideLinksTimer, &QTimer::timeout, this, [this] { addOutsideLinksWhenNoDialog(); });
}

bool Twindow::addFromOutside(const QString& text) {
    if (closing) {
        return false;
    }
    bringToFront();
    if (!text.trimmed().isEmpty()) {
        outsideLinks << text;
        outsideLinksTimer->start(0);
    }
    return true;
}

void Twindow::addOutsideLinksWhenNoDialog() {
    if (closing || outsideLinks.isEmpty()) {
        return;
    }
    if (retriesWhileADialogIsOpen(*outsideLinksTimer)) {
        return;
    }
    if (!hasQueue()) {
        return; // they go on once the queue is taken
    }
    QTextCursor everything(input->document());
    everything.select(QTextCursor::Document);
    everything.insertText(outsideLinks.join(u'\n'));
    outsideLinks.clear();
    addClick();
}

// Links from outside that have not reached the dialog were promised a
// place all the same: a close queues them, into the current folder, where
// the queue file it writes keeps them. No page is loaded for them.
void Twindow::queueOutsideLinks() {
    if (outsideLinks.isEmpty()) {
        return;
    }
    std::vector<std::string> allLinks;
    std::vector<std::string> downloadLinks;
    extractLinks(linkTextOf(std::exchange(outsideLinks, {}).join(u'\n')), allLinks, downloadLinks);
    state.downloadsSet.add(notYetQueued(withoutRepeats(downloadLinks)), state.targetFolder);
}

std::vector<std::string> Twindow::notYetQueued(const std::vector<std::string>& links) const {
    const std::vector<bool> queued = state.downloadsSet.holdsUnfinished(links);
    std::vector<std::string> fresh;
    for (std::size_t index = 0; index < links.size(); ++index) {
        if (!queued[index]) {
            fresh.push_back(links[index]);
        }
    }
    return fresh;
}

bool Twindow::retriesWhileADialogIsOpen(QTimer& timer) {
    if (isDialogOpen() || addingLinks) {
        timer.start(dialogCheckIntervalMs);
        return true;
    }
    return false;
}

// Copies that come together, or while a dialog is open, are offered
// together. A copy never touches the input box, where the user may be
// writing.
void Twindow::takeCopiedLinks(std::vector<std::string> links) {
    if (closing) {
        return;
    }
    copiedLinks.insert(copiedLinks.end(), std::make_move_iterator(links.begin()),
                       std::make_move_iterator(links.end()));
    copiedLinksTimer->start(0);
}

void Twindow::offerCopiedLinksWhenNoDialog() {
    if (closing || copiedLinks.empty()) {
        return;
    }
    if (retriesWhileADialogIsOpen(*copiedLinksTimer)) {
        return;
    }
    if (!hasQueue()) {
        copiedLinksTimer->start(dialogCheckIntervalMs);
        return;
    }
    const std::vector<std::string> links = notYetQueued(std::exchange(copiedLinks, {}));
    if (links.empty()) {
        return;
    }
    const QScopedValueRollback busy(addingLinks, true);
    bringToFront();
    confirmLinks(links);
}

// A dialog open over the window stays over it, and is the one to answer.
void Twindow::bringToFront() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    QWidget* front = QApplication::activeModalWidget();
    if (front == nullptr) {
        front = this;
    }
    front->raise();
    front->activateWindow();
}

// A drop only fills the input box: what was dropped may be anything, and the
// user sees it before pressing "Добавить".
void Twindow::appendToInput(const QString& text) {
    QTextCursor end(input->document());
    end.movePosition(QTextCursor::End);
    if (!input->document()->isEmpty() && !input->toPlainText().endsWith(u'\n')) {
        end.insertText(QStringLiteral("\n"));
    }
    end.insertText(text);
}

void Twindow::dragEnterEvent(QDragEnterEvent* event) {
    if (isDropFromOutside(*event, *input)) {
        event->acceptProposedAction();
    }
}

void Twindow::dropEvent(QDropEvent* event) {
    if (isDropFromOutside(*event, *input)) {
        appendToInput(droppedText(*event->mimeData()));
        event->acceptProposedAction();
    }
}

bool Twindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == input->viewport()) {
        const QEvent::Type type = event->type();
        if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            if (isDropFromOutside(*drop, *input)) {
                if (type == QEvent::Drop) {
                    appendToInput(droppedText(*drop->mimeData()));
                }
                drop->acceptProposedAction();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tolvenka
