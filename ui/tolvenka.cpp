// Start-up in the program's order: the lock on the queue file, the service
// host and the registry of download kinds, and the reading of the queue file
// on a thread of its own; then the application object (a second program for
// the same queue hands its links to the first and stops here, or waits for
// one that is closing), the shared state with the queue and the dialogs, and
// the main window, which takes the queue read and starts the worker.
// Everything is torn down in reverse when the event loop ends.
//
// The things the program takes from its surroundings are settled here and
// passed on: the queue file, "downloads.txt" in the current folder; the
// service host, which TOLVENKA_SERVICE_HOST may name instead of the service's
// own (the demo, the tests and the benchmarks point it at a simulated
// service); the proxies, from http_proxy, https_proxy, all_proxy and
// no_proxy as other download tools read them; the trust store of TLS, where
// OpenSSL looks (SSL_CERT_FILE and SSL_CERT_DIR may name another); and the
// links on the command line, which go into the input box and are added as
// if typed there.
#include "http/ProxySettings.h"
#include "platform/FileSystem.h"
#include "platform/QueueLock.h"
#include "queue/QueueFile.h"
#include "queue/QueueFileReading.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "ui/Application.h"
#include "ui/CaretRest.h"
#include "ui/HandOverLinks.h"
#include "ui/HistoryWindow.h"
#include "ui/LinkListener.h"
#include "ui/Main.h"
#include "ui/TerminationSignals.h"
#include "ui/Twindow.h"
#include "widgets/ShowMessage.h"

#include <QTimer>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <optional>

namespace {

using namespace kestrune::text::literals;

// How long a later start waits for a program in the middle of its close.
constexpr int holderEndingWithinMs = 10'000;

std::string serviceHostFromEnvironment() {
    const char* host = std::getenv("TOLVENKA_SERVICE_HOST");
    return host != nullptr && *host != '\0' ? std::string(host)
                                            : std::string(tolvenka::DEFAULT_SERVICE_HOST);
}

// The links given on the command line (or by the desktop), one a line.
QString linksFromCommandLine() {
    return QCoreApplication::arguments().mid(1).join(u'\n');
}

void refuseToStart(const std::string& lockFile) {
    const std::string message = std::string("Толвенка уже запущена в этой папке."_cp1251) +
                                std::string("\nФайл блокировки: "_cp1251) + lockFile;
    std::cerr << kestrune::text::toUtf8(message) << '\n';
    tolvenka::showMessage(message);
}

// What a queue file that is no plain file is, in words.
std::string kindInWords(platform::FileKind kind) {
    switch (kind) {
    case platform::FileKind::Pipe:
        return std::string("канал"_cp1251);
    case platform::FileKind::Device:
        return std::string("устройство"_cp1251);
    case platform::FileKind::Folder:
        return std::string("папка"_cp1251);
    case platform::FileKind::Socket:
        return std::string("сокет"_cp1251);
    default:
        return std::string("файл особого вида"_cp1251);
    }
}

// A pipe or a device would never end reading, and a save would replace it
// by a plain file: such a queue file is refused before anything else.
bool isUsableQueueFile(const std::string& queueFile) {
    const platform::FileKind kind = platform::fileKindOf(queueFile);
    if (kind == platform::FileKind::Missing || kind == platform::FileKind::Regular) {
        return true;
    }
    const std::string path = kestrune::text::fromUtf8(
        (std::filesystem::current_path() / kestrune::text::toUtf8(queueFile)).string());
    const std::string message = std::string("Толвенка не может взять список загрузок из "_cp1251) +
                                path + std::string(": это не обычный файл, а "_cp1251) +
                                kindInWords(kind) + ".";
    std::cerr << kestrune::text::toUtf8(message) << '\n';
    tolvenka::showMessage(message);
    return false;
}

void warnOfNoLock() {
    std::cerr << "Очередь не удалось заблокировать ни рядом с ней, ни в папке выполнения: "
                 "вторая Толвенка в этой папке не будет остановлена.\n";
}

} // namespace

