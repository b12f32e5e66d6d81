#pragma once

#include "support/Event.h"
#include "ui/UserSettings.h"

#include <QMargins>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QKeyEvent;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTimer;

namespace tolvenka {

class ComfortControls;
class DesktopNotices;
class Download;
class DownloadsSetPanel;
class LinkIntake;
class Main;
class OutsideLinks;
class QueueFileReading;
class QueueLife;

// The main window: the input box for links, the buttons that add them and
// pause or resume downloading, the option that removes finished downloads,
// the speed limit, the watch on the clipboard, and the downloads list. It
// composes the queue's life (reading, saving, the worker, the close), the
// way of links to the queue, and the links that come from outside it. The
// speed limit and the watch are kept in the user's settings
// (`UserSettings`), read when the window is created.
//
// The controls are named: "input", "add", "start", "stop",
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
    // A close request of the user's during a transfer asks first.
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Button "Продолжить загрузку".
    void startClick();
    // Button "Остановить загрузку".
    void stopClick();

    void showStopped(bool stopped);
    void showTitle();
    // The current download while its bytes arrive, or null.
    const Download* transferUnderWay() const;
    void askBeforeClosing();
    void buildControls();
    int inputLeastHeight() const;
    void placeOnScreen();
    // The first placement once the window system has framed the window.
    void settlePlacement(bool activated);
    void queueTaken();
    void runEnded(const Download& download);
    void closeUnread(QCloseEvent* event);
    void closeTimerTimer();
    // Whether anything of the close is still under way: a dialog, links
    // being offered, the worker.
    bool closeIsPending() const;
    static void closeTopDialog();
    static bool isDialogOpen();
    void bringToFront();

    Main& state;
    UserSettings settings;
    std::unique_ptr<QueueLife> queue;
    std::unique_ptr<LinkIntake> intake;
    std::unique_ptr<OutsideLinks> outsideLinks;
    std::unique_ptr<DesktopNotices> notices;
    QPlainTextEdit* input;
    QSplitter* splitter;
    QWidget* panel1;
    QCheckBox* deleteWhenComplete;
    ComfortControls* comfort = nullptr;
    DownloadsSetPanel* panel;
    QTimer* closeTimer;
    QPushButton* startButton = nullptr;
    QMessageBox* closeQuestion = nullptr; // while it is open
    bool closing = false;
    bool askNoMore = false;
    bool placementSettled = false;
    QMargins placedWithFrame;
    bool stopped = false;
    int transferPercent = -1; // of the transfer under way; -1 for none
    // Disabled while the queue is read.
    std::vector<QWidget*> queueControls;
};

} // namespace tolvenka
