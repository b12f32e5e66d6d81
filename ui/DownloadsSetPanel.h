#pragma once

#include "intake/TDownloadsListDialog.h"
#include "queue/DownloadsSet.h"

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QModelIndex;
class QPoint;
class QTableView;
class QTimer;
class QUrl;

namespace platform {
class GuiWakeUp;
}

namespace tolvenka {

class CurrentDownloadInfo;
class Download;
class DownloadsGridModel;
class QueueStatusLine;

// Shows one download queue: one current-download box per worker slot, a
// grid of every download with its state, and under it the queue's status
// line beside three buttons that remove downloads. The queue's events never touch a control: they
// only note what changed (a flag here, an update level on a box), and a timer applies it on the GUI
// thread within 40 ms. That is what lets the worker thread report state changes while it runs a
// download. Only the rows of downloads that leave go at once, on the GUI thread, before the set
// deletes them. The timer runs only while there is something to apply: a noted change, a transfer,
// and the time left of a wait shown, once a second; a queue at rest costs nothing.
//
// The grid selects whole rows, several with Shift and Ctrl, and its context
// menu acts on them: open a finished file or the folders, copy the links,
// move them up, down, to the top or the bottom of the queue, hold them back
// or let them go, send them to another folder, try stopped downloads again,
// remove them from the list (a running one, and all of them with "Удалить
// все", after a question that names the download it interrupts). Enter and a double click open
// finished files, Ctrl+C copies, Ctrl+Up, Ctrl+Down, Ctrl+Home and Ctrl+End move, Ctrl+P holds or
// lets go, Delete removes; rows are also dragged to a new place.
//
// The boxes are named "slot0", "slot1", ..., the grid "grid".
class DownloadsSetPanel : public QWidget {
public:
    explicit DownloadsSetPanel(QWidget* parent = nullptr);
    ~DownloadsSetPanel() override;

    // Hands a file or folder to the desktop, which opens it with the user's
    // program for it; tests put a recorder here.
    std::function<void(const QUrl&)> openOnDesktop;
    // The folder browser of "Изменить папку…"; tests drive their own.
    TDownloadsListDialog::FolderBrowser chooseFolder;
    // The share of a transfer's file received, in percent, whenever it reads
    // another; -1 when no transfer with a known size runs. GUI thread.
    std::function<void(int percent)> onTransferShare;
    // The download whose timed wait a box shows (null: none), at every tick,
    // so once a second while it counts down. GUI thread.
    std::function<void(const Download* waiting)> onWait;

    // Attaches the panel to `set`, or to nothing for null.
    void setDownloadsSet(DownloadsSet* set);

    // The caption of box `index`; the index is not checked.
    std::string readCaption(int index) const;
    void writeCaption(int index, const std::string& caption);

    // Applies what the events noted; the timer calls it.
    void onTimer();
    // Whether the timer will call it.
    bool isRefreshDue() const;

    // Downloading is stopped (or goes on again): the boxes say so.
    void setStopped(bool stopped);

    // The line under the list, which its owner tells what to say.
    QueueStatusLine& queueStatus() const { return *statusLine; }

    // The height at which the grid shows `rows` whole rows, in the present
    // font, with the boxes of the attached set.
    int heightShowingRows(int rows) const;
    // The same for the grid alone.
    int gridHeightShowing(int rows) const;

private:
    int boxCount() const { return static_cast<int>(infoBoxes.size()); }
    CurrentDownloadInfo* box(int slot) const {
        return infoBoxes[static_cast<std::size_t>(slot)].get();
    }

    QWidget* buildFooter();
    void detach();
    void buildBoxes();
    void onStatusChange(Download* download, int slot);
    void onWork(Download* download, int slot);
    void onSetChange();
    void onCurrentDownloadChange(int slot, Download* download);
    void clearComplete();
    void clearNotFound();
    void clear();
    // The download some slot runs, or null.
    const Download* firstRunning() const;
    void onResize();
    void resizeEvent(QResizeEvent* event) override;

    // Makes the timer fire within 40 ms; GUI thread.
    void refreshSoon();
    // After a tick: the next one, if anything shown goes on changing.
    void scheduleNextRefresh();
    // What a box of an idle slot shows: the download that waits for its
    // next try, so that its time left is seen; none while stopped.
    const Download* shownWhenIdle() const;
    void refreshGrid();
    void tellTransferShare();
    void tellWait();
    void syncRows();
    std::vector<std::uint64_t> statesToRead();

    void buildRowActions();
    QAction* addRowAction(const char* caption, void (DownloadsSetPanel::*act)());
    void showRowMenu(const QPoint& position);
    // The downloads of the selected rows, in queue order; the rows are
    // synced first, so each is alive until control returns to the loop.
    std::vector<const Download*> selectedDownloads();
    void openFiles();
    void openFolders();
    void copyLinks();
    void moveSelected(DownloadsSet::Move where);
    // Moves these downloads before `before` (null: to the end).
    void moveBefore(const std::vector<const Download*>& moved, const Download* before);
    void holdSelected();
    void releaseSelected();
    void toggleHold();
    void changeFolder();
    void retry();
    void removeFromList();
    void openFileOfRow(const QModelIndex& index);
    void openFileOf(const Download& download);

    DownloadsSet* attachedSet = nullptr;
    // One per slot; deleted here when the panel is attached anew, or before
    // their parent panel goes.
    std::vector<std::unique_ptr<CurrentDownloadInfo>> infoBoxes;
    QWidget* infoPanel;
    QWidget* footer;
    QueueStatusLine* statusLine;
    QTimer* timer;
    // Brings a change noted on another thread to the GUI thread's timer.
    std::unique_ptr<platform::GuiWakeUp> noteWakeUp;
    bool stopped = false;
    int shownShare = -1; // what onTransferShare was told last
    QTableView* grid;
    DownloadsGridModel* model;
    QAction* openFileAction;
    QAction* openFolderAction;
    QAction* copyLinksAction;
    std::vector<QAction*> moveActions;
    QAction* holdAction;
    QAction* releaseAction;
    QAction* changeFolderAction;
    QAction* retryAction;
    QAction* removeAction;
    QMenu* rowMenu;

    // What the grid has to catch up with, noted by the set's events and
    // applied by the timer. A state changes on the worker thread only while
    // its download is current in a slot, so the downloads picked since the
    // last tick are the ones to read again; a change anywhere else (slot -1)
    // has every row read.
    bool membersToSync = false; // GUI thread
    std::atomic<bool> currentStatesChanged{false};
    std::atomic<bool> otherStatesChanged{false};
    struct Picked {
        std::uint64_t serial;
        const Download* download; // only compared, never read
    };
    std::vector<Picked> picked; // GUI thread
};

// Offers the control to a visual designer; there is none here, so this only
// names the palette page.
const char* Register();

} // namespace tolvenka
