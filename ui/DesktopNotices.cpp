#include "ui/DesktopNotices.h"

#include "engine/Download.h"
#include "platform/FileSystem.h"
#include "widgets/SizeText.h"
#include "widgets/WidgetText.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <algorithm>
#include <utility>

namespace tolvenka {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
const QString openFolderAction = QStringLiteral("open-folder");

// The stops a notice lists; the rest are counted.
constexpr int listedStops = 5;

// The service's ActionInvoked signal reaches a slot only, so it is taken
// here and handed on.
class ActionListener : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(uint noticeId, const QString& action)>;

    explicit ActionListener(Handler handler)
        : handler(std::move(handler)) {}

public Q_SLOTS:
    void actionInvoked(uint noticeId, const QString& action) { handler(noticeId, action); }

private:
    Handler handler;
};

QString notFoundReason() {
    return QString::fromUtf8("файл не найден на сервере");
}

QString fileNameOf(const Download& download) {
    return QFileInfo(toQString(download.getTargetPath())).fileName();
}

// A file name is anybody's text; where the body is read as markup it must
// stay text.
QString escapedMarkup(QString text) {
    return text.replace(u'&', QStringLiteral("&amp;"))
        .replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;"));
}

} // namespace

DesktopNotices::DesktopNotices(QWidget& window, QDBusConnection bus)
    : openOnDesktop([](const QUrl& folder) { QDesktopServices::openUrl(folder); })
    , window(window)
    , bus(std::move(bus))
    , listener(std::make_unique<ActionListener>(
          [this](uint noticeId, const QString& action) { actionInvoked(noticeId, action); })) {
    gatherTimer.setSingleShot(true);
    gatherTimer.setInterval(gatherMs);
    QObject::connect(&gatherTimer, &QTimer::timeout, [this] { tellStops(); });
    if (this->bus.isConnected()) {
        askCapabilities();
        listenForActions();
    }
}

DesktopNotices::~DesktopNotices() = default;

void DesktopNotices::askCapabilities() {
    const QDBusMessage ask =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetCapabilities"));
    auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(ask), listener.get());
    QObject::connect(answer, &QDBusPendingCallWatcher::finished, listener.get(),
                     [this](QDBusPendingCallWatcher* call) {
                         const QDBusPendingReply<QStringList> reply = *call;
                         if (reply.isValid()) {
                             readsMarkup = reply.value().contains(QStringLiteral("body-markup"));
                             offersActions = reply.value().contains(QStringLiteral("actions"));
                         }
                         call->deleteLater();
                     });
}

void DesktopNotices::listenForActions() {
    bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), listener.get(),
                SLOT(actionInvoked(uint, QString)));
}

void DesktopNotices::actionInvoked(uint noticeId, const QString& action) {
    if (noticeId != 0 && noticeId == folderNoticeId && action == openFolderAction) {
        openOnDesktop(QUrl::fromLocalFile(folderToOpen));
    }
}

void DesktopNotices::downloadStopped(const Download& download) {
    const QString reason = toQString(download.getFailureReason());
    noteVerdict(download, Ending{Verdict::Failed, -1, reason});
    noteStop(Stop{fileNameOf(download), reason, false});
}

void DesktopNotices::fileNotFound(const Download& download) {
    noteVerdict(download, Ending{Verdict::NotFound, -1, notFoundReason()});
    noteStop(Stop{fileNameOf(download), QString(), true});
}

void DesktopNotices::fileArrived(const Download& download) {
    noteVerdict(download,
                Ending{Verdict::Arrived,
                       platform::fileSizeOf(std::string(download.getTargetPath())), QString()});
    lastArrivedFolder = QFileInfo(toQString(download.getTargetPath())).absolutePath();
}

void DesktopNotices::noteVerdict(const Download& download, Ending ending) {
    const QString path = toQString(download.getTargetPath());
    if (const auto known = endingOf.constFind(path); known != endingOf.cend()) {
        endings[*known] = std::move(ending);
    } else {
        endingOf.insert(path, endings.size());
        endings << std::move(ending);
    }
}

void DesktopNotices::noteStop(Stop stop) {
    stops << std::move(stop);
    if (!gatherTimer.isActive()) {
        gatherTimer.start();
    }
}

void DesktopNotices::allDone() {
    // The stops come first, as they happened.
    if (gatherTimer.isActive()) {
        gatherTimer.stop();
        tellStops();
    }
    tellEnd();
}

