#include "engine/Download.h"
#include "intake/LinkListModel.h"
#include "intake/TDownloadsListDialog.h"
#include "intake/TwaitDialog.h"
#include "platform/FileOutput.h"
#include "platform/HistoryDatabase.h"
#include "queue/ArrivalHistory.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/TestHelpers.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using testing_helpers::MessageBoxCloser;
using testing_helpers::WhenReady;
using Links = std::vector<std::string>;

const Links threeLinks = {"http://rapidshare.com/files/1/one.zip",
                          "http://rapidshare.com/files/2/two.zip",
                          "http://rapidshare.com/files/3/three&more.zip"};

// The confirmation dialog with the default service host, driven offline.
class DownloadsListDialogTest : public ::testing::Test {
protected:
    DownloadsListDialogTest() {
        tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
        dialog.setFolderBrowser([this](QWidget*, const QString& prompt, const QString& start) {
            browserPrompts.push_back(prompt);
            browserStarts.push_back(start);
            return browserAnswer;
        });
    }

    // Shows the dialog, runs `whileShown` in it, and closes it with "Отмена"
    // unless `whileShown` closed it.
    void useDialog(const std::function<void()>& whileShown) {
        ASSERT_TRUE(testing_helpers::useModally(dialog, whileShown));
    }

    void click(const QString& buttonName) { testing_helpers::clickButton(dialog, buttonName); }
    testing_helpers::LinkRows rows() const { return testing_helpers::LinkRows(dialog); }
    QString shownPath() const { return dialog.findChild<QLabel*>(QStringLiteral("path"))->text(); }
    QString checkedCount() const {
        return dialog.findChild<QLabel*>(QStringLiteral("checkedCount"))->text();
    }
    std::vector<const tolvenka::Download*> queued() const {
        std::vector<const tolvenka::Download*> downloads;
        for (const auto& download : downloadsSet) {
            downloads.push_back(download.get());
        }
        return downloads;
    }

    tolvenka::DownloadMaker maker;
    testing_helpers::TempDir folder;
    tolvenka::DownloadsSet downloadsSet{1, 40};
    std::string targetFolder = folder.path();
    tolvenka::TwaitDialog waitDialog;
    testing_helpers::TempDir data;
    tolvenka::ArrivalHistory history{data.file("history.sqlite")};
    tolvenka::TDownloadsListDialog dialog{downloadsSet, targetFolder, waitDialog, history};
    std::optional<QString> browserAnswer;
    QStringList browserPrompts;
    QStringList browserStarts;
};

TEST_F(DownloadsListDialogTest, EachLinkGetsACheckedRowOfItsOwn) {
    dialog.setLinks(threeLinks);
    useDialog([&] {
        ASSERT_EQ(rows().count(), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(rows().isChecked(i));
            EXPECT_FALSE(rows().isRed(i));
            EXPECT_EQ(rows().rect(i).topLeft(), QPoint(0, 20 * i));
            EXPECT_EQ(rows().rect(i).height(), 20);
            EXPECT_GE(rows().rect(i).width(), 587);
        }
        EXPECT_EQ(rows().text(0), QStringLiteral("http://rapidshare.com/files/1/one.zip"));
        // The ampersand shows as such.
        EXPECT_EQ(rows().text(2), QStringLiteral("http://rapidshare.com/files/3/three&more.zip"));
    });
}

TEST_F(DownloadsListDialogTest, DownloadQueuesTheCheckedLinksInOrderIntoTheFolderShown) {
    dialog.setLinks(threeLinks);
    QString pathWhileShown;
    useDialog([&] {
        pathWhileShown = shownPath();
        rows().click(1);
        click(QStringLiteral("download"));
    });

    EXPECT_EQ(pathWhileShown, QString::fromStdString(folder.path()));
    const auto downloads = queued();
    ASSERT_EQ(downloads.size(), 2u);
    EXPECT_EQ(downloads[0]->getLink(), threeLinks[0]);
    EXPECT_EQ(downloads[0]->getTargetPath(), folder.file("one.zip"));
    EXPECT_EQ(downloads[1]->getLink(), threeLinks[2]);
    EXPECT_EQ(rows().count(), 0);

    // Offered again, the two queued links come unticked: "Загрузить" would
    // fetch them twice.
    dialog.setLinks(threeLinks);
    useDialog([&] {
        EXPECT_FALSE(rows().isChecked(0));
        EXPECT_TRUE(rows().isChecked(1));
        EXPECT_FALSE(rows().isChecked(2));
        click(QStringLiteral("download"));
    });
    EXPECT_EQ(queued().size(), 3u);
}

