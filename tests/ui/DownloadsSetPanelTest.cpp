#include "ui/DownloadsSetPanel.h"

#include "engine/Download.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/QtPrinters.h"
#include "tests/common/TestHelpers.h"
#include "tests/engine/ScriptedDownload.h"
#include "ui/CurrentDownloadInfo.h"
#include "ui/DownloadsGridModel.h"
#include "ui/OwnClipboardText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

using testing_helpers::MessageBoxCloser;
using testing_helpers::pumpUntil;
using testing_helpers::QuestionAnswerer;
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

    static constexpr int stateColumn = tolvenka::DownloadsGridModel::StateColumn;

    // The link of the download a row shows.
    QString linkAt(const DownloadsSetPanel& panel, int row) const {
        const auto& model =
            static_cast<const tolvenka::DownloadsGridModel&>(*gridOf(panel)->model());
        const tolvenka::Download* download = model.downloadAt(row);
        return download != nullptr ? QString::fromStdString(std::string(download->getLink())) : QString();
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

TEST_F(Panel, WithoutASetShowsTheHeaderAndNoRow) {
    DownloadsSetPanel panel;
    panel.onTimer();
    EXPECT_EQ(static_cast<int>(boxesOf(panel).size()), 0);
    EXPECT_EQ(gridOf(panel)->model()->rowCount(), 0);
    const QAbstractItemModel& model = *gridOf(panel)->model();
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QString::fromUtf8("Файл"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("Размер"));
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), QString::fromUtf8("Состояние"));
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
    EXPECT_EQ(gridOf(panel)->model()->rowCount(), 0);
}

TEST_F(Panel, ListsEveryDownloadWithItsStateThenAnEmptyRow) {
    DownloadsSet set(1, 40);
    loadRecords(set, {"Complete", "NotFound", "Queue"});
    DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    panel.onTimer();
    ASSERT_EQ(gridOf(panel)->model()->rowCount(), 4);
    EXPECT_EQ(cell(panel, 0, 0), QStringLiteral("f.zip"));
    EXPECT_EQ(linkAt(panel, 0),
              QString::fromStdString("http://" + tolvenka::serviceHost() + "/files/1/f.zip"));
    EXPECT_EQ(cell(panel, 0, stateColumn), QString::fromUtf8("Готово"));
    EXPECT_EQ(cell(panel, 1, stateColumn), QString::fromUtf8("Файл не найден"));
    EXPECT_EQ(cell(panel, 2, stateColumn), QString::fromUtf8("В очереди"));
    EXPECT_EQ(linkAt(panel, 3), QStringLiteral(""));
    EXPECT_EQ(cell(panel, 3, stateColumn), QStringLiteral(""));
}

TEST_F(Panel, SlotsShareTheWidthFromTheLeft) {
    DownloadsSet set(2, 40);
    DownloadsSetPanel panel;
    panel.resize(410, 500);
    panel.setDownloadsSet(&set);
    ASSERT_EQ(static_cast<int>(boxesOf(panel).size()), 2);
    const int height = boxesOf(panel)[0]->heightForWidth(200);
    EXPECT_EQ(boxesOf(panel)[0]->geometry(), QRect(0, 0, 200, height));
    EXPECT_EQ(boxesOf(panel)[1]->geometry(), QRect(200, 0, 200, height));
}

