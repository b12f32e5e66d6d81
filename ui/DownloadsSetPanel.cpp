#include "ui/DownloadsSetPanel.h"

#include "engine/Download.h"
#include "intake/FolderChoice.h"
#include "intake/TDownloadsListDialog.h"
#include "platform/GuiThread.h"
#include "platform/GuiWakeUp.h"
#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"
#include "ui/CurrentDownloadInfo.h"
#include "ui/DownloadsGridModel.h"
#include "ui/OwnClipboardText.h"
#include "ui/ProgressCellDelegate.h"
#include "ui/QueueStatusLine.h"
#include "ui/TransferShare.h"
#include "widgets/PushButton.h"
#include "widgets/Question.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int refreshIntervalMs = 40;

constexpr int buttonMargin = 5;
constexpr int buttonWidth = 150;
constexpr int infoPanelMargin = 5;
constexpr int sizeColumnPadding = 16;

} // namespace

DownloadsSetPanel::DownloadsSetPanel(QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    infoPanel = new QWidget(this);
    infoPanel->setFixedHeight(0);
    layout->addWidget(infoPanel);

    model = new DownloadsGridModel(this);
    grid = new QTableView(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setModel(model);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the grid for the next control instead of walking its cells.
    grid->setTabKeyNavigation(false);
    // The file name takes what the size and the state leave of the width,
    // so no blank band follows the columns; the state keeps its designed
    // width, the size what its longest text needs.
    grid->setColumnWidth(DownloadsGridModel::FileColumn, 500);
    grid->setColumnWidth(DownloadsGridModel::SizeColumn,
                         grid->fontMetrics().horizontalAdvance(QString::fromUtf8("1023,9 МБ")) +
                             sizeColumnPadding);
    grid->setColumnWidth(DownloadsGridModel::StateColumn, 300);
    grid->horizontalHeader()->setSectionResizeMode(DownloadsGridModel::FileColumn,
                                                   QHeaderView::Stretch);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->hide();
    grid->setMinimumHeight(gridHeightShowing(1));
    layout->addWidget(grid, 1);
    footer = buildFooter();
    layout->addWidget(footer);
    buildRowActions();

    grid->setItemDelegateForColumn(
        DownloadsGridModel::StateColumn,
        new ProgressCellDelegate(DownloadsGridModel::ProgressRole, grid));

    timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this] { onTimer(); });
    noteWakeUp = std::make_unique<platform::GuiWakeUp>([this] { refreshSoon(); });
}

// Under the list, the line that tells the whole queue, and beside it the
// three buttons that remove downloads, each as wide as designed or as its
// caption needs, as high as the style makes a button.
QWidget* DownloadsSetPanel::buildFooter() {
    auto* buttonBar = new QWidget(this);
    auto* layout = new QHBoxLayout(buttonBar);
    layout->setContentsMargins(buttonMargin, buttonMargin, buttonMargin, buttonMargin);
    layout->setSpacing(buttonMargin);
    statusLine = new QueueStatusLine(buttonBar);
    layout->addWidget(statusLine, 1);
    const struct {
        const char* caption;
        void (DownloadsSetPanel::*onClick)();
    } buttons[] = {
        {"Удалить загруженные", &DownloadsSetPanel::clearComplete},
        {"Удалить битые", &DownloadsSetPanel::clearNotFound},
        {"Удалить все", &DownloadsSetPanel::clear},
    };
    for (const auto& [caption, onClick] : buttons) {
        auto* button = new PushButton(QString::fromUtf8(caption), QSize(buttonWidth, 0), buttonBar);
        layout->addWidget(button, 0, Qt::AlignTop);
        connect(button, &QPushButton::clicked, this,
                [this, onClick = onClick] { (this->*onClick)(); });
    }
    return buttonBar;
}

DownloadsSetPanel::~DownloadsSetPanel() {
    detach();
    noteWakeUp.reset();
}

