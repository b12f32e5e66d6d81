// One main() for every test program: the application object must exist (on
// this, the GUI thread) before any timer or GUI-thread hop is used.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Qt wants a private runtime folder; a bare CI session has none.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir::tempPath() + QStringLiteral("/tolvenka-tests-runtime-") +
                                QString::number(::getuid());
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    // Tests never reach the desktop they run on: a notification of a
    // finished test download must not pop up on the developer's screen.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tolvenka-tests-bus");
    // Nor the user's settings and history: what a test chooses, and what
    // arrives in it, stays in folders of its own, gone when it ends.
    QTemporaryDir configFolder(QDir::tempPath() + QStringLiteral("/tolvenka-tests-config-XXXXXX"));
    QTemporaryDir dataFolder(QDir::tempPath() + QStringLiteral("/tolvenka-tests-data-XXXXXX"));
    if (!configFolder.isValid() || !dataFolder.isValid()) {
        std::fprintf(stderr, "cannot make the settings and data folders for the tests\n");
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", configFolder.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", dataFolder.path().toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
