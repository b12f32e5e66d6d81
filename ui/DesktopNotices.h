#pragma once

#include <QDBusConnection>
#include <QString>

class QWidget;

namespace tolvenka {

class Download;

// Tells the user what happened to the queue while they were elsewhere: a
// notification through the desktop's notification service (the
// freedesktop one, on the session bus), and the window asks for attention
// if it is not the active one. The call is sent without waiting for its
// answer, so a slow service cannot hold the window up; where there is no
// bus or no service the notice is dropped without a word.
class DesktopNotices {
public:
    explicit DesktopNotices(QWidget& window, QDBusConnection bus = QDBusConnection::sessionBus());

    // GUI thread, while the download is alive.
    void downloadStopped(const Download& download);
    void allDone();

private:
    void tell(const QString& text);

    QWidget& window;
    QDBusConnection bus;
};

} // namespace tolvenka