int main(int argc, char** argv) {
    // What reading the queue needs comes before the toolkit: the lock, the
    // service host and the registry of download kinds. Then a long queue is
    // read while the toolkit starts and the window is built.
    const std::string queueFile = tolvenka::QUEUE_FILE_NAME;
    const std::filesystem::path runtimeFolder = platform::userRuntimeFolder();
    platform::QueueLock queueLock(queueFile, runtimeFolder);
    platform::LockFile::Outcome lock = queueLock.tryLock();
    tolvenka::setServiceHost(serviceHostFromEnvironment());
    // Before any thread: every client of the program takes them as they are.
    http::setProgramProxies(http::ProxySettings::fromEnvironment(&std::getenv));
    tolvenka::DownloadMaker downloadMaker;
    std::optional<tolvenka::QueueFileReading> reading;
    const auto startReading = [&] {
        if (lock == platform::LockFile::Outcome::Locked) {
            // Safe only now: no other program can be saving this queue.
            platform::removeInterruptedSaves(queueFile);
        }
        reading.emplace(queueFile);
    };
    if (lock != platform::LockFile::Outcome::HeldByAnother) {
        startReading();
    }

    tolvenka::Application app(argc, argv);
    try {
        const QString socketName = tolvenka::LinkListener::socketName(queueFile, runtimeFolder);
        const QString links = linksFromCommandLine();
        // One program per queue: a second one would run the same downloads
        // into the same files, and the last to save would win. The one that
        // holds the lock listens for the links of later starts, in the
        // user's own runtime folder only: a socket in a shared temporary
        // folder could be taken first by another user, who would get them.
        const bool handOver = !runtimeFolder.empty();
        tolvenka::LinkListener linkListener;
        if (lock == platform::LockFile::Outcome::HeldByAnother) {
            const tolvenka::HandOver handedOver = handOver
                                                      ? tolvenka::handOverLinks(socketName, links)
                                                      : tolvenka::HandOver::NobodyListens;
            if (handedOver == tolvenka::HandOver::Taken) {
                return 0;
            }
            // A program in the middle of its close lets go of the queue in
            // a moment, and then this one runs with its links. One that
            // stopped listening may have just let go.
            lock = queueLock.tryLockWithin(
                handedOver == tolvenka::HandOver::HolderEnding ? holderEndingWithinMs : 0);
            if (lock == platform::LockFile::Outcome::HeldByAnother) {
                refuseToStart(queueLock.path());
                return 1;
            }
            startReading();
        }
        if (lock == platform::LockFile::Outcome::Locked) {
            if (handOver) {
                linkListener.listen(socketName);
            }
        } else {
            // Better to run than to refuse a queue no lock can guard; but
            // then another program may be saving it, and its temporary
            // files are left alone.
            warnOfNoLock();
        }
        tolvenka::CaretRest caretRest;
        if (!isUsableQueueFile(queueFile)) {
            return 1;
        }
        tolvenka::Main state;
        tolvenka::Twindow window(state, queueFile, &*reading);
        window.show();
        // Told once, from the event loop; the program goes on either way.
        QTimer::singleShot(0, &window, [&state, &window] {
            if (const auto trouble =
                    tolvenka::HistoryWindow::openingTrouble(state.history.database())) {
                std::cerr << kestrune::text::toUtf8(*trouble) << '\n';
                tolvenka::showMessage(*trouble, &window);
            }
        });
        tolvenka::TerminationSignals terminationSignals([&window] { window.closeWithoutAsking(); });
        // The end of the session keeps what the queue holds, without a
        // question.
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                         [&window] { window.saveNow(); });
        // Links handed over get their answer once the queue they join is
        // there: one that is still being read may never be.
        window.whenQueueTaken([&] {
            linkListener.setReceiver(
                [&window](const QString& text) { window.addFromOutside(text); });
        });
        window.onClosing = [&linkListener] {
            linkListener.stopTaking();
        };
        if (!links.isEmpty()) {
            window.addFromOutside(links);
        }
        tolvenka::Application::exec();
    } catch (const std::exception& error) {
        // A failure while starting up is shown like one in a handler.
        tolvenka::showMessage(error.what());
    } catch (...) {
        tolvenka::showMessage("");
    }
    return 0;
}
