#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

class QObject;
class QUrl;
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
// A download that stops, or whose file the service no longer has, is told
// at once; several within a moment of each other (a whole list into a
// folder that cannot be written stops in a second) make one notice. When
// the queue runs out of work, one notice says how it ended: all arrived, or
// how many arrived, were not found and stopped with an error; its body says
// what arrived ("Загружено файлов: 3 (1,2 ГБ)") and, where some did not,
// how many and why the first did not ("Не загружено: 1 — <причина>"). The
// summary of a notice is short; files and reasons go in its body, escaped
// where the service reads markup. Where the service offers actions, the last notice
// offers to open the folder of the last file that arrived.
class DesktopNotices {
public:
    explicit DesktopNotices(QWidget& window, QDBusConnection bus = QDBusConnection::sessionBus());
    ~DesktopNotices();

    // Hands a folder to the desktop, which opens it; tests put a recorder
    // here.
    std::function<void(const QUrl&)> openOnDesktop;

    // GUI thread, while the download is alive: its run ended in Error,
    // NotFound or Complete.
    void downloadStopped(const Download& download);
    void fileNotFound(const Download& download);
    void fileArrived(const Download& download);
    // GUI thread: the queue ran out of work.
    void allDone();

    // How long stops are gathered into one notice.
    static constexpr int gatherMs = 500;

private:
    enum class Verdict { Arrived, NotFound, Failed };
    struct Stop {
        QString file;
        QString reason;
        bool notFound; // on the service, rather than stopped with a reason
    };

    // What became of one file since the queue last ran out of work.
    struct Ending {
        Verdict verdict;
        std::int64_t size; // of a file that arrived; -1 when not known
        QString reason;    // of one that did not
    };

    void noteVerdict(const Download& download, Ending ending);
    QString endBody() const;
    void noteStop(Stop stop);
    void tellStops();
    static QString lineOf(const Stop& stop);
    void tellEnd();
    // `folder`, when given, is offered to be opened.
    void tell(const QString& summary, const QString& body = QString(),
              const QString& folder = QString());
    void askCapabilities();
    void listenForActions();
    void actionInvoked(uint noticeId, const QString& action);

    QWidget& window;
    QDBusConnection bus;
    QTimer gatherTimer;
    QList<Stop> stops; // waiting for the timer
    // What became of each file since the queue last ran out of work, in the
    // order they first ended, and where each is by its path: a file that
    // stopped and then arrived on a retry counts once, at its first place.
    QList<Ending> endings;
    QHash<QString, qsizetype> endingOf;
    QString lastArrivedFolder;
    // What the service said it can do; until it has answered, neither.
    bool readsMarkup = false;
    bool offersActions = false;
    // The notice that offers a folder, once the service has told its id.
    uint folderNoticeId = 0;
    QString folderToOpen;
    // Receives the service's answers and signals; goes before the rest.
    std::unique_ptr<QObject> listener;
};

} // namespace tolvenka