void DesktopNotices::tellStops() {
    if (stops.size() == 1) {
        const Stop& stop = stops.front();
        tell(stop.notFound ? QString::fromUtf8("Файл не найден на сервере")
                           : QString::fromUtf8("Загрузка остановлена"),
             stop.notFound ? stop.file : lineOf(stop));
    } else if (!stops.isEmpty()) {
        QStringList listed;
        for (const Stop& stop : stops.mid(0, listedStops)) {
            listed << lineOf(stop);
        }
        if (stops.size() > listedStops) {
            listed << QString::fromUtf8("…");
        }
        tell(QString::fromUtf8("Остановлено загрузок: ") + QString::number(stops.size()),
             listed.join(QLatin1Char('\n')));
    }
    stops.clear();
}

// "<file> — <reason>", or the file alone where no reason is known.
QString DesktopNotices::lineOf(const Stop& stop) {
    const QString reason = stop.notFound ? notFoundReason() : stop.reason;
    return reason.isEmpty() ? stop.file : stop.file + QString::fromUtf8(" — ") + reason;
}

void DesktopNotices::tellEnd() {
    if (endings.isEmpty()) {
        return; // nothing ended that the user would be told of
    }
    int arrived = 0;
    int notFound = 0;
    int failed = 0;
    for (const Ending& ending : std::as_const(endings)) {
        arrived += ending.verdict == Verdict::Arrived ? 1 : 0;
        notFound += ending.verdict == Verdict::NotFound ? 1 : 0;
        failed += ending.verdict == Verdict::Failed ? 1 : 0;
    }
    const QString summary =
        notFound == 0 && failed == 0
            ? QString::fromUtf8("Все загрузки завершены")
            : QString::fromUtf8("Загрузки закончены: получено %1, не найдено %2, с ошибкой %3")
                  .arg(arrived)
                  .arg(notFound)
                  .arg(failed);
    const QString body = endBody();
    endings.clear();
    endingOf.clear();
    tell(summary, body, std::exchange(lastArrivedFolder, QString()));
}

// "Загружено файлов: 3 (1,2 ГБ)", the size of those whose size is known;
// then "Не загружено: 1 — <why the first did not>".
QString DesktopNotices::endBody() const {
    int arrived = 0;
    std::int64_t bytes = 0;
    bool sizeKnown = false;
    int missed = 0;
    const Ending* firstMissed = nullptr;
    for (const Ending& ending : endings) {
        if (ending.verdict == Verdict::Arrived) {
            ++arrived;
            sizeKnown = sizeKnown || ending.size >= 0;
            bytes += std::max<std::int64_t>(0, ending.size);
        } else {
            ++missed;
            firstMissed = firstMissed != nullptr ? firstMissed : &ending;
        }
    }
    QStringList lines;
    if (arrived > 0) {
        lines << QString::fromUtf8("Загружено файлов: %1").arg(arrived) +
                     (sizeKnown ? QStringLiteral(" (%1)").arg(sizeText(bytes)) : QString());
    }
    if (missed > 0) {
        QString line = QString::fromUtf8("Не загружено: %1").arg(missed);
        if (!firstMissed->reason.isEmpty()) {
            line += QString::fromUtf8(" — ") + firstMissed->reason;
        }
        lines << line;
    }
    return lines.join(u'\n');
}

void DesktopNotices::tell(const QString& summary, const QString& body, const QString& folder) {
    QApplication::alert(&window);
    if (!bus.isConnected()) {
        return;
    }
    const bool offersFolder = offersActions && !folder.isEmpty();
    QDBusMessage notify =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    // Application name, the id of a notice to replace (none), icon, summary,
    // body, actions (a key and its caption each), hints, and a timeout the
    // service chooses.
    notify << QString::fromUtf8("Толвенка") << 0U << QStringLiteral("org.tolvenka.tolvenka")
           << summary << (readsMarkup ? escapedMarkup(body) : body)
           << (offersFolder ? QStringList{openFolderAction, QString::fromUtf8("Открыть папку")}
                            : QStringList())
           << QVariantMap() << -1;
    if (!offersFolder) {
        // Sent, not called: the answer, or the error of a missing service,
        // is never waited for.
        bus.send(notify);
        return;
    }
    // The answer names the notice, which its action names in turn.
    folderNoticeId = 0;
    folderToOpen = folder;
    auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(notify), listener.get());
    QObject::connect(answer, &QDBusPendingCallWatcher::finished, listener.get(),
                     [this](QDBusPendingCallWatcher* call) {
                         const QDBusPendingReply<uint> reply = *call;
                         if (reply.isValid()) {
                             folderNoticeId = reply.value();
                         }
                         call->deleteLater();
                     });
}

} // namespace tolvenka

#include "DesktopNotices.moc"