// Everything goes at once, so it asks first, "Отмена" by default; while a
// download runs, the question names it, and it leaves once its run ends.
TEST_F(Panel, RemovingAllAsksFirstAndNamesTheDownloadItInterrupts) {
    DownloadsSet set(1, 40);
    loadRecords(set, {"Queue", "Complete", "Queue"});
    DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    panel.onTimer();
    tolvenka::Download* running = set.pickNext(0, tolvenka::serviceHost());
    ASSERT_NE(running, nullptr);
    QuestionAnswerer answers;
    button(panel, "Удалить все")->click();
    ASSERT_EQ(answers.asked.size(), 1u);
    EXPECT_EQ(answers.asked[0].text,
              QString::fromUtf8("Прервать загрузку «f.zip» и удалить из списка все загрузки (3)?"));
    EXPECT_EQ(answers.asked[0].defaultButton, QString::fromUtf8("Отмена"));
    EXPECT_EQ(set.count(), 3) << "Escape removes nothing";

    answers.answer = QString::fromUtf8("Удалить");
    button(panel, "Удалить все")->click();
    EXPECT_EQ(set.count(), 1) << "the running one stays until its run ends";
    set.finishRun(0);
    EXPECT_EQ(set.count(), 0);
    panel.onTimer();
    EXPECT_EQ(gridOf(panel)->model()->rowCount(), 0);

    loadRecords(set, {"Queue", "Complete"});
    answers.answer = QString();
    button(panel, "Удалить все")->click();
    ASSERT_EQ(answers.asked.size(), 3u);
    EXPECT_EQ(answers.asked[2].text, QString::fromUtf8("Удалить из списка все загрузки (2)?"));
    set.clearAll();
    button(panel, "Удалить все")->click();
    EXPECT_EQ(answers.asked.size(), 3u) << "nothing to remove, nothing to ask";
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
    EXPECT_EQ(cell(panel, 0, stateColumn), QString::fromUtf8("В очереди"));
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

    // With nothing left to apply the timer sleeps, and a change wakes it.
    ASSERT_TRUE(pumpUntil([&] { return !panel.isRefreshDue(); }));
    (*set.begin())->requeue();
    set.remove({set.at(0)});
    EXPECT_TRUE(panel.isRefreshDue());
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
    EXPECT_EQ(cell(panel, 0, stateColumn), QString::fromUtf8("Ошибка"));
    set.releaseSlot(0);

    set.add(std::make_unique<ScriptedDownload>(linkOf(40), "/tmp/f.zip"));
    panel.onTimer();
    EXPECT_EQ(linkAt(panel, 40), QString::fromStdString(linkOf(40)));
    EXPECT_EQ(grid->verticalScrollBar()->value(), scrolled);

    set.clearComplete();
    panel.onTimer();
    EXPECT_EQ(grid->model()->rowCount(), 40);
    EXPECT_EQ(linkAt(panel, 5), QString::fromStdString(linkOf(6)));
    EXPECT_EQ(resets.count(), 0);
    // The user's row is the same download, one row up.
    EXPECT_EQ(linkAt(panel, grid->currentIndex().row()), QString::fromStdString(linkOf(20)));
    ASSERT_EQ(grid->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(grid->selectionModel()->selectedRows().front().row(), 19);
}

// Rows that stay while a thousand downloads come and go keep far-apart
// serial numbers; a move still takes them along.
TEST_F(Panel, RowsFollowAMoveAfterManyDownloadsCameAndWent) {
    using testing_helpers::ScriptedDownload;
    DownloadsSet set(1, 40);
    for (int i = 0; i < 1100; ++i) {
        set.add(std::make_unique<ScriptedDownload>("http://h/files/" + std::to_string(i) + "/f",
                                                   "/tmp/f"));
    }
    std::vector<const tolvenka::Download*> passing;
    for (int i = 1; i < 1099; ++i) {
        passing.push_back(set.at(i));
    }
    set.remove(passing);
    DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    ASSERT_TRUE(set.move({set.at(1)}, DownloadsSet::Move::ToTop));
    panel.onTimer();
    EXPECT_EQ(linkAt(panel, 0), QStringLiteral("http://h/files/1099/f"));
    EXPECT_EQ(linkAt(panel, 1), QStringLiteral("http://h/files/0/f"));
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

namespace {

using namespace kestrune::text::literals;
using testing_helpers::ScriptedDownload;
using State = tolvenka::Download::State;

// A shown panel over four downloads, driven by the mouse and the keys:
// finished, stopped with an error, queued, not found.
class Grid : public Panel {
protected:
    Grid() {
        add("done", "/tmp/a/done.zip", State::Complete);
        add("failed", "/tmp/b/failed.zip", State::Error)
            ->setFailureReason(std::string("нет места на диске"_cp1251));
        add("queued", "/tmp/a/queued.zip", State::Queued);
        add("missing", "/tmp/a/missing.zip", State::NotFound);
        panel.resize(930, 400);
        panel.setDownloadsSet(&set);
        panel.openOnDesktop = [this](const QUrl& url) {
            opened << url.toLocalFile();
        };
        panel.show();
        panel.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&panel));
        panel.onTimer();
        grid()->setFocus();
    }

    ScriptedDownload* add(const std::string& name, const std::string& path, State state) {
        auto download = std::make_unique<ScriptedDownload>("http://h/files/1/" + name, path);
        download->setState(state);
        ScriptedDownload* added = download.get();
        set.add(std::move(download));
        return added;
    }

    QTableView* grid() const { return gridOf(panel); }

    // Where a row is, in the window the events go to.
    QPoint rowPoint(int row) const {
        const QPoint inViewport = grid()->visualRect(grid()->model()->index(row, 0)).center();
        return grid()->viewport()->mapTo(&panel, inViewport);
    }

    void click(int row, Qt::KeyboardModifiers keys = {}, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(panel.windowHandle(), button, keys, rowPoint(row));
    }

    std::vector<int> selectedRows() const {
        std::vector<int> rows;
        for (const QModelIndex& index : grid()->selectionModel()->selectedRows()) {
            rows.push_back(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    // The row menu after a right click on `row`, or null.
    QMenu* menuAt(int row) {
        click(row, {}, Qt::RightButton);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }

    static QAction* entry(const QMenu& menu, const char* caption) {
        for (QAction* action : menu.actions()) {
            if (action->text() == QString::fromUtf8(caption)) {
                return action;
            }
        }
        return nullptr;
    }

    static void choose(QMenu& menu, const char* caption) {
        QTest::mouseClick(&menu, Qt::LeftButton, {},
                          menu.actionGeometry(entry(menu, caption)).center());
    }

    DownloadsSet set{1, 40};
    DownloadsSetPanel panel;
    QStringList opened;
};

} // namespace

TEST_F(Grid, ClicksSelectWholeRowsAndShiftOrCtrlSelectSeveral) {
    click(1);
    EXPECT_EQ(selectedRows(), std::vector<int>{1});
    click(3, Qt::ShiftModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int>{1, 2, 3}));
    click(0, Qt::ControlModifier);
    click(2, Qt::ControlModifier);
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1, 3}));
}

