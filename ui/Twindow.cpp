#include "ui/Twindow.h"

#include "engine/SimpleDownloadThread.h"
#include "intake/LinkExtraction.h"
#include "intake/LinksLoadingThread.h"
#include "platform/GuiThread.h"
#include "queue/QueueFile.h"
#include "queue/QueueFileKeeper.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "ui/Application.h"
#include "ui/DownloadsSetPanel.h"
#include "ui/Main.h"
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
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>
#include <string_view>
#include <unordered_set>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int workerSlot = 0;
constexpr QRect designedBounds(240, 147, 930, 767);
constexpr int captionHeight = 17;
constexpr int inputHeight = 208;
// The queue file is rewritten within about this long of a change.
constexpr int saveCheckIntervalMs = 1000;

// The links in order, each once, at its first place: a page names a file in
// its address and again in its text.
std::vector<std::string> withoutRepeats(const std::vector<std::string>& links) {
    std::vector<std::string> once;
    std::unordered_set<std::string_view> seen;
    seen.reserve(links.size());
    for (const std::string& link : links) {
        if (seen.insert(link).second) {
            once.push_back(link);
        }
    }
    return once;
}

} // namespace

Twindow::Twindow(Main& state, std::string queueFilePath, QWidget* parent)
    : QWidget(parent)
    , state(state)
    , queueFile(std::move(queueFilePath), state.downloadsSet) {
    buildControls();
    formCreate();
}

Twindow::~Twindow() {
    // Normally the worker has ended before the window closes; if the window
    // goes without that, stop it and let it finish its pass first.
    if (downloadThread && !downloadThread->isFinished()) {
        downloadThread->stop();
        while (!downloadThread->isFinished()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }
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
    layout->addWidget(caption);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    splitter->setOpaqueResize(true);
    layout->addWidget(splitter, 1);

    input = new QPlainTextEdit(splitter);
    input->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Links do not hold tabs; Tab goes on to "Добавить".
    input->setTabChangesFocus(true);
    input->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    input->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* lower = new QWidget(splitter);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(0);

    // The buttons side by side, each as wide as designed or as its caption
    // needs, and the option after them.
    auto* panel1 = new QWidget(lower);
    auto* panel1Layout = new QHBoxLayout(panel1);
    panel1Layout->setContentsMargins(8, 8, 8, 8);
    panel1Layout->setSpacing(7);
    const QSize buttonSize(145, 25);
    auto* add = new PushButton(QString::fromUtf8("Добавить"), buttonSize, panel1);
    auto* start = new PushButton(QString::fromUtf8("Продолжить загрузку"), buttonSize, panel1);
    auto* stop = new PushButton(QString::fromUtf8("Остановить загрузку"), buttonSize, panel1);
    deleteWhenComplete = new QCheckBox(QString::fromUtf8("Удалять загруженные"), panel1);
    deleteWhenComplete->setMinimumHeight(17);
    deleteWhenComplete->setChecked(true);
    for (QWidget* control : std::initializer_list<QWidget*>{add, start, stop, deleteWhenComplete}) {
        panel1Layout->addWidget(control);
    }
    panel1Layout->addStretch(1);
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
    // On a screen too small for the designed bounds the window is moved and
    // shrunk, the input box and the downloads grid giving up height alike.
    const QRect bounds = fittedOnScreen(*this, designedBounds);
    setGeometry(bounds);
    const int inputShare = inputHeight * bounds.height() / designedBounds.height();
    splitter->setSizes({inputShare, bounds.height() - captionHeight - inputShare});
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);

    setTabOrder(input, add);
    setTabOrder(add, start);
    setTabOrder(start, stop);
    setTabOrder(stop, deleteWhenComplete);
    setTabOrder(deleteWhenComplete, panel);
    input->setFocus();

    connect(add, &QPushButton::clicked, this, [this] { addClick(); });
    connect(start, &QPushButton::clicked, this, [this] { startClick(); });
    connect(stop, &QPushButton::clicked, this, [this] { stopClick(); });
    connect(deleteWhenComplete, &QCheckBox::toggled, this,
            [this](bool checked) { this->state.deleteCompleted = checked; });

    closeTimer = new QTimer(this);
    closeTimer->setInterval(1);
    connect(closeTimer, &QTimer::timeout, this, [this] { closeTimerTimer(); });

    saveTimer = new QTimer(this);
    saveTimer->setInterval(saveCheckIntervalMs);
    connect(saveTimer, &QTimer::timeout, this, [this] { saveQueueIfChanged(); });
}

void Twindow::formCreate() {
    QueueOptions options{state.deleteCompleted.load(), state.targetFolder};
    if (queueFile.load(options)) {
        state.deleteCompleted = options.deleteCompleted;
        state.targetFolder = options.targetFolder;
    }
    deleteWhenComplete->setChecked(state.deleteCompleted);
    panel->setDownloadsSet(&state.downloadsSet);
    downloadThread = std::make_unique<SimpleDownloadThread>(
        state.downloadsSet, workerSlot, serviceHost(), state.deleteCompleted,
        [](std::exception_ptr error) {
            // The worker waits while the message is up, so a fault that
            // repeats cannot pile up message boxes.
            platform::synchronize([&] { Application::showError(error); });
        });
    saveTimer->start();
}

void Twindow::addClick() {
    if (closing) {
        return;
    }
    std::vector<std::string> allLinks;
    std::vector<std::string> downloadLinks;
    extractLinks(fromQString(input->toPlainText()), allLinks, downloadLinks);
    if (allLinks.empty()) {
        showMessage(std::string("Не найдены ссылки."_cp1251), this);
        return;
    }
    if (downloadLinks.empty() && allLinks.size() == 1) {
        // One address that is no download link: a page that lists them.
        const std::string pageUrl = allLinks.front();
        allLinks.clear();
        state.waitDialog.execute(std::make_unique<LinksLoadingThread>(state.waitDialog, pageUrl,
                                                                      allLinks, downloadLinks));
        if (closing) {
            return; // the window was closed while the page loaded
        }
    }
    if (downloadLinks.empty()) {
        showMessage(std::string("Не найдены ссылки на закачки."_cp1251), this);
        return;
    }
    state.DownloadsListDialog.setLinks(withoutRepeats(downloadLinks));
    state.DownloadsListDialog.exec();
}

void Twindow::startClick() {
    downloadThread->resume();
}

void Twindow::stopClick() {
    downloadThread->pause();
}

QueueOptions Twindow::currentOptions() const {
    return QueueOptions{state.deleteCompleted.load(), state.targetFolder};
}

// Stopped at the first close request, after which nothing is written.
void Twindow::saveQueueIfChanged() {
    queueFile.saveIfChanged(currentOptions());
}

void Twindow::closeEvent(QCloseEvent* event) {
    if (!closing) {
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
        event->accept();
        return;
    }
    event->ignore();
}

void Twindow::closeTimerTimer() {
    closeTopDialog();
    if (downloadThread->isFinished() && !isDialogOpen()) {
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

} // namespace tolvenka
