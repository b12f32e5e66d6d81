// Start-up in the program's order: the application object, the lock on the
// queue file (a second program in the same folder stops here), the service
// host and the registry of download kinds, the shared state with the queue
// and the dialogs, then the main window, which reads the queue file and starts
// the worker. Everything is torn down in reverse when the event loop ends.
//
// The two things the program takes from its surroundings are settled here
// and passed on: the queue file, "downloads.txt" in the current folder, and
// the service host, which TOLVENKA_SERVICE_HOST may name instead of the
// service's own (the demo, the tests and the benchmarks point it at a
// simulated service).
#include "ui/Main.h"

#include "platform/FileSystem.h"
#include "platform/LockFile.h"
#include "queue/QueueFile.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "ui/Application.h"
#include "ui/TerminationSignals.h"
#include "ui/Twindow.h"
#include "widgets/ShowMessage.h"

#include <cstdlib>
#include <exception>
#include <iostream>

namespace {

std::string serviceHostFromEnvironment() {
    const char* host = std::getenv("TOLVENKA_SERVICE_HOST");
    return host != nullptr && *host != '\0' ? std::string(host)
                                            : std::string(tolvenka::DEFAULT_SERVICE_HOST);
}

} // namespace

int main(int argc, char** argv) {
    using namespace kestrune::text::literals;
    tolvenka::Application app(argc, argv);
    try {
        const std::string queueFile = tolvenka::QUEUE_FILE_NAME;
        // One program per queue: a second one would run the same downloads
        // into the same files, and the last to save would win.
        platform::LockFile queueLock(queueFile + ".lock");
        if (queueLock.tryLock() == platform::LockFile::Outcome::HeldByAnother) {
            constexpr std::string_view alreadyRunning =
                "Толвенка уже запущена в этой папке."_cp1251;
            std::cerr << kestrune::text::toUtf8(alreadyRunning) << '\n';
            tolvenka::showMessage(std::string(alreadyRunning));
            return 0;
        }
        platform::removeInterruptedSaves(queueFile);
        tolvenka::setServiceHost(serviceHostFromEnvironment());
        tolvenka::DownloadMaker downloadMaker;
        tolvenka::Main state;
        tolvenka::Twindow window(state, queueFile);
        window.show();
        tolvenka::TerminationSignals terminationSignals([&window] { window.close(); });
        tolvenka::Application::exec();
    } catch (const std::exception& error) {
        // A failure while starting up is shown like one in a handler.
        tolvenka::showMessage(error.what());
    } catch (...) {
        tolvenka::showMessage("");
    }
    return 0;
}