// Adding a link again whose file arrived would only fetch a second copy: the
// queue may hold its download as complete, or the file is where it went,
// with the mark its download left. Ticked by hand, it is fetched beside it.
TEST_F(DownloadsListDialogTest, ALinkWhoseFileArrivedReadsSoAndComesUnticked) {
    std::istringstream completeRecord("rapidshare.com\r\n" + threeLinks[0] + "\r\n" +
                                      folder.file("one.zip") + "\r\nComplete\r\n\r\n");
    downloadsSet.load(completeRecord);
    platform::FileOutput arrived;
    if (!arrived.create(folder.file("two.zip")) ||
        !arrived.mark("user.tolvenka.finished", threeLinks[1]) || !arrived.close()) {
        GTEST_SKIP() << "this file system keeps no marks";
    }
    testing_helpers::TempDir elsewhere;
    const auto arrivedRows = [&] {
        std::vector<bool> shown;
        for (int row = 0; row < 3; ++row) {
            const bool saysSo = rows().text(row).endsWith(QString::fromUtf8(" — уже загружен"));
            EXPECT_EQ(saysSo, !rows().isChecked(row)) << row;
            shown.push_back(saysSo);
        }
        return shown;
    };
    dialog.setLinks(threeLinks);
    useDialog([&] {
        EXPECT_EQ(rows().text(1),
                  QString::fromUtf8("http://rapidshare.com/files/2/two.zip — уже загружен"));
        EXPECT_EQ(arrivedRows(), (std::vector<bool>{true, true, false}));
        EXPECT_EQ(checkedCount(), QStringLiteral("Отмечено: 1 из 3"));
        // A folder without the file: only the queue's word stands.
        browserAnswer = QString::fromStdString(elsewhere.path());
        click(QStringLiteral("selectPath"));
        EXPECT_EQ(arrivedRows(), (std::vector<bool>{true, false, false}));
        browserAnswer = QString::fromStdString(folder.path());
        click(QStringLiteral("selectPath"));
        EXPECT_EQ(arrivedRows(), (std::vector<bool>{true, true, false}));
        rows().click(1);
        click(QStringLiteral("download"));
    });
    ASSERT_EQ(queued().size(), 3u);
    EXPECT_EQ(queued()[1]->getLink(), threeLinks[1]);
    EXPECT_EQ(queued()[1]->getTargetPath(), folder.file("two (1).zip"));
    EXPECT_EQ(queued()[2]->getLink(), threeLinks[2]);
}