void DownloadsSetPanel::detach() {
    if (attachedSet != nullptr) {
        attachedSet->onStatusChange.clear();
        attachedSet->onWork.clear();
        attachedSet->onSetChange.clear();
        attachedSet->onCurrentDownloadChange.clear();
    }
}

void DownloadsSetPanel::setDownloadsSet(DownloadsSet* set) {
    detach();
    infoBoxes.clear();
    attachedSet = set;
    if (set != nullptr) {
        set->onStatusChange = [this](Download* download, int slot) {
            onStatusChange(download, slot);
        };
        set->onWork = [this](Download* download, int slot) {
            onWork(download, slot);
        };
        set->onSetChange = [this](DownloadsSet*) {
            onSetChange();
        };
        set->onCurrentDownloadChange = [this](int slot, Download* download) {
            onCurrentDownloadChange(slot, download);
        };
        buildBoxes();
    }
    onResize();
    // Serial numbers are the set's own, so the rows of another set go
    // first. Rows cost nothing to make, so the grid shows the whole queue
    // when it is first painted.
    model->syncMembers(nullptr);
    model->syncMembers(set);
    picked.clear();
    membersToSync = false;
    refreshSoon();
}

void DownloadsSetPanel::buildBoxes() {
    for (int slot = 0; slot < attachedSet->slotCount(); ++slot) {
        auto box = std::make_unique<CurrentDownloadInfo>(infoPanel);
        box->setObjectName(QStringLiteral("slot") + QString::number(slot));
        box->setDownload(attachedSet->currentDownload(slot));
        box->setStopped(stopped);
        box->show();
        infoBoxes.push_back(std::move(box));
    }
}

std::string DownloadsSetPanel::readCaption(int index) const {
    return fromQString(box(index)->title());
}

void DownloadsSetPanel::writeCaption(int index, const std::string& caption) {
    box(index)->setTitle(toQString(caption));
}

// May run on the worker thread: only notes the change.
void DownloadsSetPanel::onStatusChange(Download*, int slot) {
    if (slot >= 0) {
        box(slot)->statusChanged();
        currentStatesChanged = true;
    } else {
        otherStatesChanged = true;
    }
    if (platform::isGuiThread()) {
        refreshSoon();
    } else {
        noteWakeUp->request();
    }
}

// The bytes of a transfer: its box and its row's share.
void DownloadsSetPanel::onWork(Download*, int slot) {
    if (slot >= 0) {
        box(slot)->worked();
        currentStatesChanged = true;
        refreshSoon();
    }
}

// The rows of downloads that left go at once, before the set deletes them:
// the view reads a row's download whenever it paints or is asked about it.
void DownloadsSetPanel::onSetChange() {
    model->removeRowsThatLeft(attachedSet);
    for (int slot = 0; slot < boxCount(); ++slot) {
        Download* current = attachedSet->currentDownload(slot);
        box(slot)->setDownload(current != nullptr ? current : shownWhenIdle());
    }
    membersToSync = true;
    refreshSoon();
}

// Only a download picked is noted, for its row to follow its state.
void DownloadsSetPanel::onCurrentDownloadChange(int slot, Download* download) {
    box(slot)->setDownload(download != nullptr ? download : shownWhenIdle());
    if (download != nullptr) {
        if (const int index = attachedSet->indexOf(download); index >= 0) {
            picked.push_back(Picked{attachedSet->serialAt(index), download});
        }
    }
    refreshSoon();
}

const Download* DownloadsSetPanel::shownWhenIdle() const {
    return stopped || attachedSet == nullptr ? nullptr : attachedSet->nextToRetry();
}

void DownloadsSetPanel::setStopped(bool isStopped) {
    stopped = isStopped;
    for (int slot = 0; slot < boxCount(); ++slot) {
        Download* current = attachedSet->currentDownload(slot);
        box(slot)->setDownload(current != nullptr ? current : shownWhenIdle());
        box(slot)->setStopped(stopped);
    }
    refreshSoon();
}

void DownloadsSetPanel::clearComplete() {
    if (attachedSet != nullptr) {
        attachedSet->clearComplete();
    }
}

