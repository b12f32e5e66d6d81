#pragma once

#include "platform/WallClock.h"
#include "support/Event.h"
#include "ui/TransferCloseQuestion.h"
#include "ui/UserSettings.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QKeyEvent;
class QPlainTextEdit;
class QSplitter;
class QTimer;

namespace tolvenka {

class CommandRows;
class DesktopNotices;
class Download;
class DownloadingGate;
class DownloadsSetPanel;
class HistoryWindow;
class InputBoxSizing;
class LinkIntake;
class Main;
class OutsideLinks;
class QueueFileReading;
class QueueLife;
class QueueStateView;
class WindowPlacement;

// The main window: the input box for links above a divider the user may
// move, the rows of buttons and options (`CommandRows`), the downloads list
// and the status line under it. It composes the queue's life (reading,
// saving, the worker, the close), the way of links to the queue, the links
// that come from outside it, the gate that says whether downloading may run
// (the user's stop, kept across runs, and the schedule), and the view of
// what the queue does (the title, the status line, the tray icon where the
// desktop has a tray). The choices are kept in the user's settings
// (`UserSettings`), read when the window is created.
//
// The controls are named: "input", those of `CommandRows`, the downloads
// list panel "downloads" and the status line "queueStatus".
class Twindow : public QWidget {
public:
    // `queueFilePath`: the queue file (CP1251), read at once (or taken from
    // `reading`, which read it meanwhile) and kept current while the
    // program runs. `clock`: the wall clock of the schedule; null for the
    // system's.
    Twindow(Main& state, std::string queueFilePath, QueueFileReading* reading = nullptr,
            std::unique_ptr<platform::WallClock> clock = nullptr);
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
    // own), offered once no dialog is open: a dialog that is open is never
    // covered by another, and the links wait for it to close. Raises the
    // window. False once the window is closing.
    bool addFromOutside(const QString& text);

    // Calls `then` once the queue has been taken from the queue file: now,
    // or when its reading ends. Never once the window is closing.
    void whenQueueTaken(std::function<void()> then);

    // The first close request, before anything of the close happens: links
    // from outside that were promised a place are taken now or never.
    kestrune::Event<> onClosing;

protected:
    // A close request of the user's during a transfer asks first; with
    // "Сворачивать в трей при закрытии" it only hides the window.
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Button "Продолжить загрузку".
    void startClick();
    // Button "Остановить загрузку".
    void stopClick();
    void openSettings();
    // "История…": the window of the history of arrivals, made when first
    // asked for, since most runs never open it.
    void showHistory();
    void connectTray();
    void quitFromTray();
    // The current download while its bytes arrive, or null.
    const Download* transferUnderWay() const;
    void askBeforeClosing();
    void buildControls();
    void connectControls();
    int listNeeds() const;
    void queueTaken();
    void runEnded(const Download& download);
    void closeUnread(QCloseEvent* event);
    void closeTimerTimer();
    void endEventLoop();
    // Whether anything of the close is still under way: a dialog, links
    // being offered, the worker.
    bool closeIsPending() const;
    static void closeTopDialog();
    static bool isDialogOpen();
    void bringToFront();

    Main& state;
    UserSettings settings;
    std::unique_ptr<platform::WallClock> wallClock;
    std::unique_ptr<DownloadingGate> gate;
    std::unique_ptr<QueueLife> queue;
    std::unique_ptr<LinkIntake> intake;
    std::unique_ptr<OutsideLinks> outsideLinks;
    std::unique_ptr<DesktopNotices> notices;
    std::unique_ptr<QueueStateView> view;
    std::unique_ptr<WindowPlacement> placement;
    TransferCloseQuestion closeQuestion;
    QPlainTextEdit* input;
    InputBoxSizing* inputSizing = nullptr;
    QSplitter* splitter;
    CommandRows* commands;
    HistoryWindow* historyWindow = nullptr; // once opened
    DownloadsSetPanel* panel;
    QTimer* closeTimer;
    bool closing = false;
    bool askNoMore = false;
    // "Выход" of the tray: this close leaves, whatever the option says.
    bool quitting = false;
};

} // namespace tolvenka
