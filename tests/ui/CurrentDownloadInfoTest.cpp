#include "ui/CurrentDownloadInfo.h"

#include "support/Cp1251.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/QtPrinters.h"
#include "tests/common/TestHelpers.h"
#include "tests/engine/ScriptedDownload.h"

#include <QCoreApplication>
#include <QLabel>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace kestrune::text::literals;
using testing_helpers::ScriptedDownload;
using tolvenka::CurrentDownloadInfo;
using State = tolvenka::Download::State;

namespace {

enum Row { From, To, StateRow, Size, Received, Speed, Time };

QString valueText(const CurrentDownloadInfo& box, Row row) {
    static const char* const names[] = {"from", "to", "state", "size", "received", "speed", "time"};
    return testing_helpers::shownValue(box, QString::fromUtf8(names[row]));
}

QStringList values(const CurrentDownloadInfo& box) {
    QStringList texts;
    for (int row = From; row <= Time; ++row) {
        texts << valueText(box, static_cast<Row>(row));
    }
    return texts;
}

const QStringList allDashes(7, QStringLiteral("-"));

} // namespace

TEST(CurrentDownloadInfo, ANewBoxShowsDashes) {
    CurrentDownloadInfo box;
    EXPECT_EQ(box.title(), QString::fromUtf8("Текущая загрузка"));
    EXPECT_EQ(box.height(), box.heightForWidth(0)) << "the rows one under the other";
    EXPECT_EQ(values(box), allDashes);
}

TEST(CurrentDownloadInfo, AQueuedDownloadShowsItsPlaceAndNoFigures) {
    ScriptedDownload download("http://h/files/1/%D0%90.zip", "/target/a.zip");
    CurrentDownloadInfo box;
    box.setDownload(&download);
    EXPECT_EQ(values(box), allDashes) << "nothing changes before the owner's tick";
    box.update();
    EXPECT_EQ(
        values(box),
        (QStringList{QStringLiteral("http://h/files/1/А.zip"), QStringLiteral("/target/a.zip"),
                     QString::fromUtf8("В очереди"), QStringLiteral("-"), QStringLiteral("-"),
                     QStringLiteral("-"), QStringLiteral("-")}));
}

TEST(CurrentDownloadInfo, AFailedDownloadsStateSaysWhyToTheEyeAndToAScreenReader) {
    ScriptedDownload download("http://h/files/1/a.zip", "/target/a.zip");
    download.setFailureReason(std::string("нет места на диске"_cp1251));
    download.setState(State::Error);
    CurrentDownloadInfo box;
    box.setDownload(&download);
    box.update();
    const auto* state = box.findChild<QLabel*>(QStringLiteral("state"));
    EXPECT_EQ(state->text(), QString::fromUtf8("Ошибка"));
    EXPECT_EQ(state->toolTip(), QString::fromUtf8("нет места на диске"));
    EXPECT_EQ(state->accessibleDescription(), QString::fromUtf8("нет места на диске"));

    download.setState(State::Queued);
    box.statusChanged();
    box.update();
    EXPECT_EQ(state->toolTip(), QString());
}

// Between transfers "Время:" is the time left of the wait under way, whole
// seconds rounded up, and it says when it next reads another second.
TEST(CurrentDownloadInfo, TheTimeOfAWaitIsShownAndAStoppedQueueSaysSo) {
    testing_helpers::FakeClock clock;
    ScriptedDownload download("http://h/files/1/a.zip", "/target/a.zip");
    download.retryAfter(12);
    download.setState(State::Error);
    CurrentDownloadInfo box;
    box.setDownload(&download);
    box.update();
    EXPECT_EQ(valueText(box, Time), QStringLiteral("0:00:12"));
    clock.advance(500);
    EXPECT_EQ(box.msUntilTimeLeftChanges(), 500);
    clock.advance(600);
    box.worked();
    box.update();
    EXPECT_EQ(valueText(box, Time), QStringLiteral("0:00:11"));

    box.setDownload(nullptr);
    box.setStopped(true);
    box.update();
    EXPECT_EQ(valueText(box, StateRow), QString::fromUtf8("Загрузка остановлена"));
    EXPECT_EQ(box.msUntilTimeLeftChanges(), -1);
}