void DownloadsSetPanel::clearNotFound() {
    if (attachedSet != nullptr) {
        attachedSet->clearNotFound();
    }
}

// Everything goes at once, so it asks first, naming the download it
// interrupts if one runs: that one is aborted and leaves when its run ends.
void DownloadsSetPanel::clear() {
    if (attachedSet == nullptr || attachedSet->count() == 0) {
        return;
    }
    const int count = attachedSet->count();
    const Download* running = firstRunning();
    const QString question =
        running == nullptr
            ? QString::fromUtf8("Удалить из списка все загрузки (%1)?").arg(count)
            : QString::fromUtf8("Прервать загрузку «%1» и удалить из списка все загрузки (%2)?")
                  .arg(QFileInfo(toQString(running->getTargetPath())).fileName(),
                       QString::number(count));
    if (!askBeforeGoingAhead(question, QString::fromUtf8("Удалить"), this)) {
        return;
    }
    std::vector<const Download*> everything;
    everything.reserve(static_cast<std::size_t>(attachedSet->count()));
    for (const std::unique_ptr<Download>& download : *attachedSet) {
        everything.push_back(download.get());
    }
    attachedSet->remove(everything);
}

const Download* DownloadsSetPanel::firstRunning() const {
    for (int slot = 0; slot < attachedSet->slotCount(); ++slot) {
        if (const Download* current = attachedSet->currentDownload(slot)) {
            return current;
        }
    }
    return nullptr;
}

void DownloadsSetPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    onResize();
}

void DownloadsSetPanel::onResize() {
    if (infoBoxes.empty()) {
        infoPanel->setFixedHeight(0);
        return;
    }
    const int boxWidth = (width() - 10) / boxCount();
    const int boxHeight = box(0)->heightForWidth(boxWidth);
    for (int slot = 0; slot < boxCount(); ++slot) {
        box(slot)->setGeometry(boxWidth * slot, 0, boxWidth, boxHeight);
    }
    infoPanel->setFixedHeight(boxHeight + infoPanelMargin);
}

int DownloadsSetPanel::heightShowingRows(int rows) const {
    return footer->sizeHint().height() + infoPanel->minimumHeight() + gridHeightShowing(rows);
}

// The columns fill the width, so no horizontal scroll bar takes a row's room.
int DownloadsSetPanel::gridHeightShowing(int rows) const {
    return grid->horizontalHeader()->sizeHint().height() +
           rows * grid->verticalHeader()->defaultSectionSize() + 2 * grid->frameWidth();
}

void DownloadsSetPanel::onTimer() {
    for (const auto& box : infoBoxes) {
        box->update();
    }
    refreshGrid();
    tellTransferShare();
    tellWait();
    scheduleNextRefresh();
}

// A wait shown has a tick whenever its time left reads another second, so
// whoever is told of it needs no timer of its own.
void DownloadsSetPanel::tellWait() {
    if (!onWait) {
        return;
    }
    for (const auto& box : infoBoxes) {
        if (const Download* waiting = box->shownWait()) {
            onWait(waiting);
            return;
        }
    }
    onWait(nullptr);
}

// A transfer's work events tick the timer, and its end is a state change,
// which ticks it too.
void DownloadsSetPanel::tellTransferShare() {
    int percent = -1;
    for (int slot = 0; slot < boxCount() && percent < 0; ++slot) {
        if (const Download* current = attachedSet->currentDownload(slot)) {
            percent = percentReceived(*current);
        }
    }
    if (percent != shownShare) {
        shownShare = percent;
        if (onTransferShare) {
            onTransferShare(percent);
        }
    }
}

void DownloadsSetPanel::refreshSoon() {
    if (!timer->isActive() || timer->remainingTime() > refreshIntervalMs) {
        timer->start(refreshIntervalMs);
    }
}

bool DownloadsSetPanel::isRefreshDue() const {
    return timer->isActive();
}

