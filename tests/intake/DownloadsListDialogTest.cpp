#include "engine/Download.h"
#include "intake/TDownloadsListDialog.h"
#include "intake/TwaitDialog.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/TestHelpers.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

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
        tolvenka::setUpServiceHost();
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
    QList<QCheckBox*> boxes() const { return dialog.findChildren<QCheckBox*>(); }
    QString shownPath() const { return dialog.findChild<QLabel*>(QStringLiteral("path"))->text(); }
    std::vector<const tolvenka::Download*> queued() const {
        return {downloadsSet.begin(), downloadsSet.end()};
    }

    tolvenka::DownloadMaker maker;
    testing_helpers::TempDir folder;
    tolvenka::DownloadsSet downloadsSet{1, 40};
    std::string targetFolder = folder.path();
    tolvenka::TwaitDialog waitDialog;
    tolvenka::TDownloadsListDialog dialog{downloadsSet, targetFolder, waitDialog};
    std::optional<QString> browserAnswer;
    QStringList browserPrompts;
    QStringList browserStarts;
};

TEST_F(DownloadsListDialogTest, EachLinkGetsACheckedBoxInItsOwnRow) {
    dialog.setLinks(threeLinks);

    const QList<QCheckBox*> rows = boxes();
    ASSERT_EQ(rows.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(rows[i]->isChecked());
        EXPECT_EQ(rows[i]->geometry().topLeft(), QPoint(0, 20 * i));
        EXPECT_EQ(rows[i]->width(), 587);
    }
    EXPECT_EQ(rows[0]->text(), QStringLiteral("http://rapidshare.com/files/1/one.zip"));
    // Doubled, so that the ampersand shows instead of marking a shortcut.
    EXPECT_EQ(rows[2]->text(), QStringLiteral("http://rapidshare.com/files/3/three&&more.zip"));
}

TEST_F(DownloadsListDialogTest, DownloadQueuesTheCheckedLinksInOrderIntoTheFolderShown) {
    dialog.setLinks(threeLinks);
    QString pathWhileShown;
    useDialog([&] {
        pathWhileShown = shownPath();
        QTest::mouseClick(boxes()[1], Qt::LeftButton, {}, QPoint(6, 10));
        click(QStringLiteral("download"));
    });

    EXPECT_EQ(pathWhileShown, QString::fromStdString(folder.path()));
    const auto downloads = queued();
    ASSERT_EQ(downloads.size(), 2u);
    EXPECT_EQ(downloads[0]->getLink(), threeLinks[0]);
    EXPECT_EQ(downloads[0]->getTargetPath(), folder.file("one.zip"));
    // The link as given, though its caption doubles the ampersand.
    EXPECT_EQ(downloads[1]->getLink(), threeLinks[2]);
    EXPECT_TRUE(boxes().isEmpty());
}

TEST_F(DownloadsListDialogTest, CancelAndTheCloseBoxQueueNothingAndRemoveTheBoxes) {
    dialog.setLinks(threeLinks);
    useDialog([&] { click(QStringLiteral("cancel")); });
    EXPECT_TRUE(boxes().isEmpty());

    dialog.setLinks(threeLinks);
    useDialog([&] {
        // Esc means nothing here.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        ASSERT_TRUE(dialog.isVisible());
        dialog.close();
    });
    EXPECT_TRUE(boxes().isEmpty());
    EXPECT_EQ(downloadsSet.count(), 0);

    dialog.setLinks({threeLinks[2]});
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_EQ(boxes()[0]->y(), 0);
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
