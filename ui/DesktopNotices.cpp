#include "ui/DesktopNotices.h"

#include "engine/Download.h"
#include "widgets/WidgetText.h"

#include <QApplication>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace tolvenka {

DesktopNotices::DesktopNotices(QWidget& window, QDBusConnection bus)
    : window(window)
    , bus(std::move(bus)) {}

void DesktopNotices::downloadStopped(const Download& download) {
    QString text = QString::fromUtf8("Загрузка остановлена: ") +
                   QFileInfo(toQString(download.getTargetPath())).fileName();
    if (const std::string reason = download.getFailureReason(); !reason.empty()) {
        text += QString::fromUtf8(" — ") + toQString(reason);
    }
    tell(text);
}

void DesktopNotices::allDone() {
    tell(QString::fromUtf8("Все загрузки завершены"));
}

void DesktopNotices::tell(const QString& text) {
    QApplication::alert(&window);
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Application name, the id of a notice to replace (none), icon, summary,
    // body, actions, hints, and a timeout the service chooses.
    notify << QString::fromUtf8("Толвенка") << 0U << QStringLiteral("org.tolvenka.tolvenka") << text
           << QString() << QStringList() << QVariantMap() << -1;
    // Sent, not called: the answer, or the error of a missing service, is
    // never waited for.
    bus.send(notify);
}

} // namespace tolvenka
