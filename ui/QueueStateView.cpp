#include "ui/QueueStateView.h"

#include "engine/Download.h"
#include "platform/Clock.h"
#include "ui/DownloadHours.h"
#include "ui/DownloadingGate.h"
#include "ui/DownloadsSetPanel.h"
#include "ui/QueueStatusLine.h"
#include "ui/TrayIcon.h"

#include <QPushButton>
#include <QWidget>
#include <algorithm>

namespace tolvenka {

QueueStateView::QueueStateView(QWidget& window, DownloadingGate& gate, DownloadsSetPanel& panel,
                               QPushButton& startButton, const DownloadsSet& set)
    : window(window)
    , gate(gate)
    , panel(panel)
    , startButton(startButton)
    , set(set) {
    // Only where the desktop has a tray: elsewhere the window closes as
    // always.
    if (TrayIcon::isAvailable()) {
        trayIcon = std::make_unique<TrayIcon>();
    }
    title.onChange = [this] {
        showTitle();
    };
    panel.onTransferShare = [this](int percent) {
        title.setTransferShare(percent);
        // What is left shrinks with the transfer.
        queueChanged();
    };
    panel.onWait = [this](const Download* waiting) {
        showWait(waiting);
    };
    gate.onChange = [this] {
        showGate();
    };
    showTitle();
    showGate();
    queueChanged();
}

QueueStateView::~QueueStateView() {
    gate.onChange.clear();
    panel.onTransferShare = nullptr;
    panel.onWait = nullptr;
}

void QueueStateView::queueChanged() {
    panel.queueStatus().showQueue(&set);
}

void QueueStateView::showGate() {
    const bool stoppedByUser = gate.isStoppedByUser();
    title.setStopped(stoppedByUser);
    title.setScheduleResumesAt(gate.waitsForSchedule() ? gate.downloadHours().from : -1);
    startButton.setDefault(stoppedByUser);
    panel.setStopped(!gate.isOpen());
    if (trayIcon) {
        trayIcon->setStopped(stoppedByUser);
    }
}

void QueueStateView::showWait(const Download* waiting) {
    if (waiting == nullptr) {
        title.setWait(-1);
        return;
    }
    // Whole seconds rounded up, as the box shows them.
    const std::int64_t msLeft = waiting->getWaitEndsAtMs() - platform::clockMs();
    title.setWait((std::max<std::int64_t>(msLeft, 0) + 999) / 1000, waiting->getStateCaption());
}

void QueueStateView::showTitle() {
    window.setWindowTitle(title.title());
    if (trayIcon) {
        trayIcon->setToolTip(title.title());
    }
    panel.queueStatus().showState(title.state());
}

} // namespace tolvenka
