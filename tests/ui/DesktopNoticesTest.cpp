#include "ui/DesktopNotices.h"

#include "support/Cp1251.h"
#include "tests/common/QtPrinters.h"
#include "tests/common/TestHelpers.h"
#include "tests/engine/ScriptedDownload.h"

#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QUrl>
#include <QWidget>
#include <filesystem>
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

// The desktop's notification service, as far as GetCapabilities and Notify
// go; each notice gets the number of its call as its id.
class FakeNotificationService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == QStringLiteral("GetCapabilities")) {
            connection.send(message.createReply(QVariant(capabilities)));
            return true;
        }
        calls.push_back(message);
        connection.send(message.createReply(QVariant(static_cast<uint>(calls.size()))));
        return true;
    }

    QStringList capabilities;
    std::vector<QDBusMessage> calls;
};

// A notice's summary and body.
using Notices = std::pair<QString, QString>;

// A private bus with the fake service on it.
class NotificationServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus.address.isEmpty());
        ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
        ASSERT_TRUE(serviceSide.registerVirtualObject(
            QStringLiteral("/org/freedesktop/Notifications"), &service));
    }

    // Notice `index`, once it came.
    Notices notice(std::size_t index) {
        EXPECT_TRUE(pumpUntil([&] { return service.calls.size() > index; }));
        if (service.calls.size() <= index) {
            return {};
        }
        const QList<QVariant> arguments = service.calls[index].arguments();
        return {arguments[3].toString(), arguments[4].toString()};
    }

    PrivateBus bus;
    FakeNotificationService service;
    QDBusConnection serviceSide = bus.connect(QStringLiteral("service"));
    QWidget window;
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

TEST_F(NotificationServiceTest, StopsAreToldAsTheyHappenAndTheEndSaysHowTheQueueEnded) {
    testing_helpers::ScriptedDownload failed("http://h/files/1/f.zip", "/tmp/a/f (1).zip");
    failed.setFailureReason(std::string("нет места на диске"_cp1251));
    testing_helpers::ScriptedDownload missing("http://h/files/2/m.zip", "/tmp/a/m.zip");
    // A file of 1,2 GB that takes no room: the end tells its size.
    testing_helpers::TempDir folder;
    testing_helpers::writeFile(folder.file("a.zip"), "");
    std::filesystem::resize_file(folder.file("a.zip"), 1'288'490'189);
    testing_helpers::ScriptedDownload arrived("http://h/files/3/a.zip", folder.file("a.zip"));
    DesktopNotices notices(window, bus.connect(QStringLiteral("program")));

    notices.downloadStopped(failed);
    ASSERT_EQ(notice(0), Notices(QString::fromUtf8("Загрузка остановлена"),
                                 QString::fromUtf8("f (1).zip — нет места на диске")));
    const QDBusMessage& first = service.calls[0];
    EXPECT_EQ(first.member(), QStringLiteral("Notify"));
    EXPECT_EQ(first.signature(), QStringLiteral("susssasa{sv}i"));
    EXPECT_EQ(first.arguments()[0].toString(), QString::fromUtf8("Толвенка"));
    EXPECT_EQ(first.arguments()[2].toString(), QStringLiteral("org.tolvenka.tolvenka"));
    EXPECT_EQ(first.arguments()[5].toStringList(), QStringList()) << "no actions offered";
    notices.fileNotFound(missing);
    EXPECT_EQ(notice(1),
              Notices(QString::fromUtf8("Файл не найден на сервере"), QStringLiteral("m.zip")));

    // A retry that arrived counts as arrived; the last stops go first. The
    // end tells what arrived, and why the first of the others did not.
    notices.fileArrived(arrived);
    notices.fileArrived(failed);
    notices.fileNotFound(missing);
    notices.allDone();
    EXPECT_EQ(notice(2).first, QString::fromUtf8("Файл не найден на сервере"));
    EXPECT_EQ(notice(3), Notices(QString::fromUtf8("Загрузки закончены: получено 2, не найдено 1, "
                                                   "с ошибкой 0"),
                                 QString::fromUtf8("Загружено файлов: 2 (1,2 ГБ)\n"
                                                   "Не загружено: 1 — файл не найден на сервере")));
    notices.fileArrived(arrived);
    notices.allDone();
    EXPECT_EQ(notice(4), Notices(QString::fromUtf8("Все загрузки завершены"),
                                 QString::fromUtf8("Загружено файлов: 1 (1,2 ГБ)")));

    // A list that stops all at once makes one notice.
    for (int i = 0; i < 6; ++i) {
        notices.downloadStopped(failed);
    }
    notices.fileNotFound(missing);
    EXPECT_EQ(notice(5).first, QString::fromUtf8("Остановлено загрузок: 7"));
    const QStringList lines = notice(5).second.split(u'\n');
    EXPECT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.back(), QString::fromUtf8("…"));
    pumpFor(DesktopNotices::gatherMs * 2);
    EXPECT_EQ(service.calls.size(), 6u);
}

TEST_F(NotificationServiceTest, WhereTheServiceCanTheBodyIsEscapedAndTheEndOpensTheFolder) {
    service.capabilities = {QStringLiteral("body"), QStringLiteral("body-markup"),
                            QStringLiteral("actions")};
    testing_helpers::ScriptedDownload failed("http://h/files/1/x", "/tmp/a/<b>&.zip");
    testing_helpers::ScriptedDownload arrived("http://h/files/2/x", "/tmp/got/a.zip");
    DesktopNotices notices(window, bus.connect(QStringLiteral("program")));
    std::vector<QUrl> opened;
    notices.openOnDesktop = [&](const QUrl& folder) {
        opened.push_back(folder);
    };

    // Stops are gathered long enough for the capabilities to be known.
    notices.downloadStopped(failed);
    EXPECT_EQ(notice(0).second, QStringLiteral("&lt;b&gt;&amp;.zip"));
    EXPECT_EQ(service.calls[0].arguments()[5].toStringList(), QStringList());
    notices.fileArrived(arrived);
    notices.allDone();
    notice(1);
    const QStringList actions = service.calls[1].arguments()[5].toStringList();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[1], QString::fromUtf8("Открыть папку"));

    const auto invoke = [&](uint notice, const QString& action) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        signal << notice << action;
        serviceSide.send(signal);
    };
    invoke(1, actions[0]); // another notice
    invoke(2, QStringLiteral("default"));
    invoke(2, actions[0]);
    EXPECT_TRUE(pumpUntil([&] { return !opened.empty(); }));
    pumpFor(100);
    EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/got"))});
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
    testing_helpers::ScriptedDownload download("http://h/files/1/f.zip", "/tmp/a/f.zip");
    for (DesktopNotices* notices : {&withoutService, &withoutBus}) {
        notices->fileArrived(download);
        notices->downloadStopped(download);
        notices->allDone();
    }
    pumpFor(300);
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
    EXPECT_EQ(PrintedMessages::texts, QStringList());
}