// The history knows a file that was moved away or deleted since, by another
// spelling of its link too; ticking all passes it over, ticking it by hand
// fetches it again.
TEST_F(DownloadsListDialogTest, AFileTheHistoryHoldsReadsSoWithItsDateWhereverItIsNow) {
    platform::HistoryRecord record;
    record.identity = maker.identityOf("HTTPS://RapidShare.com:443/files/2/tw%6F.zip");
    record.link = threeLinks[1];
    record.fileName = "two.zip";
    record.path = "/moved/away/two.zip";
    record.size = 1;
    record.arrivedAt = 1'741'770'000; // 12 March 2025, noon
    ASSERT_TRUE(history.database().add(record));
    const auto line = [&] {
        return dialog.findChild<QLabel*>(QStringLiteral("arrivedLinks"));
    };
    dialog.setLinks(threeLinks);
    useDialog([&] {
        EXPECT_EQ(rows().text(1), QString::fromUtf8("http://rapidshare.com/files/2/two.zip — "
                                                    "уже загружен 12.03.2025"));
        EXPECT_FALSE(rows().isChecked(1));
        EXPECT_TRUE(line()->isVisible());
        EXPECT_EQ(line()->text(), QString::fromUtf8("Уже загружены, не отмечены: 1."));
        EXPECT_LT(line()->geometry().bottom(), rows().view->geometry().top());
        click(QStringLiteral("uncheckAll"));
        QTest::keyClick(rows().view, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(checkedCount(), QStringLiteral("Отмечено: 2 из 3"));
        click(QStringLiteral("uncheckAll"));
        click(QStringLiteral("checkAll"));
        EXPECT_FALSE(rows().isChecked(1));
        rows().click(1);
        EXPECT_FALSE(line()->isVisible()) << "none is left unticked";
        click(QStringLiteral("download"));
    });
    ASSERT_EQ(queued().size(), 3u);
    EXPECT_EQ(queued()[1]->getTargetPath(), folder.file("two.zip"));
}

// Told before the user chooses, above the list, and only when there were any.
TEST_F(DownloadsListDialogTest, LinksPassedOverForWantOfANameAreCountedAboveTheList) {
    const auto line = [&] {
        return dialog.findChild<QLabel*>(QStringLiteral("skippedLinks"));
    };
    dialog.setLinks(threeLinks, 2);
    useDialog([&] {
        EXPECT_TRUE(line()->isVisible());
        EXPECT_EQ(line()->text(), QString::fromUtf8("Пропущены ссылки без имени файла: 2."));
        EXPECT_LT(line()->geometry().bottom(), rows().view->geometry().top());
    });
    dialog.setLinks(threeLinks);
    useDialog([&] { EXPECT_FALSE(line()->isVisible()); });
}

TEST_F(DownloadsListDialogTest, CancelAndTheCloseBoxQueueNothingAndRemoveTheRows) {
    dialog.setLinks(threeLinks);
    useDialog([&] { click(QStringLiteral("cancel")); });
    EXPECT_EQ(rows().count(), 0);

    dialog.setLinks(threeLinks);
    useDialog([&] {
        // Esc means nothing here.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        ASSERT_TRUE(dialog.isVisible());
        dialog.close();
    });
    EXPECT_EQ(rows().count(), 0);
    EXPECT_EQ(downloadsSet.count(), 0);
}

TEST_F(DownloadsListDialogTest,
       TheKeyboardStartsOnTheFirstLinkAndEnterPressesOnlyTheFocusedButton) {
    for (int opening = 0; opening < 2; ++opening) {
        dialog.setLinks(threeLinks);
        useDialog([&] {
            QWidget* list = rows().view;
            EXPECT_EQ(QApplication::focusWidget(), list) << opening;
            EXPECT_EQ(rows().view->currentIndex().row(), 0);
            QTest::keyClick(list, Qt::Key_Space);
            EXPECT_FALSE(rows().isChecked(0));
            QTest::keyClick(list, Qt::Key_Return);
            EXPECT_TRUE(dialog.isVisible()) << "Enter on the list presses nothing";
            QTest::keyClick(list, Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("checkAll"));
            for (const char* next : {"uncheckAll", "selectPath", "checkFiles"}) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromUtf8(next));
            }
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* downloadButton = QApplication::focusWidget();
            ASSERT_EQ(downloadButton->objectName(), QStringLiteral("download"));
            QTest::keyClick(downloadButton, Qt::Key_Enter, Qt::KeypadModifier);
        });
        EXPECT_FALSE(dialog.isVisible());
    }
    // The first opening queued the second and third link; the second offered
    // them unticked, as they were queued already.
    EXPECT_EQ(downloadsSet.count(), 2);
}

TEST_F(DownloadsListDialogTest, OpensCentredEveryTime) {
    QList<QPoint> places;
    for (int opening = 0; opening < 2; ++opening) {
        dialog.setLinks(threeLinks);
        useDialog([&] { places << dialog.pos(); });
    }
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(places[0], places[1]);
    EXPECT_EQ(QRect(places[0], dialog.size()).center(), screen.center());
}

