#include "ui/TrayIcon.h"

#include "ui/Application.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace tolvenka {

namespace {

void call(const std::function<void()>& handler) {
    if (handler) {
        handler();
    }
}

} // namespace

bool TrayIcon::isAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// The menu has no parent widget: it belongs to the tray, not to the window,
// which may be hidden.
TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent)
    , menu(new QMenu)
    , icon(new QSystemTrayIcon(Application::icon(), this)) {
    connect(menu->addAction(QString::fromUtf8("Показать окно")), &QAction::triggered, this,
            [this] { call(onShowWindow); });
    stopOrResume = menu->addAction(QString::fromUtf8("Остановить загрузку"));
    connect(stopOrResume, &QAction::triggered, this, [this] { call(stopped ? onResume : onStop); });
    menu->addSeparator();
    connect(menu->addAction(QString::fromUtf8("Выход")), &QAction::triggered, this,
            [this] { call(onQuit); });
    icon->setContextMenu(menu);
    icon->setToolTip(QString::fromUtf8("Толвенка"));
    connect(icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    call(onShowWindow);
                }
            });
    icon->show();
}

TrayIcon::~TrayIcon() {
    icon->hide();
    delete icon;
    delete menu;
}

void TrayIcon::setToolTip(const QString& text) {
    icon->setToolTip(text);
}

void TrayIcon::setStopped(bool isStopped) {
    stopped = isStopped;
    stopOrResume->setText(
        QString::fromUtf8(stopped ? "Продолжить загрузку" : "Остановить загрузку"));
}

} // namespace tolvenka
