#include "ui/DesktopNotices.h"

#include "support/Cp1251.h"
#include "tests/common/QtPrinters.h"
#include "tests/common/TestHelpers.h"
#include "tests/engine/ScriptedDownload.h"

#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

using namespace kestrune::text::literals;
using testing_helpers::pumpFor;
using testing_helpers::pumpUntil;
using tolvenka::DesktopNotices;

namespace {

// A D-Bus session bus of the test's own, and the connections made to it.
class PrivateBus {
public:
    PrivateBus() {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address")});
        if (daemon.waitForReadyRead(5000)) {
            address = QString::fromUtf8(daemon.readLine().trimmed());
        }
    }
    ~PrivateBus() {
        for (const QString& name : names) {
            QDBusConnection::disconnectFromBus(name);
        }
        daemon.kill();
        daemon.waitForFinished();
    }

    QDBusConnection connect(const QString& name) {
        names << name;
        return QDBusConnection::connectToBus(address, name);
    }

    QString address;

private:
    QProcess daemon;
    QStringList names;
};

// The desktop's notification service, as far as Notify goes.
class FakeNotificationService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        calls.push_back(message);
        connection.send(message.createReply(QVariant(1U)));
        return true;
    }

    std::vector<QDBusMessage> calls;
};

// Collects what Qt would print.
class PrintedMessages {
public:
    PrintedMessages() { previous = qInstallMessageHandler(&PrintedMessages::collect); }
    ~PrintedMessages() { qInstallMessageHandler(previous); }

    static inline QStringList texts;

private:
    static void collect(QtMsgType, const QMessageLogContext&, const QString& text) {
        texts << text;
    }
    QtMessageHandler previous;
};

} // namespace

TEST(DesktopNotices, TellTheDesktopsNotificationServiceWhatStoppedAndWhenAllIsDone) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    FakeNotificationService service;
    QDBusConnection serviceSide = bus.connect(QStringLiteral("service"));
    ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(serviceSide.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"),
                                                  &service));
    testing_helpers::ScriptedDownload download("http://h/files/1/f.zip", "/tmp/a/f (1).zip");
    download.setFailureReason(std::string("нет места на диске"_cp1251));
    QWidget window;
    DesktopNotices notices(window, bus.connect(QStringLiteral("program")));

    notices.downloadStopped(download);
    notices.allDone(); // not all went well: nothing to say
    ASSERT_TRUE(pumpUntil([&] { return service.calls.size() == 1; }));
    const QDBusMessage& stopped = service.calls[0];
    EXPECT_EQ(stopped.interface(), QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_EQ(stopped.member(), QStringLiteral("Notify"));
    EXPECT_EQ(stopped.signature(), QStringLiteral("susssasa{sv}i"));
    const QList<QVariant> arguments = stopped.arguments();
    EXPECT_EQ(arguments[0].toString(), QString::fromUtf8("Толвенка"));
    EXPECT_EQ(arguments[1].toUInt(), 0U);
    EXPECT_EQ(arguments[2].toString(), QStringLiteral("org.tolvenka.tolvenka"));
    EXPECT_EQ(arguments[3].toString(),
              QString::fromUtf8("Загрузка остановлена: f (1).zip — нет места на диске"));
    EXPECT_EQ(arguments[7].toInt(), -1);

    notices.allDone();
    // A list that stops all at once makes one notice.
    for (int i = 0; i < 7; ++i) {
        notices.downloadStopped(download);
    }
    ASSERT_TRUE(pumpUntil([&] { return service.calls.size() == 3; }));
    pumpFor(DesktopNotices::gatherMs * 2);
    ASSERT_EQ(service.calls.size(), 3u);
    EXPECT_EQ(service.calls[1].arguments()[3].toString(),
              QString::fromUtf8("Все загрузки завершены"));
    EXPECT_EQ(service.calls[2].arguments()[3].toString(),
              QString::fromUtf8("Остановлено загрузок: 7"));
    EXPECT_EQ(service.calls[2].arguments()[4].toString().count(QLatin1Char('\n')), 5);
}

TEST(DesktopNotices, WithoutTheServiceOrABusANoticeIsDroppedWithoutAWord) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    PrintedMessages printed;
    QWidget window;
    DesktopNotices withoutService(window, bus.connect(QStringLiteral("lonely")));
    DesktopNotices withoutBus(
        window, QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                              QStringLiteral("nowhere")));
    withoutService.allDone();
    withoutBus.allDone();
    pumpFor(300);
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
    EXPECT_EQ(PrintedMessages::texts, QStringList());
}
