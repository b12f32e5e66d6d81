#include "ui/DownloadsSetPanel.h"

#include "engine/Download.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/QtPrinters.h"
#include "tests/common/TestHelpers.h"
#include "tests/engine/ScriptedDownload.h"
#include "ui/CurrentDownloadInfo.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <gtest/gtest.h>
#include <sstream>

using testing_helpers::MessageBoxCloser;
using testing_helpers::pumpUntil;
using tolvenka::CurrentDownloadInfo;
using tolvenka::DownloadsSet;
using tolvenka::DownloadsSetPanel;

namespace {

// The panel's parts, found by their names.
QTableView* gridOf(const QWidget& panel) {
    return panel.findChild<QTableView*>(QStringLiteral("grid"));
}

std::vector<QGroupBox*> boxesOf(const QWidget& panel) {
    std::vector<QGroupBox*> boxes;
    while (auto* box = panel.findChild<QGroupBox*>(QStringLiteral("slot") +
                                                   QString::number(boxes.size()))) {
        boxes.push_back(box);
    }
    return boxes;
}

class Panel : public ::testing::Test {
protected:
    Panel() { tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST)); }

    // A set holding stored records in the given states.
    void loadRecords(DownloadsSet& set, const std::vector<std::string>& words) {
        std::string file;
        int id = 1;
        for (const auto& word : words) {
            const std::string link =
                "http://" + tolvenka::serviceHost() + "/files/" + std::to_string(id++) + "/f.zip";
            file +=
                tolvenka::serviceHost() + "\r\n" + link + "\r\n/tmp/f.zip\r\n" + word + "\r\n\r\n";
        }
        std::istringstream in(file);
        set.load(in);
    }

    QString cell(const DownloadsSetPanel& panel, int row, int column) const {
        const QAbstractItemModel& model = *gridOf(panel)->model();
        return model.data(model.index(row, column)).toString();
    }

    QPushButton* button(DownloadsSetPanel& panel, const char* caption) {
        for (auto* candidate : panel.findChildren<QPushButton*>()) {
            if (candidate->text() == QString::fromUtf8(caption)) {
                return candidate;
            }
        }
        return nullptr;
    }

    tolvenka::DownloadMaker maker;
};

} // namespace

