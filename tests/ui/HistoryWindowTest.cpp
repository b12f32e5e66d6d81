#include "ui/HistoryWindow.h"

#include "platform/HistoryDatabase.h"
#include "queue/ArrivalHistory.h"
#include "support/Cp1251.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/QtPrinters.h"
#include "tests/common/TestHelpers.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <gtest/gtest.h>

using testing_helpers::MessageBoxCloser;
using testing_helpers::QuestionAnswerer;
using testing_helpers::TempDir;
using tolvenka::HistoryWindow;

namespace {

// The window over a history of three arrivals, the newest first: one whose
// file is there, one moved away, and one of another link's name.
class HistoryWindowTest : public ::testing::Test {
protected:
    HistoryWindowTest() {
        testing_helpers::writeFile(folder.file("report.pdf"), "the file");
        add("http://h/files/1/report.pdf", folder.file("report.pdf"), 100);
        add("http://h/files/2/gone.zip", "/moved/away/gone.zip", 200);
        add("http://h/files/3/%D0%9E.rar", folder.file("notes.rar"), 300);
        window.openOnDesktop = [this](const QUrl& url) {
            opened << url.toLocalFile();
        };
        window.showHistory();
        // Its keys work in the active window only.
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        table()->setFocus();
    }

    void add(const std::string& link, const std::string& path, std::int64_t at) {
        platform::HistoryRecord record;
        record.identity = link;
        record.link = link;
        record.path = path;
        record.fileName = path.substr(path.rfind('/') + 1);
        record.size = 2048;
        record.arrivedAt = at;
        ASSERT_TRUE(history.database().add(record));
    }

    QTableView* table() const { return window.findChild<QTableView*>(QStringLiteral("records")); }
    QStringList names() const {
        QStringList shown;
        for (int row = 0; row < table()->model()->rowCount(); ++row) {
            shown << table()->model()->index(row, 0).data().toString();
        }
        return shown;
    }
    void press(const char* button) {
        window.findChild<QPushButton*>(QString::fromUtf8(button))->click();
    }

    TempDir folder;
    TempDir data;
    tolvenka::ArrivalHistory history{data.file("history.sqlite")};
    HistoryWindow window{history};
    QStringList opened;
};

} // namespace

TEST_F(HistoryWindowTest, ListsTheRecordsNewestFirstAndFindsThemByNameOrLink) {
    EXPECT_EQ(names(), (QStringList{QStringLiteral("notes.rar"), QStringLiteral("gone.zip"),
                                    QStringLiteral("report.pdf")}));
    const QAbstractItemModel& model = *table()->model();
    EXPECT_EQ(model.index(1, 1).data().toString(), QString::fromUtf8("2,0 кБ"));
    EXPECT_EQ(model.index(1, 3).data().toString(), QStringLiteral("/moved/away"));
    EXPECT_TRUE(model.index(0, 0)
                    .data(Qt::AccessibleDescriptionRole)
                    .toString()
                    .startsWith(QString::fromUtf8("Ссылка: http://h/files/3/О.rar\nФайл: ")));
    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("filter"));
    QTest::keyClicks(filter, QStringLiteral("GONE"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("gone.zip")});
    filter->setText(QStringLiteral("files/1/"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("report.pdf")});
    filter->clear();
    EXPECT_EQ(names().size(), 3);
}

// Enter opens the files chosen; one moved away is told, not opened.
TEST_F(HistoryWindowTest, OpensTheFilesAndFoldersChosen) {
    table()->selectRow(2);
    QTest::keyClick(table(), Qt::Key_Return);
    EXPECT_EQ(opened, QStringList{QString::fromStdString(folder.file("report.pdf"))});
    press("openFolder");
    EXPECT_EQ(opened.back(), QString::fromStdString(folder.path()));
    MessageBoxCloser messages;
    table()->selectRow(1);
    press("openFile");
    EXPECT_EQ(messages.texts,
              std::vector<std::string>{
                  "Файла /moved/away/gone.zip больше нет: он перемещён или удалён."});
    EXPECT_EQ(opened.size(), 2);
}

// Delete takes the records out, never the files; clearing asks first.
TEST_F(HistoryWindowTest, RecordsLeaveTheHistoryAndTheFilesStay) {
    table()->selectRow(2);
    QTest::keyClick(table(), Qt::Key_Delete);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("notes.rar"), QStringLiteral("gone.zip")}));
    EXPECT_EQ(history.database().records().size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(folder.file("report.pdf")));

    {
        QuestionAnswerer refuse;
        press("clear");
        ASSERT_EQ(refuse.asked.size(), 1u);
        EXPECT_EQ(refuse.asked[0].text, QString::fromUtf8("Очистить историю загрузок? "
                                                          "Загруженные файлы останутся на месте."));
        EXPECT_EQ(refuse.asked[0].defaultButton, QString::fromUtf8("Отмена"));
    }
    EXPECT_EQ(names().size(), 2);
    QuestionAnswerer agree(QString::fromUtf8("Очистить"));
    press("clear");
    EXPECT_TRUE(names().isEmpty());
    EXPECT_TRUE(history.database().records().empty());
    EXPECT_FALSE(window.findChild<QPushButton*>(QStringLiteral("remove"))->isEnabled());
}

TEST_F(HistoryWindowTest, TabGoesFromTheFilterToTheTableAndAlongTheButtons) {
    table()->selectRow(0);
    window.findChild<QLineEdit*>(QStringLiteral("filter"))->setFocus();
    for (const char* next : {"records", "openFile", "openFolder", "remove", "clear", "close"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromUtf8(next));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(window.isVisible());
}