TEST_F(DownloadsListDialogTest, EveryLinkOfAHugeListIsOfferedCountedAndTickedAllAtOnce) {
    std::vector<std::string> links;
    for (int i = 0; i < 100'000; ++i) {
        links.push_back("http://rapidshare.com/files/" + std::to_string(i) + "/f.zip");
    }
    dialog.setLinks(links);
    useDialog([&] {
        ASSERT_EQ(rows().count(), 100'000);
        EXPECT_EQ(rows().text(99'999), QStringLiteral("http://rapidshare.com/files/99999/f.zip"));
        EXPECT_EQ(checkedCount(), QStringLiteral("Отмечено: 100000 из 100000"));
        rows().click(99'999);
        EXPECT_FALSE(rows().isChecked(99'999));
        EXPECT_EQ(checkedCount(), QStringLiteral("Отмечено: 99999 из 100000"));

        click(QStringLiteral("uncheckAll"));
        EXPECT_FALSE(rows().isChecked(0));
        EXPECT_EQ(checkedCount(), QStringLiteral("Отмечено: 0 из 100000"));
        QTest::keyClick(rows().view, Qt::Key_A, Qt::ControlModifier);
        EXPECT_TRUE(rows().isChecked(99'999));
        EXPECT_EQ(checkedCount(), QStringLiteral("Отмечено: 100000 из 100000"));

        // The list's context menu offers the same two.
        const QList<QAction*> menu = rows().view->actions();
        ASSERT_EQ(menu.size(), 2);
        EXPECT_EQ(rows().view->contextMenuPolicy(), Qt::ActionsContextMenu);
        EXPECT_EQ(menu[0]->text(), QStringLiteral("Отметить все"));
        EXPECT_EQ(menu[1]->text(), QStringLiteral("Снять все"));
        menu[1]->trigger();
        EXPECT_EQ(checkedCount(), QStringLiteral("Отмечено: 0 из 100000"));
    });
}

TEST_F(DownloadsListDialogTest, ShiftClickGivesTheRowsFromTheLastClickedTheClickedRowsState) {
    dialog.setLinks(Links(10, threeLinks[0]));
    std::vector<bool> checked;
    useDialog([&] {
        rows().click(2);
        rows().click(6, Qt::ShiftModifier);
        rows().click(4, Qt::ShiftModifier);
        for (int row = 0; row < 10; ++row) {
            checked.push_back(rows().isChecked(row));
        }
        EXPECT_EQ(checkedCount(), QStringLiteral("Отмечено: 8 из 10"));
    });
    // 2 unchecked, then 2 to 6 as 6 (unchecked), then 6 to 4 as 4 (checked).
    EXPECT_EQ(checked,
              (std::vector<bool>{true, true, false, false, true, true, true, true, true, true}));
}

TEST(LinkListModel, CountsTheCheckedRowsThroughEveryChange) {
    tolvenka::LinkListModel model;
    model.append(threeLinks);
    model.append({"a", "b"}, false);
    EXPECT_EQ(model.checkedCount(), 3);
    EXPECT_FALSE(model.isChecked(4));
    model.markMissing(0);
    model.markMissing(3);
    EXPECT_EQ(model.checkedCount(), 2);
    model.setChecked(1, 4, true);
    EXPECT_EQ(model.checkedCount(), 4);
    model.setData(model.index(4), Qt::Unchecked, Qt::CheckStateRole);
    model.setData(model.index(4), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(model.checkedCount(), 3);
    model.clear();
    EXPECT_EQ(model.checkedCount(), 0);
}

// A file that is no longer there (another folder was chosen) gives the row
// its tick back, but not to a row that was unticked for another reason;
// ticking all passes over the arrived and the missing, and the arrived left
// unticked are counted.
TEST(LinkListModel, ARowWhoseFileNoLongerArrivedIsTickedOnlyIfNothingElseUntickedIt) {
    using tolvenka::EarlierArrival;
    tolvenka::LinkListModel model;
    model.append(threeLinks, std::vector<bool>{true, false, true});
    model.markMissing(2);
    model.append({"d", "e"});
    const EarlierArrival yes{true, 0};
    const EarlierArrival no{false, 0};
    model.setArrived(0, {yes, yes, yes, yes, no});
    EXPECT_EQ(model.checkedCount(), 1);
    EXPECT_EQ(model.arrivedUncheckedCount(), 4);
    model.checkAllToFetch();
    EXPECT_EQ(model.checkedCount(), 1);
    model.setChecked(0, 0, true);
    EXPECT_EQ(model.arrivedUncheckedCount(), 3);
    model.setArrived(0, {no, no, no, {true, 1'741'770'000}});
    EXPECT_EQ(model.arrivedUncheckedCount(), 1);
    EXPECT_TRUE(model.data(model.index(3))
                    .toString()
                    .startsWith(QString::fromUtf8("d — уже загружен 12.03.2025")));
    EXPECT_TRUE(model.isChecked(0));
    EXPECT_FALSE(model.isChecked(1)) << "queued already";
    EXPECT_FALSE(model.isChecked(2)) << "missing on the service";
    model.checkAllToFetch();
    EXPECT_TRUE(model.isChecked(1));
    EXPECT_FALSE(model.isChecked(2));
    EXPECT_FALSE(model.isChecked(3));
    model.uncheckAll();
    EXPECT_EQ(model.checkedCount(), 0);
    model.clear();
    EXPECT_EQ(model.arrivedUncheckedCount(), 0);
}

TEST_F(DownloadsListDialogTest, ChosenFolderBecomesTheTargetAndOutlivesCancel) {
    testing_helpers::TempDir chosen;
    dialog.setLinks(threeLinks);
    QString pathAfterBrowserCancel;
    QString pathAfterChoice;
    useDialog([&] {
        click(QStringLiteral("selectPath"));
        pathAfterBrowserCancel = shownPath();
        browserAnswer = QString::fromStdString(chosen.path());
        click(QStringLiteral("selectPath"));
        pathAfterChoice = shownPath();
    });

    ASSERT_EQ(browserPrompts.size(), 2);
    EXPECT_EQ(browserPrompts[0], QStringLiteral("Выберите каталог:"));
    EXPECT_EQ(browserStarts[0], QString::fromStdString(folder.path()));
    EXPECT_EQ(pathAfterBrowserCancel, QString::fromStdString(folder.path()));
    EXPECT_EQ(pathAfterChoice, QString::fromStdString(chosen.path()));
    EXPECT_EQ(targetFolder, chosen.path());
}

TEST_F(DownloadsListDialogTest, FolderThatCannotBeStoredIsRefusedWithAMessage) {
    const std::string before = targetFolder;
    MessageBoxCloser messages;
    dialog.setLinks(threeLinks);
    useDialog([&] {
        // A name without a CP1251 form, and one with a line feed.
        browserAnswer = QStringLiteral("/tmp/загрузки/日本");
        click(QStringLiteral("selectPath"));
        browserAnswer = QStringLiteral("/tmp/two\nlines");
        click(QStringLiteral("selectPath"));
        click(QStringLiteral("download"));
    });

    EXPECT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(targetFolder, before);
    ASSERT_EQ(queued().size(), 3u);
    EXPECT_EQ(queued()[0]->getTargetPath(), folder.file("one.zip"));
}

TEST_F(DownloadsListDialogTest, AFolderThatCannotTakeFilesIsRefusedAndNothingIsQueuedOrKept) {
    testing_helpers::writeFile(folder.file("file"), "x");
    const std::string blocked = folder.file("file") + "/sub";
    const std::string refusal =
        "Нельзя сохранять файлы в папку " + blocked + ": не удаётся создать папку " + blocked + ".";
    MessageBoxCloser messages;
    dialog.setLinks(threeLinks);
    useDialog([&] {
        browserAnswer = QString::fromStdString(blocked);
        click(QStringLiteral("selectPath"));
        EXPECT_EQ(shownPath(), QString::fromStdString(folder.path()));
    });
    EXPECT_EQ(targetFolder, folder.path());

    // The folder kept from before cannot take them either now.
    targetFolder = blocked;
    dialog.setLinks(threeLinks);
    useDialog([&] {
        click(QStringLiteral("download"));
        EXPECT_TRUE(dialog.isVisible());
    });
    EXPECT_EQ(messages.texts, (std::vector<std::string>{refusal, refusal}));
    EXPECT_TRUE(queued().empty());
}

TEST_F(DownloadsListDialogTest, CyrillicFolderIsKeptInCp1251) {
    testing_helpers::TempDir parent;
    const std::string utf8Folder = parent.file("Загрузки");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(utf8Folder)));
    browserAnswer = QString::fromStdString(utf8Folder);
    dialog.setLinks({threeLinks[0]});
    useDialog([&] {
        click(QStringLiteral("selectPath"));
        click(QStringLiteral("download"));
    });

    EXPECT_EQ(targetFolder, kestrune::text::fromUtf8(utf8Folder));
    ASSERT_EQ(queued().size(), 1u);
    EXPECT_EQ(queued()[0]->getTargetPath(), kestrune::text::fromUtf8(utf8Folder + "/one.zip"));
}

} // namespace
