#pragma once

#include <QApplication>

namespace tolvenka {

// The application object. An exception that escapes an event handler is
// shown in a message box and the event loop goes on.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tolvenka
