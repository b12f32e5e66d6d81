#include "ui/Twindow.h"

#include "engine/Download.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "ui/ComfortControls.h"
#include "ui/CommandRows.h"
#include "ui/DesktopNotices.h"
#include "ui/DownloadingGate.h"
#include "ui/DownloadsSetPanel.h"
#include "ui/HistoryWindow.h"
#include "ui/InputBoxSizing.h"
#include "ui/LinkIntake.h"
#include "ui/Main.h"
#include "ui/OutsideLinks.h"
#include "ui/QueueLife.h"
#include "ui/QueueStateView.h"
#include "ui/SettingsDialog.h"
#include "ui/TrayIcon.h"
#include "ui/WindowPlacement.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int workerSlot = 0;
constexpr QRect designedBounds(240, 147, 930, 767);
constexpr int captionHeight = 17;
// The rows of the list that the input box never takes the room of as it
// grows; a large font on a small screen shows fewer only where even the
// least input box leaves no more.
constexpr int listedRows = 10;

} // namespace

Twindow::Twindow(Main& state, std::string queueFilePath, QueueFileReading* reading,
                 std::unique_ptr<platform::WallClock> clock)
    : state(state)
    , wallClock(clock ? std::move(clock) : std::make_unique<platform::SystemWallClock>())
    , gate(std::make_unique<DownloadingGate>(settings, *wallClock))
    , queue(std::make_unique<QueueLife>(state, std::move(queueFilePath), *this))
    , intake(std::make_unique<LinkIntake>(state, *this)) {
    // The settings tell only their first failure of the run.
    settings.onKeepFailed = [this](const std::string& reason) {
        QTimer::singleShot(0, this, [this, reason] {
            if (!closing) {
                showMessage(std::string("Настройки не сохранены: "_cp1251) + reason, this);
            }
        });
    };
    buildControls();
    connectControls();
    queue->onQueueTaken = [this] {
        queueTaken();
    };
    queue->onUnreadable = [this] {
        closeWithoutAsking();
    };
    queue->onRunEnded = [this](const Download& download) {
        runEnded(download);
    };
    queue->onOutOfWork = [this] {
        notices->allDone();
    };
    queue->onWorkerStarted = [this](SimpleDownloadThread& worker) {
        gate->attach(&worker);
    };
    queue->onQueueChanged = [this] {
        view->queueChanged();
    };
    panel->setDownloadsSet(&state.downloadsSet);
    view = std::make_unique<QueueStateView>(*this, *gate, *panel, commands->startButton(),
                                            state.downloadsSet);
    connectTray();
    placement = std::make_unique<WindowPlacement>(*this, designedBounds, *commands,
                                                  [this] { inputSizing->fit(); });
    placement->place();
    notices = std::make_unique<DesktopNotices>(*this);
    // A queue still being read is taken when the reading ends: the window
    // shows at once, however long the queue; until then the controls that
    // change the queue or its options wait, and anything else that needs
    // the queue (a close, links from outside) takes it first.
    for (QWidget* control : commands->queueControls()) {
        control->setEnabled(false);
    }
    queue->start(reading);
}

// The queue goes first: its worker's last steps may still tell the window.
Twindow::~Twindow() {
    gate->attach(nullptr);
    queue.reset();
    outsideLinks.reset();
    view.reset();
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
    input->setObjectName(QStringLiteral("input"));
    // A link broken over two lines would read as two; a line wider than the
    // box brings the scroll bar.
    input->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Links do not hold tabs; Tab goes on to "Добавить".
    input->setTabChangesFocus(true);
    outsideLinks = std::make_unique<OutsideLinks>(state, *intake, *this, *input,
                                                  [this] { return queue->hasQueue(); });
    outsideLinks->bringToFront = [this] {
        bringToFront();
    };

    auto* lower = new QWidget(splitter);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(0);
    commands = new CommandRows(settings, state.speedLimit, outsideLinks->clipboardWatch(), lower);
    lowerLayout->addWidget(commands);
    panel = new DownloadsSetPanel(lower);
    panel->setObjectName(QStringLiteral("downloads"));
    lowerLayout->addWidget(panel, 1);

    splitter->addWidget(input);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    inputSizing = new InputBoxSizing(*input, *splitter, settings, [this] { return listNeeds(); });
    input->setMinimumHeight(inputSizing->leastHeight());
    setTabOrder(input, commands->firstInTabOrder());
    setTabOrder(commands->lastInTabOrder(), panel);
    input->setFocus();

    closeTimer = new QTimer(this);
    closeTimer->setInterval(1);
    connect(closeTimer, &QTimer::timeout, this, [this] { closeTimerTimer(); });
}

void Twindow::connectControls() {
    connect(&commands->addButton(), &QPushButton::clicked, this,
            [this] { intake->addTyped(input->toPlainText()); });
    connect(&commands->startButton(), &QPushButton::clicked, this, [this] { startClick(); });
    connect(&commands->stopButton(), &QPushButton::clicked, this, [this] { stopClick(); });
    connect(&commands->settingsButton(), &QPushButton::clicked, this, [this] { openSettings(); });
    connect(&commands->historyButton(), &QPushButton::clicked, this, [this] { showHistory(); });
    connect(&commands->deleteWhenCompleteBox(), &QCheckBox::toggled, this, [this](bool checked) {
        this->state.deleteCompleted = checked;
        queue->saveSoon();
    });
}

// What the part under the divider needs to show its least rows.
int Twindow::listNeeds() const {
    return commands->heightForWidth(commands->width()) + panel->heightShowingRows(listedRows);
}

bool Twindow::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (placement) {
        placement->follow(event->type());
    }
    return handled;
}

