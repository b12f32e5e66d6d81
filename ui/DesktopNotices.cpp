#include "ui/DesktopNotices.h"

#include "engine/Download.h"
#include "widgets/WidgetText.h"

#include <QApplication>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>
#include <utility>

namespace tolvenka {

namespace {

// The stops a notice lists; the rest are counted.
constexpr int listedStops = 5;

} // namespace

DesktopNotices::DesktopNotices(QWidget& window, QDBusConnection bus)
    : window(window)
    , bus(std::move(bus)) {
    gatherTimer.setSingleShot(true);
    gatherTimer.setInterval(gatherMs);
    QObject::connect(&gatherTimer, &QTimer::timeout, [this] { tellStops(); });
}

void DesktopNotices::downloadStopped(const Download& download) {
    QString stop = QFileInfo(toQString(download.getTargetPath())).fileName();
    if (const std::string reason = download.getFailureReason(); !reason.empty()) {
        stop += QString::fromUtf8(" — ") + toQString(reason);
    }
    stops << stop;
    stoppedSinceAllDone = true;
    if (!gatherTimer.isActive()) {
        gatherTimer.start();
    }
}

void DesktopNotices::allDone() {
    if (std::exchange(stoppedSinceAllDone, false)) {
        return;
    }
    tell(QString::fromUtf8("Все загрузки завершены"));
}

void DesktopNotices::tellStops() {
    if (stops.size() == 1) {
        tell(QString::fromUtf8("Загрузка остановлена: ") + stops.front());
    } else {
        QStringList listed = stops.mid(0, listedStops);
        if (stops.size() > listedStops) {
            listed << QString::fromUtf8("…");
        }
        tell(QString::fromUtf8("Остановлено загрузок: ") + QString::number(stops.size()),
             listed.join(QLatin1Char('\n')));
    }
    stops.clear();
}

void DesktopNotices::tell(const QString& summary, const QString& body) {
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
    notify << QString::fromUtf8("Толвенка") << 0U << QStringLiteral("org.tolvenka.tolvenka")
           << summary << body << QStringList() << QVariantMap() << -1;
    // Sent, not called: the answer, or the error of a missing service, is
    // never waited for.
    bus.send(notify);
}

} // namespace tolvenka
