// What the title, the tray's tooltip and the status line say of the queue.
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "tests/common/QtPrinters.h"
#include "ui/QueueStatusLine.h"
#include "ui/QueueTitle.h"

#include <gtest/gtest.h>
#include <sstream>

using tolvenka::QueueStatusLine;
using tolvenka::QueueTitle;

namespace {

QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

} // namespace

// Stopped wins over the schedule, which wins over a transfer, which wins
// over a wait; what changes leads the title.
TEST(QueueTitle, SaysTheOneThingThatMattersMostFirst) {
    const struct {
        bool stopped;
        int scheduleFrom;
        int percent;
        std::int64_t waitLeft;
        const char* title;
        const char* state;
    } cases[] = {
        {false, -1, -1, -1, "Толвенка", ""},
        {false, -1, 48, -1, "48 % — Толвенка", ""},
        {false, -1, -1, 716, "Ожидание 11:56 — Толвенка", "Подождите 12 минут (ещё 11:56)"},
        {false, -1, -1, 42, "Ожидание 0:42 — Толвенка", "Подождите 12 минут (ещё 0:42)"},
        {false, -1, -1, 3723, "Ожидание 1:02:03 — Толвенка", "Подождите 12 минут (ещё 1:02:03)"},
        {false, -1, 48, 716, "48 % — Толвенка", ""},
        {false, 60, 48, -1, "Толвенка — ждёт расписания до 01:00", "ждёт расписания до 01:00"},
        {true, 60, 48, 716, "Толвенка — остановлено", "остановлено"},
    };
    for (const auto& [stopped, scheduleFrom, percent, waitLeft, title, state] : cases) {
        QueueTitle composed;
        int changes = 0;
        composed.onChange = [&] {
            ++changes;
        };
        composed.setStopped(stopped);
        composed.setScheduleResumesAt(scheduleFrom);
        composed.setTransferShare(percent);
        composed.setWait(waitLeft, "\xCF\xEE\xE4\xEE\xE6\xE4\xE8\xF2\xE5 12 \xEC\xE8\xED\xF3\xF2");
        EXPECT_EQ(composed.title(), utf8(title));
        EXPECT_EQ(composed.state(), utf8(state)) << title;
        const int before = changes;
        composed.setTransferShare(percent);
        EXPECT_EQ(changes, before) << "the same again is no change";
    }
}

TEST(QueueStatusLine, SizesReadInTheirLargestUnitWithADecimalCommaBelowTen) {
    const struct {
        std::int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 Б"},
        {900, "900 Б"},
        {1536, "1,5 кБ"},
        {1024 * 1024 - 1, "1,0 МБ"},
        {1023 * 1024, "1023 кБ"},
        {350LL << 20, "350 МБ"},
        {(1LL << 30) * 14 / 10, "1,4 ГБ"},
        {(1LL << 30) * 99 / 10, "9,9 ГБ"},
        {(1LL << 30) * 12, "12 ГБ"},
        {1LL << 40, "1,0 ТБ"},
        {-5, "0 Б"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(QueueStatusLine::sizeText(bytes), utf8(text)) << bytes;
    }
}

// Finished and missing downloads are no longer in the queue; the sizes come
// as the downloads learn them.
TEST(QueueStatusLine, CountsWhatIsStillToComeAndAddsWhatTheQueueDoes) {
    tolvenka::setServiceHost("h");
    tolvenka::DownloadMaker maker;
    tolvenka::DownloadsSet set(1, 40);
    std::string records;
    for (const char* word : {"Queue", "Complete", "NotFound", "Error", "Paused"}) {
        records += std::string("h\r\nhttp://h/files/1/f.zip\r\n/tmp/f.zip\r\n") + word + "\r\n\r\n";
    }
    std::istringstream in(records);
    set.load(in);
    QueueStatusLine line;
    line.showQueue(&set);
    EXPECT_EQ(line.fullText(), utf8("В очереди: 3"));
    line.showState(utf8("остановлено"));
    EXPECT_EQ(line.fullText(), utf8("В очереди: 3 · остановлено"));
    line.showQueue(nullptr);
    line.showState({});
    EXPECT_EQ(line.fullText(), utf8("В очереди: 0"));
    EXPECT_EQ(line.objectName(), QStringLiteral("queueStatus"));
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
}