void Twindow::queueTaken() {
    commands->deleteWhenCompleteBox().setChecked(state.deleteCompleted);
    // Attached anew: the downloads read join without a word.
    panel->setDownloadsSet(&state.downloadsSet);
    for (QWidget* control : commands->queueControls()) {
        control->setEnabled(true);
    }
    outsideLinks->queueTaken();
}

void Twindow::whenQueueTaken(std::function<void()> then) {
    if (!closing) {
        queue->whenQueueTaken(std::move(then));
    }
}

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
}

void Twindow::showHistory() {
    if (historyWindow == nullptr) {
        historyWindow = new HistoryWindow(state.history, this);
    }
    historyWindow->showHistory();
}

// Downloads that stopped with an error get one more try, in queue order.
void Twindow::startClick() {
    state.downloadsSet.retryStopped();
    gate->resume();
}

void Twindow::stopClick() {
    gate->stop();
}

void Twindow::openSettings() {
    SettingsDialog dialog(gate->downloadHours(), settings.closesToTray(), view->tray() != nullptr,
                          this);
    if (dialog.exec() == QDialog::Accepted && !closing) {
        gate->setDownloadHours(dialog.downloadHours());
        settings.setClosesToTray(dialog.closesToTray());
    }
}

void Twindow::connectTray() {
    if (TrayIcon* tray = view->tray()) {
        // With the window hidden in the tray, a dialog closed last would
        // end the program without its close; only the close ends it.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        tray->onShowWindow = [this] {
            bringToFront();
        };
        tray->onStop = [this] {
            stopClick();
        };
        tray->onResume = [this] {
            startClick();
        };
        tray->onQuit = [this] {
            quitFromTray();
        };
    }
}

// Leaves whatever the option says, asking first during a transfer; a
// "Не выходить" lets the next close go to the tray again.
void Twindow::quitFromTray() {
    quitting = true;
    close();
}

void Twindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && gate->isStoppedByUser()) {
        commands->startButton().click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Twindow::saveNow() {
    queue->saveNow();
}

bool Twindow::addFromOutside(const QString& text) {
    return !closing && outsideLinks->handOver(text);
}

void Twindow::closeWithoutAsking() {
    askNoMore = true;
    closeQuestion.dismiss();
    close();
}

// The service cannot resume a transfer, so a close during one throws away
// what arrived; a close request of the user's asks first.
//
// The first close request settles what was promised before anything is
// written: the links of later starts whose hand-over has come are queued,
// and a dialog open with them, dismissed by the close, queues them when it
// returns. The queue is written then, and once more when the worker, the
// dialogs and the offers of links have all ended.
void Twindow::closeEvent(QCloseEvent* event) {
    if (!closing && !askNoMore && !quitting && view->tray() != nullptr && settings.closesToTray() &&
        !qApp->isSavingSession()) {
        hide();
        event->ignore();
        return;
    }
    if (!queue->hasQueue()) {
        closeUnread(event);
        return;
    }
    if (!closing && !askNoMore && !qApp->isSavingSession() && transferUnderWay()) {
        event->ignore();
        if (!closeQuestion.isOpen()) {
            // Asked from the event loop, not from inside the close event.
            QTimer::singleShot(0, this, [this] { askBeforeClosing(); });
        }
        return;
    }
    if (!closing) {
        onClosing();
        commands->comfortControls().keepSpeedLimit();
        outsideLinks->queuePromised();
        intake->stop();
        queue->beginClose();
        closing = true;
        closeTopDialog();
        closeTimer->start();
        event->ignore();
        return;
    }
    if (!closeIsPending()) {
        closeTimer->stop();
        gate->attach(nullptr);
        queue->endClose();
        event->accept();
        endEventLoop();
        return;
    }
    event->ignore();
}

// The close of a window hidden in the tray is no last window closing, which
// would end the event loop by itself, and with a tray none is.
void Twindow::endEventLoop() {
    if (!isVisible() || !QGuiApplication::quitOnLastWindowClosed()) {
        QCoreApplication::quit();
    }
}

bool Twindow::closeIsPending() const {
    return !queue->workerHasEnded() || isDialogOpen() || intake->isBusy() || outsideLinks->isBusy();
}

void Twindow::closeUnread(QCloseEvent* event) {
    if (!closing) {
        closing = true;
        onClosing();
        commands->comfortControls().keepSpeedLimit();
        intake->stop();
        queue->abandonReading();
        closeTopDialog();
    }
    if (isDialogOpen() || intake->isBusy()) {
        closeTimer->start();
        event->ignore();
        return;
    }
    closeTimer->stop();
    event->accept();
    endEventLoop();
}

const Download* Twindow::transferUnderWay() const {
    const Download* current = state.downloadsSet.currentDownload(workerSlot);
    return current != nullptr && current->getState() == Download::State::Downloading ? current
                                                                                     : nullptr;
}

void Twindow::askBeforeClosing() {
    const Download* download = transferUnderWay();
    if (download == nullptr || closeQuestion.isOpen() || askNoMore || closing) {
        if (download == nullptr && !closing) {
            close(); // the transfer ended meanwhile
        }
        return;
    }
    if (!closeQuestion.ask(*download, *this)) {
        quitting = false;
    } else if (!askNoMore) {
        askNoMore = true;
        close();
    }
}

void Twindow::closeTimerTimer() {
    closeTopDialog();
    if (!closeIsPending()) {
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

// A dialog open over the window stays over it, and is the one to answer.
void Twindow::bringToFront() {
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    QWidget* front = QApplication::activeModalWidget();
    if (front == nullptr) {
        front = this;
    }
    front->raise();
    front->activateWindow();
}

} // namespace tolvenka