// A transfer is followed by the queue's work events; a timed wait shown
// needs a tick whenever its time left reads another second.
void DownloadsSetPanel::scheduleNextRefresh() {
    std::int64_t next = -1;
    for (const auto& box : infoBoxes) {
        const std::int64_t due = box->msUntilTimeLeftChanges();
        if (due >= 0 && (next < 0 || due < next)) {
            next = due;
        }
    }
    if (next < 0 || timer->isActive()) {
        return;
    }
    for (const auto& box : infoBoxes) {
        box->worked();
    }
    timer->start(static_cast<int>(next));
}

void DownloadsSetPanel::refreshGrid() {
    syncRows();
    if (otherStatesChanged.exchange(false)) {
        currentStatesChanged = false;
        model->refreshAllStates();
        statesToRead();
    } else if (currentStatesChanged.exchange(false)) {
        model->refreshStates(statesToRead());
    }
}

// After this the rows are the set's members in its order. Every removal is
// announced (a load empties the set, which announces itself, before it
// fills it), so the rows never outlive a download.
void DownloadsSetPanel::syncRows() {
    if (std::exchange(membersToSync, false)) {
        model->syncMembers(attachedSet);
    }
}

// The serial numbers of the downloads picked since the last reading; those
// still current stay noted, since their states go on changing.
std::vector<std::uint64_t> DownloadsSetPanel::statesToRead() {
    std::vector<std::uint64_t> serials;
    std::vector<Picked> stillCurrent;
    for (const Picked& download : picked) {
        if (std::find(serials.begin(), serials.end(), download.serial) != serials.end()) {
            continue; // picked again after an abort
        }
        serials.push_back(download.serial);
        if (attachedSet != nullptr && attachedSet->slotOf(download.download) >= 0) {
            stillCurrent.push_back(download);
        }
    }
    picked = std::move(stillCurrent);
    return serials;
}

void DownloadsSetPanel::buildRowActions() {
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // A long file name keeps its end, the extension, in view; a reason too
    // long for the state reads from its start (ProgressCellDelegate).
    grid->setWordWrap(false);
    grid->setTextElideMode(Qt::ElideMiddle);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    // Rows are dragged to their new place in the queue.
    grid->setDragEnabled(true);
    grid->setDragDropMode(QAbstractItemView::InternalMove);
    grid->setDragDropOverwriteMode(false);
    grid->setDropIndicatorShown(true);
    model->onRowsDropped = [this](const std::vector<const Download*>& dropped,
                                  const Download* before) {
        moveBefore(dropped, before);
    };
    openOnDesktop = [](const QUrl& url) {
        QDesktopServices::openUrl(url);
    };
    chooseFolder = TDownloadsListDialog::systemFolderBrowser;

    openFileAction = addRowAction("Открыть файл", &DownloadsSetPanel::openFiles);
    openFileAction->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    openFolderAction = addRowAction("Открыть папку", &DownloadsSetPanel::openFolders);
    copyLinksAction = addRowAction("Копировать ссылки", &DownloadsSetPanel::copyLinks);
    copyLinksAction->setShortcut(QKeySequence::Copy);
    const struct {
        const char* caption;
        QKeyCombination keys;
        DownloadsSet::Move where;
    } moves[] = {
        {"Переместить вверх", Qt::CTRL | Qt::Key_Up, DownloadsSet::Move::Up},
        {"Переместить вниз", Qt::CTRL | Qt::Key_Down, DownloadsSet::Move::Down},
        {"В начало очереди", Qt::CTRL | Qt::Key_Home, DownloadsSet::Move::ToTop},
        {"В конец очереди", Qt::CTRL | Qt::Key_End, DownloadsSet::Move::ToBottom},
    };
    for (const auto& [caption, keys, where] : moves) {
        QAction* action = addRowAction(caption, nullptr);
        action->setShortcut(QKeySequence(keys));
        connect(action, &QAction::triggered, this, [this, where = where] { moveSelected(where); });
        moveActions.push_back(action);
    }
    holdAction = addRowAction("Приостановить", &DownloadsSetPanel::holdSelected);
    releaseAction = addRowAction("Возобновить", &DownloadsSetPanel::releaseSelected);
    // Ctrl+P holds the selection back, or lets it go when all of it is held.
    QAction* toggleHold = addRowAction("", &DownloadsSetPanel::toggleHold);
    toggleHold->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    changeFolderAction = addRowAction("Изменить папку…", &DownloadsSetPanel::changeFolder);
    retryAction = addRowAction("Повторить", &DownloadsSetPanel::retry);
    removeAction = addRowAction("Удалить из списка", &DownloadsSetPanel::removeFromList);
    removeAction->setShortcut(QKeySequence::Delete);

    rowMenu = new QMenu(this);
    rowMenu->addActions({openFileAction, openFolderAction, copyLinksAction});
    rowMenu->addSeparator();
    rowMenu->addActions(QList<QAction*>(moveActions.begin(), moveActions.end()));
    rowMenu->addSeparator();
    rowMenu->addActions({holdAction, releaseAction, changeFolderAction});
    rowMenu->addSeparator();
    rowMenu->addActions({retryAction, removeAction});
    // The keys stay live for whatever is selected when they are pressed;
    // each action passes over the rows it does not apply to.
    connect(rowMenu, &QMenu::aboutToHide, this, [this] {
        for (QAction* action : rowMenu->actions()) {
            action->setEnabled(true);
        }
    });
    connect(grid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { showRowMenu(position); });
    connect(grid, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { openFileOfRow(index); });
}