TEST_F(Grid, TheRowMenuOffersWhatAppliesToTheSelection) {
    const auto enabled = [](const QMenu& menu) {
        std::vector<bool> states;
        for (const char* caption :
             {"Открыть файл", "Открыть папку", "Копировать ссылки", "Приостановить", "Возобновить",
              "Изменить папку…", "Повторить", "Удалить из списка"}) {
            QAction* action = entry(menu, caption);
            EXPECT_NE(action, nullptr) << caption;
            states.push_back(action != nullptr && action->isEnabled());
        }
        return states;
    };
    click(0);
    click(1, Qt::ControlModifier);
    QMenu* menu = menuAt(1);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(enabled(*menu), (std::vector<bool>{true, true, true, true, false, true, true, true}));
    menu->close();

    // A queued download, held with Ctrl+P and let go with it again; then one
    // a slot holds, even in error.
    menu = menuAt(2);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(selectedRows(), std::vector<int>{2});
    EXPECT_EQ(enabled(*menu),
              (std::vector<bool>{false, true, true, true, false, true, false, true}));
    menu->close();
    QTest::keyClick(grid(), Qt::Key_P, Qt::ControlModifier);
    panel.onTimer();
    EXPECT_EQ(cell(panel, 2, stateColumn), QString::fromUtf8("Приостановлена"));
    menu = menuAt(2);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(enabled(*menu),
              (std::vector<bool>{false, true, true, false, true, true, false, true}));
    menu->close();
    QTest::keyClick(grid(), Qt::Key_P, Qt::ControlModifier);
    EXPECT_FALSE(set.at(2)->isHeld());
    set.pickNext(0, ScriptedDownload::kind);
    static_cast<ScriptedDownload*>(set.at(2))->setState(State::Error);
    menu = menuAt(2);
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(entry(*menu, "Повторить")->isEnabled());
    menu->close();
    set.releaseSlot(0);
}