TEST_F(Panel, WithoutASetShowsTheHeaderAndOneEmptyRow) {
    DownloadsSetPanel panel;
    panel.onTimer();
    EXPECT_EQ(static_cast<int>(boxesOf(panel).size()), 0);
    EXPECT_EQ(gridOf(panel)->model()->rowCount(), 1);
    EXPECT_EQ(cell(panel, 0, 0), QStringLiteral(""));
    const QAbstractItemModel& model = *gridOf(panel)->model();
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QString::fromUtf8("Загрузка"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("Состояние"));
    MessageBoxCloser messages;
    for (const char* caption : {"Удалить загруженные", "Удалить битые", "Удалить все"}) {
        ASSERT_NE(button(panel, caption), nullptr) << caption;
        button(panel, caption)->click();
    }
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(Panel, AnEmptySetGetsOneBoxAcrossThePanel) {
    DownloadsSet set(1, 40);
    DownloadsSetPanel panel;
    panel.resize(600, 500);
    panel.setDownloadsSet(&set);
    ASSERT_EQ(static_cast<int>(boxesOf(panel).size()), 1);
    EXPECT_EQ(boxesOf(panel)[0]->x(), 0);
    EXPECT_EQ(boxesOf(panel)[0]->width(), 590);
    panel.onTimer();
    EXPECT_EQ(testing_helpers::shownValue(*boxesOf(panel)[0], QStringLiteral("from")),
              QStringLiteral("-"));
    EXPECT_EQ(gridOf(panel)->model()->rowCount(), 1);
}

TEST_F(Panel, ListsEveryDownloadWithItsStateThenAnEmptyRow) {
    DownloadsSet set(1, 40);
    loadRecords(set, {"Complete", "NotFound", "Queue"});
    DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    panel.onTimer();
    ASSERT_EQ(gridOf(panel)->model()->rowCount(), 4);
    EXPECT_EQ(cell(panel, 0, 0),
              QString::fromStdString("http://" + tolvenka::serviceHost() + "/files/1/f.zip"));
    EXPECT_EQ(cell(panel, 0, 1), QString::fromUtf8("Готово"));
    EXPECT_EQ(cell(panel, 1, 1), QString::fromUtf8("Файл не найден"));
    EXPECT_EQ(cell(panel, 2, 1), QString::fromUtf8("В очереди"));
    EXPECT_EQ(cell(panel, 3, 0), QStringLiteral(""));
    EXPECT_EQ(cell(panel, 3, 1), QStringLiteral(""));
}

TEST_F(Panel, SlotsShareTheWidthFromTheLeft) {
    DownloadsSet set(2, 40);
    DownloadsSetPanel panel;
    panel.resize(410, 500);
    panel.setDownloadsSet(&set);
    ASSERT_EQ(static_cast<int>(boxesOf(panel).size()), 2);
    EXPECT_EQ(boxesOf(panel)[0]->geometry(), QRect(0, 0, 200, CurrentDownloadInfo::Height));
    EXPECT_EQ(boxesOf(panel)[1]->geometry(), QRect(200, 0, 200, CurrentDownloadInfo::Height));
}

TEST_F(Panel, RemovingAllWaitsUntilNoDownloadRuns) {
    DownloadsSet set(1, 40);
    loadRecords(set, {"Queue", "Complete"});
    DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    ASSERT_NE(set.pickNext(0, tolvenka::serviceHost()), nullptr);
    {
        MessageBoxCloser messages;
        button(panel, "Удалить все")->click();
        EXPECT_EQ(messages.texts, std::vector<std::string>{"Сначала нужно остановить загрузки."});
    }
    EXPECT_EQ(set.count(), 2);

    set.releaseSlot(0);
    button(panel, "Удалить все")->click();
    EXPECT_EQ(set.count(), 0);
    panel.onTimer();
    EXPECT_EQ(gridOf(panel)->model()->rowCount(), 1);
}

TEST_F(Panel, TheClearButtonsRemoveFinishedAndMissingDownloads) {
    DownloadsSet set(1, 40);
    loadRecords(set, {"Complete", "NotFound", "Queue", "Complete"});
    DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    button(panel, "Удалить загруженные")->click();
    EXPECT_EQ(set.count(), 2);
    button(panel, "Удалить битые")->click();
    EXPECT_EQ(set.count(), 1);
    panel.onTimer();
    EXPECT_EQ(cell(panel, 0, 1), QString::fromUtf8("В очереди"));
}

TEST_F(Panel, EventsOnlyNoteChangesAndTheTickAppliesThem) {
    DownloadsSet set(1, 40);
    loadRecords(set, {"Queue"});
    DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    panel.onTimer();

    // The worker picks the download: the box shows it on the next tick.
    set.pickNext(0, tolvenka::serviceHost());
    EXPECT_EQ(testing_helpers::shownValue(*boxesOf(panel)[0], QStringLiteral("state")),
              QStringLiteral("-"));
    panel.onTimer();
    EXPECT_EQ(testing_helpers::shownValue(*boxesOf(panel)[0], QStringLiteral("state")),
              QString::fromUtf8("В очереди"));
    // An idle worker asking again and again shows nothing.
    set.releaseSlot(0);
    for (int i = 0; i < 5; ++i) {
        set.pickNext(0, "no such kind");
        panel.onTimer();
    }
    EXPECT_EQ(testing_helpers::shownValue(*boxesOf(panel)[0], QStringLiteral("state")),
              QStringLiteral("-"));
}

TEST_F(Panel, TheGridFollowsTheQueueRowByRowAndKeepsTheUsersPlace) {
    using testing_helpers::ScriptedDownload;
    const auto linkOf = [](int i) {
        return "http://h/files/" + std::to_string(i) + "/f.zip";
    };
    DownloadsSet set(1, 40);
    for (int i = 0; i < 40; ++i) {
        set.add(std::make_unique<ScriptedDownload>(linkOf(i), "/tmp/f.zip"));
    }
    static_cast<ScriptedDownload*>(set.at(5))->setState(tolvenka::Download::State::Complete);
    static_cast<ScriptedDownload*>(set.at(38))->setState(tolvenka::Download::State::Complete);
    DownloadsSetPanel panel;
    panel.resize(930, 400);
    panel.setDownloadsSet(&set);
    panel.show();
    panel.onTimer();
    QTableView* grid = gridOf(panel);
    grid->selectRow(20);
    grid->scrollTo(grid->model()->index(20, 0), QAbstractItemView::PositionAtTop);
    const int scrolled = grid->verticalScrollBar()->value();
    QSignalSpy resets(grid->model(), &QAbstractItemModel::modelReset);
    QSignalSpy changes(grid->model(), &QAbstractItemModel::dataChanged);

    // The download a worker runs changes its state: its row alone repaints.
    set.pickNext(0, ScriptedDownload::kind);
    static_cast<ScriptedDownload*>(set.at(0))->setState(tolvenka::Download::State::Error);
    panel.onTimer();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].value<QModelIndex>().row(), 0);
    EXPECT_EQ(changes[0][1].value<QModelIndex>().row(), 0);
    EXPECT_EQ(cell(panel, 0, 1), QString::fromUtf8("Ошибка"));
    set.releaseSlot(0);

    set.add(std::make_unique<ScriptedDownload>(linkOf(40), "/tmp/f.zip"));
    panel.onTimer();
    EXPECT_EQ(cell(panel, 40, 0), QString::fromStdString(linkOf(40)));
    EXPECT_EQ(grid->verticalScrollBar()->value(), scrolled);

    set.clearComplete();
    panel.onTimer();
    EXPECT_EQ(grid->model()->rowCount(), 40);
    EXPECT_EQ(cell(panel, 5, 0), QString::fromStdString(linkOf(6)));
    EXPECT_EQ(resets.count(), 0);
    // The user's row is the same download, one row up.
    EXPECT_EQ(grid->currentIndex().data().toString(), QString::fromStdString(linkOf(20)));
    ASSERT_EQ(grid->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(grid->selectionModel()->selectedRows().front().row(), 19);
}