QAction* DownloadsSetPanel::addRowAction(const char* caption, void (DownloadsSetPanel::*act)()) {
    auto* action = new QAction(QString::fromUtf8(caption), grid);
    action->setShortcutContext(Qt::WidgetShortcut);
    if (act != nullptr) {
        connect(action, &QAction::triggered, this, [this, act] { (this->*act)(); });
    }
    grid->addAction(action);
    return action;
}

namespace {

bool isComplete(const Download* download) {
    return download->getState() == Download::State::Complete;
}

bool hasStopped(const Download* download) {
    const Download::State state = download->getState();
    return state == Download::State::Error || state == Download::State::NotFound;
}

bool hasArrived(const Download* download) {
    const Download::State state = download->getState();
    return state == Download::State::Complete || state == Download::State::NotFound;
}

QString folderOf(const Download& download) {
    return QFileInfo(toQString(download.getTargetPath())).absolutePath();
}

} // namespace

void DownloadsSetPanel::showRowMenu(const QPoint& position) {
    const std::vector<const Download*> selected = selectedDownloads();
    if (selected.empty()) {
        return;
    }
    const auto any = [&](auto holds) {
        return std::any_of(selected.begin(), selected.end(), holds);
    };
    const auto idle = [this](const Download* d) {
        return attachedSet->slotOf(d) < 0;
    };
    openFileAction->setEnabled(any(isComplete));
    retryAction->setEnabled(any([&](const Download* d) { return hasStopped(d) && idle(d); }));
    holdAction->setEnabled(any([](const Download* d) { return !d->isHeld() && !hasArrived(d); }));
    releaseAction->setEnabled(any([](const Download* d) { return d->isHeld(); }));
    changeFolderAction->setEnabled(
        any([&](const Download* d) { return idle(d) && !isComplete(d); }));
    rowMenu->popup(grid->viewport()->mapToGlobal(position));
}

std::vector<const Download*> DownloadsSetPanel::selectedDownloads() {
    syncRows();
    std::vector<int> rows;
    for (const QItemSelectionRange& range : grid->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(row);
        }
    }
    // Ranges may overlap after Ctrl-clicks.
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<const Download*> selected;
    selected.reserve(rows.size());
    for (const int row : rows) {
        if (const Download* download = model->downloadAt(row)) {
            selected.push_back(download);
        }
    }
    return selected;
}

void DownloadsSetPanel::openFiles() {
    for (const Download* download : selectedDownloads()) {
        if (isComplete(download)) {
            openFileOf(*download);
        }
    }
}

