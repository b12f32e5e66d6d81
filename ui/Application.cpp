#include "ui/Application.h"

#include "widgets/RussianTranslations.h"
#include "widgets/ShowMessage.h"

#include <exception>

namespace tolvenka {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv) {
    setApplicationName(QString::fromUtf8("Толвенка"));
    // The application's id, which names its desktop file and metainfo (dist/).
    setDesktopFileName(QStringLiteral("org.tolvenka.tolvenka"));
    setWindowIcon(icon());
    loadRussianTranslations(*this);
}

QIcon Application::icon() {
    QIcon builtIn;
    builtIn.addFile(QStringLiteral(":/icons/tolvenka-48.png"), QSize(48, 48));
    builtIn.addFile(QStringLiteral(":/icons/tolvenka-256.png"), QSize(256, 256));
    return QIcon::fromTheme(QStringLiteral("org.tolvenka.tolvenka"), builtIn);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showError(std::current_exception());
    }
    return false;
}

void Application::showError(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const std::exception& shown) {
        // Messages of our own exceptions are CP1251 texts already.
        showMessage(shown.what());
    } catch (...) {
        showMessage("");
    }
}

} // namespace tolvenka
