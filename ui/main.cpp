// Start-up in the program's order: the application object, the service host
// and the registry of download kinds, the shared state with the queue and the
// dialogs, then the main window, which reads the queue file and starts the
// worker. Everything is torn down in reverse when the event loop ends.
#include "ui/Main.h"

#include "intake/ShowMessage.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "ui/Application.h"
#include "ui/TerminationSignals.h"
#include "ui/Twindow.h"

#include <exception>

int main(int argc, char** argv) {
    tolvenka::Application app(argc, argv);
    try {
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