void DownloadsSetPanel::openFolders() {
    QStringList folders;
    for (const Download* download : selectedDownloads()) {
        folders << folderOf(*download);
    }
    folders.removeDuplicates();
    for (const QString& folder : folders) {
        openOnDesktop(QUrl::fromLocalFile(folder));
    }
}

void DownloadsSetPanel::copyLinks() {
    QStringList links;
    for (const Download* download : selectedDownloads()) {
        links << toQString(download->getLink());
    }
    if (!links.isEmpty()) {
        OwnClipboardText::put(links.join(u'\n'));
    }
}

// The rows are synced before and after, so that they move as the queue
// does and the selection goes with them.
void DownloadsSetPanel::moveSelected(DownloadsSet::Move where) {
    if (attachedSet != nullptr && attachedSet->move(selectedDownloads(), where)) {
        syncRows();
        grid->scrollTo(grid->currentIndex());
    }
}

void DownloadsSetPanel::moveBefore(const std::vector<const Download*>& moved,
                                   const Download* before) {
    if (attachedSet == nullptr) {
        return;
    }
    const int place = before != nullptr ? attachedSet->indexOf(before) : attachedSet->count();
    if (place >= 0 && attachedSet->moveBefore(moved, place)) {
        syncRows();
    }
}

void DownloadsSetPanel::holdSelected() {
    if (attachedSet != nullptr) {
        attachedSet->hold(selectedDownloads());
    }
}

void DownloadsSetPanel::releaseSelected() {
    if (attachedSet != nullptr) {
        attachedSet->release(selectedDownloads());
    }
}

void DownloadsSetPanel::toggleHold() {
    const std::vector<const Download*> selected = selectedDownloads();
    const bool allHeld = std::all_of(selected.begin(), selected.end(), [](const Download* d) {
        return d->isHeld() || hasArrived(d);
    });
    if (allHeld) {
        releaseSelected();
    } else {
        holdSelected();
    }
}

// The folder gets the check a new download's folder gets.
void DownloadsSetPanel::changeFolder() {
    std::vector<const Download*> movers;
    for (const Download* download : selectedDownloads()) {
        if (attachedSet->slotOf(download) < 0 && !isComplete(download)) {
            movers.push_back(download);
        }
    }
    if (movers.empty()) {
        return;
    }
    const std::optional<QString> chosen =
        chooseFolder(this, QStringLiteral("Выберите каталог:"), folderOf(*movers.front()));
    if (!chosen || chosen->isEmpty()) {
        return;
    }
    const std::optional<std::string> folder = acceptableFolder(*chosen, this);
    if (folder) {
        attachedSet->moveToFolder(movers, *folder);
    }
}

void DownloadsSetPanel::retry() {
    if (attachedSet != nullptr) {
        attachedSet->retry(selectedDownloads());
    }
}

// Removing a running download throws away what it has done, so that asks
// first. The question's own event loop may let downloads leave, so the
// selection is taken again after it.
void DownloadsSetPanel::removeFromList() {
    if (attachedSet == nullptr) {
        return;
    }
    for (const Download* download : selectedDownloads()) {
        if (attachedSet->slotOf(download) >= 0) {
            const QString file = QFileInfo(toQString(download->getTargetPath())).fileName();
            if (!askBeforeGoingAhead(
                    QString::fromUtf8("Прервать загрузку «%1» и удалить её из списка?").arg(file),
                    QString::fromUtf8("Удалить"), this)) {
                return;
            }
            break;
        }
    }
    attachedSet->remove(selectedDownloads());
}

// The row is followed through the sync, which may move or remove it.
void DownloadsSetPanel::openFileOfRow(const QModelIndex& index) {
    const QPersistentModelIndex row(index);
    syncRows();
    const Download* download = row.isValid() ? model->downloadAt(row.row()) : nullptr;
    if (download != nullptr && isComplete(download)) {
        openFileOf(*download);
    }
}

void DownloadsSetPanel::openFileOf(const Download& download) {
    openOnDesktop(QUrl::fromLocalFile(toQString(download.getTargetPath())));
}

const char* Register() {
    return "Kestrune";
}

} // namespace tolvenka
