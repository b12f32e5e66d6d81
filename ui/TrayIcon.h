#pragma once

#include <QObject>
#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tolvenka {

// The program's icon in the desktop's tray, made only where the desktop has
// a tray (its StatusNotifierItem service on D-Bus, or the older tray of
// X11). Its tooltip repeats the window's title; a click on it shows the
// window; its menu shows the window, stops or resumes downloading, and quits
// the way the window's close box does (asking first during a transfer).
//
// GUI thread.
class TrayIcon : public QObject {
public:
    // Whether the desktop has a tray now.
    static bool isAvailable();

    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    void setToolTip(const QString& text);
    // Which of "Остановить загрузку" and "Продолжить загрузку" the menu
    // offers.
    void setStopped(bool stopped);

    std::function<void()> onShowWindow;
    std::function<void()> onStop;
    std::function<void()> onResume;
    std::function<void()> onQuit;

private:
    QMenu* menu;
    QSystemTrayIcon* icon;
    QAction* stopOrResume;
    bool stopped = false;
};

} // namespace tolvenka
