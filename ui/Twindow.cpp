#include "ui/Twindow.h"

#include "engine/Download.h"
#include "engine/SimpleDownloadThread.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "ui/ClipboardWatch.h"
#include "ui/ComfortControls.h"
#include "ui/DesktopNotices.h"
#include "ui/DownloadsSetPanel.h"
#include "ui/LinkIntake.h"
#include "ui/Main.h"
#include "ui/OutsideLinks.h"
#include "ui/QueueLife.h"
#include "ui/TransferShare.h"
#include "widgets/FlowLayout.h"
#include "widgets/PushButton.h"
#include "widgets/ScreenPlacement.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int workerSlot = 0;
constexpr QRect designedBounds(240, 147, 930, 767);
constexpr int captionHeight = 17;
constexpr int inputHeight = 208;

} // namespace

Twindow::Twindow(Main& state, std::string queueFilePath, QueueFileReading* reading)
    : state(state)
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
    panel->onTransferShare = [this](int percent) {
        transferPercent = percent;
        showTitle();
    };
    panel->setDownloadsSet(&state.downloadsSet);
    placeOnScreen();
    notices = std::make_unique<DesktopNotices>(*this);
    // A queue still being read is taken when the reading ends: the window
    // shows at once, however long the queue; until then the controls that
    // change the queue or its options wait, and anything else that needs
    // the queue (a close, links from outside) takes it first.
    for (QWidget* control : queueControls) {
        control->setEnabled(false);
    }
    queue->start(reading);
}

// The queue goes first: its worker's last steps may still tell the window.
Twindow::~Twindow() {
    queue.reset();
    outsideLinks.reset();
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
    outsideLinks = std::make_unique<OutsideLinks>(state, *intake, *this, *input,
                                                  [this] { return queue->hasQueue(); });
    outsideLinks->bringToFront = [this] {
        bringToFront();
    };

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
    deleteWhenComplete = new QCheckBox(QString::fromUtf8("Удалять загруженные"), panel1);
    deleteWhenComplete->setMinimumHeight(17);
    deleteWhenComplete->setChecked(true);
    queueControls = {add, start, stop, deleteWhenComplete};
    for (QWidget* control : queueControls) {
        panel1Layout->addWidget(control);
    }
    comfort =
        new ComfortControls(settings, state.speedLimit, outsideLinks->clipboardWatch(), panel1);
    panel1Rows->addWidget(comfort);
    lowerLayout->addWidget(panel1);

    panel = new DownloadsSetPanel(lower);
    lowerLayout->addWidget(panel, 1);

    input->setObjectName(QStringLiteral("input"));
    add->setObjectName(QStringLiteral("add"));
    start->setObjectName(QStringLiteral("start"));
    stop->setObjectName(QStringLiteral("stop"));
    deleteWhenComplete->setObjectName(QStringLiteral("deleteWhenComplete"));
    panel->setObjectName(QStringLiteral("downloads"));

    splitter->addWidget(input);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);

    setTabOrder(input, add);
    setTabOrder(add, start);
    setTabOrder(start, stop);
    setTabOrder(stop, deleteWhenComplete);
    setTabOrder(deleteWhenComplete, comfort->speedBox());
    setTabOrder(comfort->speedBox(), comfort->watchBox());
    setTabOrder(comfort->watchBox(), panel);
    input->setFocus();

    connect(add, &QPushButton::clicked, this, [this] { intake->addTyped(input->toPlainText()); });
    startButton = start;
    connect(start, &QPushButton::clicked, this, [this] { startClick(); });
    connect(stop, &QPushButton::clicked, this, [this] { stopClick(); });
    connect(deleteWhenComplete, &QCheckBox::toggled, this, [this](bool checked) {
        this->state.deleteCompleted = checked;
        queue->saveSoon();
    });

    closeTimer = new QTimer(this);
    closeTimer->setInterval(1);
    connect(closeTimer, &QTimer::timeout, this, [this] { closeTimerTimer(); });
}

// Two lines of links and the scroll bar that a long one brings.
int Twindow::inputLeastHeight() const {
    constexpr int inputLines = 2;
    return inputLines * input->fontMetrics().lineSpacing() +
           2 * static_cast<int>(input->document()->documentMargin()) + 2 * input->frameWidth() +
           input->horizontalScrollBar()->sizeHint().height();
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

void Twindow::queueTaken() {
    deleteWhenComplete->setChecked(state.deleteCompleted);
    // Attached anew: the downloads read join without a word.
    panel->setDownloadsSet(&state.downloadsSet);
    for (QWidget* control : queueControls) {
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
        break;
    default:
        break;
    }
}

// Downloads that stopped with an error get one more try, in queue order.
void Twindow::startClick() {
    state.downloadsSet.retryStopped();
    queue->worker()->resume();
    showStopped(false);
}

void Twindow::stopClick() {
    queue->worker()->pause();
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

void Twindow::saveNow() {
    queue->saveNow();
}

bool Twindow::addFromOutside(const QString& text) {
    return !closing && outsideLinks->handOver(text);
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
//
// The first close request settles what was promised before anything is
// written: the links of later starts whose hand-over has come are queued,
// and a dialog open with them, dismissed by the close, queues them when it
// returns. The queue is written then, and once more when the worker, the
// dialogs and the offers of links have all ended.
void Twindow::closeEvent(QCloseEvent* event) {
    if (!queue->hasQueue()) {
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
        comfort->keepSpeedLimit();
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
        queue->endClose();
        event->accept();
        return;
    }
    event->ignore();
}

bool Twindow::closeIsPending() const {
    return !queue->workerHasEnded() || isDialogOpen() || intake->isBusy() || outsideLinks->isBusy();
}

void Twindow::closeUnread(QCloseEvent* event) {
    if (!closing) {
        closing = true;
        onClosing();
        comfort->keepSpeedLimit();
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
