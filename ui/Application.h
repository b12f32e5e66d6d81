#pragma once

#include <QApplication>
#include <QIcon>
#include <exception>

namespace tolvenka {

// The application object. An exception that escapes an event handler is
// shown in a message box and the event loop goes on.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The program's icon: the one the desktop's icon theme has under the
    // application's id, else the one built in.
    static QIcon icon();

    // GUI thread. Shows an exception the program did not expect, as one that
    // escaped a handler is shown: its message in a message box.
    static void showError(std::exception_ptr error);
};

} // namespace tolvenka
