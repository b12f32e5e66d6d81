#pragma once

#include "ui/QueueTitle.h"

#include <functional>
#include <memory>

class QPushButton;
class QWidget;

namespace tolvenka {

class Download;
class DownloadingGate;
class DownloadsSet;
class DownloadsSetPanel;
class TrayIcon;

// What the queue does, shown wherever the user looks: in the window's title
// and, where the desktop has a tray, the tray icon's tooltip and menu; in
// the status line under the list (how much is left, and why nothing moves);
// in the current-download boxes ("Загрузка остановлена"); and Enter resumes
// a queue the user stopped. It follows the gate and the panel's ticks, so
// it wakes no more often than they do.
//
// GUI thread.
class QueueStateView {
public:
    // `startButton` becomes the default while the user has stopped the queue.
    QueueStateView(QWidget& window, DownloadingGate& gate, DownloadsSetPanel& panel,
                   QPushButton& startButton, const DownloadsSet& set);
    ~QueueStateView();

    QueueStateView(const QueueStateView&) = delete;
    QueueStateView& operator=(const QueueStateView&) = delete;

    // The tray icon; null where the desktop has no tray.
    TrayIcon* tray() const { return trayIcon.get(); }
    // What the queue holds changed.
    void queueChanged();

private:
    void showGate();
    void showWait(const Download* waiting);
    void showTitle();

    QWidget& window;
    DownloadingGate& gate;
    DownloadsSetPanel& panel;
    QPushButton& startButton;
    const DownloadsSet& set;
    QueueTitle title;
    std::unique_ptr<TrayIcon> trayIcon;
};

} // namespace tolvenka
