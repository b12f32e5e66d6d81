// Start-up in the program's order: the application object, the lock on the
// queue file (a second program in the same folder stops here), the service host
// and the registry of download kinds, the shared state with the queue and the
// dialogs, then the main window, which reads the queue file and starts the
// worker. Everything is torn down in reverse when the event loop ends.
#include "ui/Main.h"

#include "engine/QueueFile.h"
#include "platform/FileSystem.h"
#include "platform/LockFile.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "ui/Application.h"
#include "ui/TerminationSignals.h"
#include "ui/Twindow.h"
#include "widgets/ShowMessage.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    using namespace kestrune::text::literals;
    tolvenka::Application app(argc, argv);
    try {
        // One program per queue: a second one would run the same downloads
        // into the same files, and the last to save would win.
        platform::LockFile queueLock(std::string(tolvenka::QUEUE_FILE_NAME) + ".lock");
        if (queueLock.tryLock() == platform::LockFile::Outcome::HeldByAnother) {
            constexpr std::string_view alreadyRunning =
                "Толвенка уже запущена в этой папке."_cp1251;
            std::cerr << kestrune::text::toUtf8(alreadyRunning) << '\n';
            tolvenka::showMessage(std::string(alreadyRunning));
            return 0;
        }
        platform::removeInterruptedSaves(tolvenka::QUEUE_FILE_NAME);
        tolvenka::setUpServiceHost();
        tolvenka::DownloadMaker downloadMaker;
        tolvenka::Main state;
        tolvenka::Twindow window(state);
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
