#include "ui/DownloadsSetPanel.h"

#include "engine/Download.h"
#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"
#include "ui/CurrentDownloadInfo.h"
#include "ui/DownloadsGridModel.h"
#include "widgets/PushButton.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int buttonBarHeight = 40;
constexpr int refreshIntervalMs = 40;

constexpr int buttonMargin = 5;
constexpr int buttonWidth = 150;
constexpr int infoPanelMargin = 5;

} // namespace

DownloadsSetPanel::DownloadsSetPanel(QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildButtonBar());

    infoPanel = new QWidget(this);
    infoPanel->setFixedHeight(CurrentDownloadInfo::Height + infoPanelMargin);
    layout->addWidget(infoPanel);

    model = new DownloadsGridModel(this);
    grid = new QTableView(this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setModel(model);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the grid for the next control instead of walking its cells.
    grid->setTabKeyNavigation(false);
    grid->setColumnWidth(0, 500);
    grid->setColumnWidth(1, 300);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->hide();
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(grid, 1);

    timer = new QTimer(this);
    timer->setInterval(refreshIntervalMs);
    connect(timer, &QTimer::timeout, this, [this] { onTimer(); });
    timer->start();
}

// Three buttons side by side at the top left, each as wide as designed or as
// its caption needs, as high as the style makes a button.
QWidget* DownloadsSetPanel::buildButtonBar() {
    auto* buttonBar = new QWidget(this);
    buttonBar->setMinimumHeight(buttonBarHeight);
    auto* layout = new QHBoxLayout(buttonBar);
    layout->setContentsMargins(buttonMargin, buttonMargin, buttonMargin, buttonMargin);
    layout->setSpacing(buttonMargin);
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
    layout->addStretch(1);
    return buttonBar;
}

DownloadsSetPanel::~DownloadsSetPanel() {
    detach();
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
    // Serial numbers are the set's own, so the rows of another set go at
    // once; the next tick reads every row of this one.
    model->syncMembers(nullptr);
    picked.clear();
    membersToSync = true;
}

void DownloadsSetPanel::buildBoxes() {
    for (int slot = 0; slot < attachedSet->slotCount(); ++slot) {
        auto box = std::make_unique<CurrentDownloadInfo>(infoPanel);
        box->setObjectName(QStringLiteral("slot") + QString::number(slot));
        box->setDownload(attachedSet->currentDownload(slot));
        box->show();
        infoPanel->setFixedHeight(box->height() + infoPanelMargin);
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
}

void DownloadsSetPanel::onWork(Download*, int slot) {
    if (slot >= 0) {
        box(slot)->worked();
    }
}

void DownloadsSetPanel::onSetChange() {
    for (int slot = 0; slot < boxCount(); ++slot) {
        box(slot)->setDownload(attachedSet->currentDownload(slot));
    }
    membersToSync = true;
}

// An idle worker asks for a download ten times a second and gets none; only
// a download picked is noted, for its row to follow its state.
void DownloadsSetPanel::onCurrentDownloadChange(int slot, Download* download) {
    box(slot)->setDownload(download);
    if (download != nullptr) {
        if (const int index = attachedSet->indexOf(download); index >= 0) {
            picked.push_back(Picked{attachedSet->serialAt(index), download});
        }
    }
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

void DownloadsSetPanel::clear() {
    if (attachedSet != nullptr && !attachedSet->clearAll()) {
        showMessage(std::string("Сначала нужно остановить загрузки."_cp1251), this);
    }
}

void DownloadsSetPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    onResize();
}

void DownloadsSetPanel::onResize() {
    if (infoBoxes.empty()) {
        return;
    }
    const int boxWidth = (width() - 10) / boxCount();
    for (int slot = 0; slot < boxCount(); ++slot) {
        box(slot)->setGeometry(boxWidth * slot, 0, boxWidth, box(slot)->height());
    }
}

void DownloadsSetPanel::onTimer() {
    for (const auto& box : infoBoxes) {
        box->update();
    }
    refreshGrid();
}

void DownloadsSetPanel::refreshGrid() {
    // The members first: after this every row names a live download. Every
    // change of them is announced (a load empties the set, which announces
    // itself, before it fills it), so the rows never outlive a download
    // unnoticed.
    if (std::exchange(membersToSync, false)) {
        model->syncMembers(attachedSet);
    }
    if (otherStatesChanged.exchange(false)) {
        currentStatesChanged = false;
        model->refreshAllStates();
        statesToRead();
    } else if (currentStatesChanged.exchange(false)) {
        model->refreshStates(statesToRead());
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

const char* Register() {
    return "Kestrune";
}

} // namespace tolvenka
