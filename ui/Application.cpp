#include "ui/Application.h"

#include "intake/ShowMessage.h"

#include <exception>

namespace tolvenka {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv) {
    setApplicationName(QString::fromUtf8("Толвенка"));
    setDesktopFileName(QStringLiteral("tolvenka"));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        // Messages of our own exceptions are CP1251 texts already.
        showMessage(error.what());
    } catch (...) {
        showMessage("");
    }
    return false;
}

} // namespace tolvenka