TEST(CurrentDownloadInfo, FiguresReadAsKilobytesAndCutSpeed) {
    EXPECT_EQ(CurrentDownloadInfo::kilobytesText(1'536'000), "1500");
    EXPECT_EQ(CurrentDownloadInfo::kilobytesText(1023), "0");
    EXPECT_EQ(CurrentDownloadInfo::kilobytesText(1024), "1");
    EXPECT_EQ(CurrentDownloadInfo::kilobytesText(2047), "1");
    EXPECT_EQ(CurrentDownloadInfo::kilobytesText(-1), "0");
    EXPECT_EQ(CurrentDownloadInfo::kilobytesText(5'000'000'000), "4882812");
    EXPECT_EQ(CurrentDownloadInfo::speedText(12.37f), "12.3");
    EXPECT_EQ(CurrentDownloadInfo::speedText(0.05f), "0.0");
    EXPECT_EQ(CurrentDownloadInfo::speedText(1234.56f), "1234.5");
}

TEST(CurrentDownloadInfo, UpdateAppliesTheHighestLevelOnce) {
    ScriptedDownload first("http://h/files/1/a.zip", "/target/a.zip");
    ScriptedDownload second("http://h/files/2/b.zip", "/target/b.zip");
    CurrentDownloadInfo box;
    box.setDownload(&first);
    box.update();

    first.setState(State::Error);
    box.statusChanged();
    box.worked();
    box.update();
    EXPECT_EQ(valueText(box, StateRow), QString::fromUtf8("Ошибка"));

    // Nothing noted: the next update leaves the labels as they are.
    first.setState(State::Complete);
    box.update();
    EXPECT_EQ(valueText(box, StateRow), QString::fromUtf8("Ошибка"));

    // A lower level never lowers a pending rebinding.
    box.setDownload(&second);
    box.worked();
    box.update();
    EXPECT_EQ(valueText(box, From), QStringLiteral("http://h/files/2/b.zip"));
}

TEST(CurrentDownloadInfo, ALongPathIsCutInTheMiddleAndShownWholeAsATooltip) {
    const std::string path = "/home/user/" + std::string(300, 'x') + "/report.zip";
    ScriptedDownload download("http://h/files/1/report.zip", path);
    CurrentDownloadInfo box;
    box.resize(400, box.heightForWidth(400));
    box.show();
    box.setDownload(&download);
    box.update();
    const auto* to = box.findChild<QLabel*>(QStringLiteral("to"));
    EXPECT_TRUE(to->text().startsWith(QStringLiteral("/home/user/x")));
    EXPECT_TRUE(to->text().endsWith(QStringLiteral("x/report.zip")));
    EXPECT_EQ(to->toolTip(), QString::fromStdString(path));
}

TEST(CurrentDownloadInfo, UnbindingResetsEverythingOnce) {
    ScriptedDownload download("http://h/files/1/a.zip", "/target/a.zip");
    CurrentDownloadInfo box;
    box.setDownload(&download);
    box.update();
    box.setDownload(nullptr);
    box.update();
    EXPECT_EQ(values(box), allDashes);
    box.statusChanged();
    box.update();
    EXPECT_EQ(values(box), allDashes);
}

TEST(CurrentDownloadInfo, NotificationsFromAnotherThreadAreNeverLost) {
    ScriptedDownload download("http://h/files/1/a.zip", "/target/a.zip");
    CurrentDownloadInfo box;
    box.setDownload(&download);
    box.update();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 20'000; ++i) {
            box.statusChanged();
            box.worked();
        }
        download.setState(State::Downloading);
        box.statusChanged();
        done = true;
    });
    while (!done) {
        box.update();
        // Entering Downloading waits for the GUI thread, as the worker does.
        QCoreApplication::processEvents();
    }
    worker.join();
    box.update();
    EXPECT_EQ(valueText(box, StateRow), QString::fromUtf8("Загрузка"));
}