TEST_F(Grid, FinishedFilesAndTheFoldersOpenOnTheDesktop) {
    QTest::mouseDClick(panel.windowHandle(), Qt::LeftButton, {}, rowPoint(1));
    EXPECT_TRUE(opened.isEmpty()) << "a failed download has no file to open";
    QTest::mouseDClick(panel.windowHandle(), Qt::LeftButton, {}, rowPoint(0));
    EXPECT_EQ(opened, QStringList{QStringLiteral("/tmp/a/done.zip")});

    opened.clear();
    QTest::keyClick(grid(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(grid(), Qt::Key_Return);
    EXPECT_EQ(opened, QStringList{QStringLiteral("/tmp/a/done.zip")});

    opened.clear();
    QMenu* menu = menuAt(2);
    ASSERT_NE(menu, nullptr);
    choose(*menu, "Открыть папку");
    EXPECT_EQ(opened, (QStringList{QStringLiteral("/tmp/a"), QStringLiteral("/tmp/b")}));
}

// As the program's own: the watch on the clipboard leaves them alone.
TEST_F(Grid, CtrlCCopiesTheSelectedLinksOneALine) {
    click(0);
    click(2, Qt::ControlModifier);
    QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied, QStringLiteral("http://h/files/1/done\nhttp://h/files/1/queued"));
    EXPECT_TRUE(tolvenka::OwnClipboardText::isOwn(copied));
}

TEST_F(Grid, RetryQueuesTheStoppedDownloadsThatNoSlotHolds) {
    QTest::keyClick(grid(), Qt::Key_A, Qt::ControlModifier);
    QMenu* menu = menuAt(1);
    ASSERT_NE(menu, nullptr);
    choose(*menu, "Повторить");
    const std::vector<State> states{set.at(0)->getState(), set.at(1)->getState(),
                                    set.at(2)->getState(), set.at(3)->getState()};
    EXPECT_EQ(states,
              (std::vector<State>{State::Complete, State::Queued, State::Queued, State::Queued}));
    EXPECT_EQ(set.at(1)->getFailureReason(), "");
}

// A running download loses what it did: that is asked first. Others go
// without a question.
TEST_F(Grid, DeleteRemovesTheSelectedRowsAndTheRunningOneAfterAQuestionOnceItsRunEnds) {
    testing_helpers::TempDir dir;
    testing_helpers::writeFile(dir.file("kept.zip"), "data");
    add("kept", dir.file("kept.zip"), State::Complete);
    add("other", "/tmp/a/other.zip", State::Queued);
    set.pickNext(0, ScriptedDownload::kind); // "queued" runs
    panel.onTimer();
    QuestionAnswerer answers;
    click(5);
    QTest::keyClick(grid(), Qt::Key_Delete);
    EXPECT_TRUE(answers.asked.empty());
    EXPECT_EQ(set.count(), 5);

    click(2);
    click(4, Qt::ControlModifier);
    QTest::keyClick(grid(), Qt::Key_Delete);
    ASSERT_EQ(answers.asked.size(), 1u);
    EXPECT_EQ(answers.asked[0].text,
              QString::fromUtf8("Прервать загрузку «queued.zip» и удалить её из списка?"));
    EXPECT_EQ(set.count(), 5) << "Escape removes nothing";
    EXPECT_FALSE(static_cast<ScriptedDownload*>(set.at(2))->isAbortRequested());

    answers.answer = QString::fromUtf8("Удалить");
    // Back from the question, as the window system brings it.
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    QTest::keyClick(grid(), Qt::Key_Delete);
    EXPECT_EQ(set.count(), 4) << "the running one stays until its run ends";
    EXPECT_TRUE(static_cast<ScriptedDownload*>(set.at(2))->isAbortRequested());
    EXPECT_EQ(testing_helpers::readFile(dir.file("kept.zip")), "data");

    static_cast<ScriptedDownload*>(set.at(2))->setState(State::Queued);
    set.finishRun(0);
    ASSERT_TRUE(pumpUntil([&] { return gridOf(panel)->model()->rowCount() == 4; }));
    EXPECT_EQ(linkAt(panel, 2), QStringLiteral("http://h/files/1/missing"));
}

// The link takes what the state column leaves, and a scroll bar shows only
// while rows are out of view.
TEST_F(Grid, TheColumnsFillTheWidthAndAScrollBarShowsOnlyWhatIsHidden) {
    const QHeaderView& header = *grid()->horizontalHeader();
    EXPECT_EQ(header.length(), grid()->viewport()->width());
    EXPECT_EQ(header.sectionSize(stateColumn), 300);
    EXPECT_FALSE(grid()->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(grid()->verticalScrollBar()->isVisible());
    for (int i = 0; i < 20; ++i) {
        add("more" + std::to_string(i), "/tmp/a/more.zip", State::Queued);
    }
    panel.onTimer();
    ASSERT_TRUE(pumpUntil([&] { return grid()->verticalScrollBar()->isVisible(); }));
    EXPECT_EQ(header.length(), grid()->viewport()->width());
    EXPECT_FALSE(grid()->horizontalScrollBar()->isVisible());
}

// "Изменить папку…" refuses a folder that cannot take the files, and
// otherwise sends the selected downloads that have not arrived there.
TEST_F(Grid, AnotherFolderIsCheckedAndTakesTheDownloadsThatHaveNotArrived) {
    testing_helpers::TempDir folder;
    QString offered = QString::fromStdString(folder.file("blocked"));
    testing_helpers::writeFile(folder.file("blocked"), "a file, not a folder");
    panel.chooseFolder = [&](QWidget*, const QString&, const QString&) {
        return std::optional<QString>(offered);
    };
    click(0);
    click(2, Qt::ShiftModifier);
    {
        MessageBoxCloser messages;
        choose(*menuAt(2), "Изменить папку…");
        ASSERT_EQ(messages.texts.size(), 1u);
        EXPECT_EQ(messages.texts[0].rfind("Нельзя сохранять файлы в папку ", 0), 0u);
    }
    EXPECT_EQ(set.at(2)->getTargetPath(), "/tmp/a/queued.zip");

    offered = QString::fromStdString(folder.file("new"));
    choose(*menuAt(2), "Изменить папку…");
    EXPECT_EQ(set.at(0)->getTargetPath(), "/tmp/a/done.zip") << "its file has arrived";
    EXPECT_EQ(set.at(1)->getTargetPath(), folder.file("new/failed.zip"));
    EXPECT_EQ(set.at(2)->getTargetPath(), folder.file("new/queued.zip"));
}

// Rows dropped between others move there in the queue, and stay selected.
TEST_F(Grid, DraggedRowsMoveWhereTheyAreDropped) {
    QAbstractItemModel& model = *grid()->model();
    click(0);
    click(1, Qt::ControlModifier);
    std::unique_ptr<QMimeData> dragged(model.mimeData(grid()->selectionModel()->selectedIndexes()));
    EXPECT_FALSE(model.dropMimeData(dragged.get(), Qt::MoveAction, 4, 0, {}))
        << "the view must not remove what it dragged";
    EXPECT_EQ(linkAt(panel, 0), QStringLiteral("http://h/files/1/queued"));
    EXPECT_EQ(linkAt(panel, 3), QStringLiteral("http://h/files/1/failed"));
    EXPECT_EQ(selectedRows(), (std::vector<int>{2, 3}));
}

// The rows keep naming what was dragged when a download above them leaves
// during the drag: those move, no other.
TEST_F(Grid, RowsThatChangeDuringADragMoveOnlyWhatWasDragged) {
    QAbstractItemModel& model = *grid()->model();
    click(2);
    click(3, Qt::ControlModifier);
    std::unique_ptr<QMimeData> dragged(model.mimeData(grid()->selectionModel()->selectedIndexes()));
    set.clearComplete(); // "done", at the top, leaves
    panel.onTimer();
    ASSERT_EQ(linkAt(panel, 0), QStringLiteral("http://h/files/1/failed"));
    model.dropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {});
    panel.onTimer();
    EXPECT_EQ(linkAt(panel, 0), QStringLiteral("http://h/files/1/queued"));
    EXPECT_EQ(linkAt(panel, 1), QStringLiteral("http://h/files/1/missing"));
    EXPECT_EQ(linkAt(panel, 2), QStringLiteral("http://h/files/1/failed"));
}

// A download that waits for its next try shows in the idle slot's box, and
// its row tells the time left.
TEST_F(Grid, TheNextTryOfAFailedDownloadIsShownWithItsTimeLeft) {
    testing_helpers::FakeClock clock;
    ScriptedDownload* failed = static_cast<ScriptedDownload*>(set.at(1));
    failed->retryAfter(75);
    failed->setState(State::Error);
    set.pickNext(0, "no such kind");
    panel.onTimer();
    const QAbstractItemModel& model = *grid()->model();
    EXPECT_TRUE(model.data(model.index(1, 0), Qt::AccessibleDescriptionRole)
                    .toString()
                    .contains(QString::fromUtf8("\nОсталось ждать: 0:01:15")));
    EXPECT_EQ(testing_helpers::shownValue(*boxesOf(panel)[0], QStringLiteral("time")),
              QStringLiteral("0:01:15"));
    EXPECT_TRUE(panel.isRefreshDue()) << "the time left is shown second by second";
}

// A row names its file as it arrived, its size once known (the file's on
// the disk once it arrived), and why a download failed.
TEST_F(Grid, RowsNameTheirFilesTheirSizesAndWhyTheyFailed) {
    testing_helpers::TempDir folder;
    testing_helpers::writeFile(folder.file("arrived (1).zip"), std::string(1536, 'x'));
    add("arrived", folder.file("arrived (1).zip"), State::Complete);
    panel.onTimer();
    const auto row = [&](int at) {
        return QStringList{cell(panel, at, 0), cell(panel, at, 1), cell(panel, at, stateColumn)};
    };
    EXPECT_EQ(row(1), (QStringList{QStringLiteral("failed.zip"), QString::fromUtf8("—"),
                                   QString::fromUtf8("Ошибка: нет места на диске")}));
    EXPECT_EQ(row(4), (QStringList{QStringLiteral("arrived (1).zip"), QString::fromUtf8("1,5 кБ"),
                                   QString::fromUtf8("Готово")}));
    EXPECT_EQ(cell(panel, 0, 1), QString::fromUtf8("—")) << "no file at its path";
}

TEST_F(Grid, ARowsTooltipAndDescriptionNameLinkTargetAndReasonAndItsRowLeavesWithIt) {
    const QAbstractItemModel& model = *grid()->model();
    const QString expected = QString::fromUtf8("Ссылка: http://h/files/1/failed\n"
                                               "Файл: /tmp/b/failed.zip\n"
                                               "Последняя ошибка: нет места на диске");
    for (int column : {0, 1, 2}) {
        EXPECT_EQ(model.data(model.index(1, column), Qt::AccessibleDescriptionRole).toString(),
                  expected);
        QTextDocument tooltip;
        tooltip.setHtml(model.data(model.index(1, column), Qt::ToolTipRole).toString());
        EXPECT_EQ(tooltip.toPlainText(), expected);
    }
    // Rows read their downloads, so a removed one's row goes before a
    // paint could ask for it, not at the next tick.
    set.remove({set.at(1)});
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), QStringLiteral("queued.zip"));
}
