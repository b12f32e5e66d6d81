#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QTimer>

class QWidget;

namespace tolvenka {

class Download;

// Tells the user what happened to the queue while they were elsewhere: a
// notification through the desktop's notification service (the
// freedesktop one, on the session bus), and the window asks for attention
// if it is not the active one. The call is sent without waiting for its
// answer, so a slow service cannot hold the window up; where there is no
// bus or no service the notice is dropped without a word.
//
// Downloads that stop within a moment of each other (a whole list into a
// folder that cannot be written stops in a second) make one notice, and a
// queue that ran out of work after some stopped is not called all done.
class DesktopNotices {
public:
    explicit DesktopNotices(QWidget& window, QDBusConnection bus = QDBusConnection::sessionBus());

    // GUI thread, while the download is alive.
    void downloadStopped(const Download& download);
    void allDone();

    // How long stops are gathered into one notice.
    static constexpr int gatherMs = 500;

private:
    void tellStops();
    void tell(const QString& summary, const QString& body = QString());

    QWidget& window;
    QDBusConnection bus;
    QTimer gatherTimer;
    QStringList stops; // "<file> — <reason>", waiting for the timer
    bool stoppedSinceAllDone = false;
};

} // namespace tolvenka