TEST_F(Panel, ReattachingRebuildsTheBoxesAndDetachingSilencesTheSet) {
    DownloadsSet set(1, 40);
    DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    panel.writeCaption(0, "custom");
    EXPECT_EQ(panel.readCaption(0), "custom");
    panel.setDownloadsSet(&set);
    EXPECT_NE(panel.readCaption(0), "custom");
    EXPECT_EQ(static_cast<int>(boxesOf(panel).size()), 1);
    EXPECT_TRUE(static_cast<bool>(set.onSetChange));

    panel.setDownloadsSet(nullptr);
    EXPECT_EQ(static_cast<int>(boxesOf(panel).size()), 0);
    EXPECT_FALSE(static_cast<bool>(set.onSetChange));
    EXPECT_FALSE(static_cast<bool>(set.onStatusChange));
    EXPECT_FALSE(static_cast<bool>(set.onWork));
    EXPECT_FALSE(static_cast<bool>(set.onCurrentDownloadChange));
}

TEST_F(Panel, DestroyingThePanelDetachesIt) {
    DownloadsSet set(1, 40);
    {
        DownloadsSetPanel panel;
        panel.setDownloadsSet(&set);
    }
    EXPECT_FALSE(static_cast<bool>(set.onSetChange));
    set.clearAll(); // fires into nobody
}
