#pragma once

#include "queue/QueueFileKeeper.h"
#include "support/Event.h"
#include "ui/UserSettings.h"

#include <QMargins>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QLabel;
class QLayout;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTimer;

namespace platform {
class GuiWakeUp;
}

namespace tolvenka {

class ClipboardWatch;
class DesktopNotices;
class Download;
class DownloadsSetPanel;
class HistoryWindow;
class Main;
class QueueFileReading;
class SimpleDownloadThread;

// The main window: the input box for links, the buttons that add them,
// pause or resume downloading and open the history of arrivals
// ("История…"), the option that removes finished downloads,
// the speed limit, the watch on the clipboard, and the downloads list. It
// reads the queue file when it is created, keeps it current while the
// program runs, and closes in two steps: the first close request saves the
// queue and tells the worker to stop; the window closes when the worker has
// left its loop. The speed limit and the watch are kept in the user's
// settings (`UserSettings`), read when the window is created.
//
// The controls are named: "input", "add", "start", "stop", "history",
// "deleteWhenComplete", "speedLimit", "watchClipboard", and the downloads
// list panel "downloads".
class Twindow : public QWidget {
public:
    // `queueFilePath`: the queue file (CP1251), read at once (or taken from
    // `reading`, which read it meanwhile) and kept current while the
    // program runs.
    Twindow(Main& state, std::string queueFilePath, QueueFileReading* reading = nullptr);
    ~Twindow() override;

    // The caption above the input box for a service host.
    static std::string inputCaption(const std::string& host);

    // Writes the queue file now, unless the window is closing (its close
    // writes it).
    void saveNow();

    // A close that never asks (a termination signal, the end of the
    // session); it answers a question about closing that is open.
    void closeWithoutAsking();

    // Links from outside (the command line, a later start handing over its
    // own) and "Добавить" pressed on them, once no dialog is open: a dialog
    // that is open is never covered by another, and the links wait for it to
    // close. Raises the window. False once the window is closing.
    bool addFromOutside(const QString& text);

    // Calls `then` once the queue has been taken from the queue file: now,
    // or when its reading ends. Never once the window is closing.
    void whenQueueTaken(std::function<void()> then);

    // The first close request, before anything of the close happens: links
    // from outside that were promised a place are taken now or never.
    kestrune::Event<> onClosing;

protected:
    // A close request of the user's during a transfer asks first.
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Button "Добавить": the text becomes download links for the dialog.
    void addClick();
    // The confirmation dialog with these download links, and the count of
    // those passed over for want of a file name.
    void confirmLinks(const std::vector<std::string>& links, std::size_t nameless = 0);
    // Button "Продолжить загрузку".
    void startClick();
    // Button "Остановить загрузку".
    void stopClick();
    // Button "История…": the window of the history of arrivals.
    void showHistory();

    void showStopped(bool stopped);
    void showTitle();
    // The current download while its bytes arrive, or null.
    const Download* transferUnderWay() const;
    void askBeforeClosing();
    void buildControls();
    int inputLeastHeight() const;
    // The speed limit and the watch on the clipboard, as the settings have
    // them.
    QLayout* buildLimitAndWatch();
    void applySpeedLimit(int kilobytesPerSecond);
    // Writes the limit shown into the settings file, if it changed.
    void keepSpeedLimit();
    void placeOnScreen();
    // The first placement once the window system has framed the window.
    void settlePlacement(bool activated);
    void formCreate(QueueFileReading* reading);
    void finishReading();
    // Whether the queue has been taken; takes it if it has been read
    // meanwhile. Never waits.
    bool hasQueue();
    void takeQueue(ReadQueueFile read);
    // A close while the queue is still being read: nothing was read, so
    // nothing is written and nothing runs, and nothing waits for the reading.
    void closeUnread(QCloseEvent* event);
    void runEnded(const Download& download);
    QueueOptions currentOptions() const;
    void saveSoon();
    void saveQueueIfChanged();
    void tellSaveFailure();
    void closeTimerTimer();
    static void closeTopDialog();
    static bool isDialogOpen();

    void acceptLinksFromOutside();
    void addOutsideLinksWhenNoDialog();
    void queueOutsideLinks();
    // Links the watch on the clipboard took: offered once no dialog is
    // open, those not queued meanwhile.
    void takeCopiedLinks(std::vector<std::string> links);
    void offerCopiedLinksWhenNoDialog();
    // Of these links, those no unfinished download of the queue has.
    std::vector<std::string> notYetQueued(const std::vector<std::string>& links) const;
    // While a dialog is open or links are being added, `timer` looks again
    // a little later, and true is returned.
    bool retriesWhileADialogIsOpen(QTimer& timer);
    void bringToFront();
    void appendToInput(const QString& text);

    Main& state;
    const std::string queueFilePath;
    QueueFileKeeper queueFile;
    UserSettings settings;
    QPlainTextEdit* input;
    QSplitter* splitter;
    QWidget* panel1;
    QCheckBox* deleteWhenComplete;
    QSpinBox* speedLimit = nullptr;
    QCheckBox* watchClipboard = nullptr;
    ClipboardWatch* clipboardWatch = nullptr;
    DownloadsSetPanel* panel;
    HistoryWindow* historyWindow = nullptr; // once opened
    QTimer* closeTimer;
    QTimer* saveTimer;
    std::unique_ptr<SimpleDownloadThread> downloadThread;
    std::unique_ptr<DesktopNotices> notices;
    QPushButton* startButton = nullptr;
    QMessageBox* closeQuestion = nullptr; // while it is open
    bool closing = false;
    bool askNoMore = false;
    bool placementSettled = false;
    QMargins placedWithFrame;
    bool stopped = false;
    int transferPercent = -1; // of the transfer under way; -1 for none
    bool saveFailureShown = false;
    // From "Добавить" until its dialogs have returned: a dialog that has
    // just closed may still be on its way out of its event loop, where
    // opening it again would fail.
    bool addingLinks = false;
    QStringList outsideLinks;
    QTimer* outsideLinksTimer = nullptr;
    std::vector<std::string> copiedLinks; // CP1251
    QTimer* copiedLinksTimer = nullptr;
    QTimer* limitToKeep = nullptr;
    // Disabled while the queue is read.
    std::vector<QWidget*> queueControls;
    // Until the queue is taken; kept after a reading that failed, so that
    // nothing ever writes over a file that was not read.
    QueueFileReading* pendingReading = nullptr;
    bool readingFailed = false;
    std::unique_ptr<platform::GuiWakeUp> readingDone;
    std::vector<std::function<void()>> queueTakenCallbacks;
};

} // namespace tolvenka
