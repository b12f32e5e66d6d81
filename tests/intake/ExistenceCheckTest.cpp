#include "engine/Download.h"
#include "intake/TDownloadsListDialog.h"
#include "intake/TwaitDialog.h"
#include "queue/ArrivalHistory.h"
#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/LoopbackServer.h"
#include "tests/common/TestHelpers.h"
#include "tests/intake/IntakeFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <chrono>

namespace {

using testing_helpers::MessageBoxCloser;
using testing_helpers::WhenReady;
using Links = std::vector<std::string>;

const std::string missingMessage = "Некоторые файлы были удалены с сервера.";

std::string progress(int number, int total) {
    return "Проверка ссылки " + std::to_string(number) + " из " + std::to_string(total) + "...";
}

// The confirmation dialog over the simulated service, used as the user
// would: boxes unchecked by clicks, the check started with its button.
class ExistenceCheckTest : public testing_helpers::IntakeFixture {
protected:
    ExistenceCheckTest() {
        waitDialog.onInfoChange = [this](const std::string& text) {
            progressTexts.push_back(kestrune::text::toUtf8(text));
        };
        messages.onShown = [this] {
            progressTextsAtMessage = progressTexts.size();
        };
    }

    // Shows the dialog with the links, runs `whileShown` in it, and closes it
    // with "Отмена" unless `whileShown` closed it.
    void useDialog(const Links& links, const std::function<void()>& whileShown) {
        dialog.setLinks(links);
        ASSERT_TRUE(testing_helpers::useModally(dialog, whileShown));
    }

    void click(const QString& buttonName) { testing_helpers::clickButton(dialog, buttonName); }
    testing_helpers::LinkRows rows() const { return testing_helpers::LinkRows(dialog); }
    QPushButton* waitCancel() const {
        return waitDialog.findChild<QPushButton*>(QStringLiteral("cancel"));
    }

    tolvenka::DownloadsSet downloadsSet{1, 40};
    std::string targetFolder = "/tmp/";
    tolvenka::TwaitDialog waitDialog;
    testing_helpers::TempDir data;
    tolvenka::ArrivalHistory history{data.file("history.sqlite")};
    tolvenka::TDownloadsListDialog dialog{downloadsSet, targetFolder, waitDialog, history};
    MessageBoxCloser messages;
    std::vector<std::string> progressTexts;
    std::size_t progressTextsAtMessage = 0;
};

TEST_F(ExistenceCheckTest, UncheckedBoxIsCountedButNotChecked) {
    const Links links = {fileLink("1"), fileLink("2"), fileLink("3"), fileLink("4")};
    bool secondChecked = true;
    useDialog(links, [&] {
        rows().click(1);
        click(QStringLiteral("checkFiles"));
        secondChecked = rows().isChecked(1);
    });

    EXPECT_FALSE(secondChecked);
    EXPECT_EQ(progressTexts, (std::vector<std::string>{progress(1, 4), progress(2, 4),
                                                       progress(3, 4), progress(4, 4)}));
    EXPECT_EQ(sim.attempts("1"), 1);
    EXPECT_EQ(sim.attempts("2"), 0);
    EXPECT_EQ(sim.attempts("3"), 1);
    EXPECT_EQ(sim.attempts("4"), 1);
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_FALSE(waitDialog.isVisible());
}

TEST_F(ExistenceCheckTest, MissingFileTurnsRedAndUncheckedAndDownloadSkipsIt) {
    const Links links = {fileLink("1"), fileLink("2", true), fileLink("3")};
    std::vector<bool> checked;
    std::vector<bool> red;
    useDialog(links, [&] {
        click(QStringLiteral("checkFiles"));
        for (int row = 0; row < rows().count(); ++row) {
            checked.push_back(rows().isChecked(row));
            red.push_back(rows().isRed(row));
        }
        click(QStringLiteral("download"));
    });

    EXPECT_EQ(checked, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(red, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(messages.texts, (std::vector<std::string>{missingMessage}));
    EXPECT_EQ(progressTextsAtMessage, 3u);
    ASSERT_EQ(downloadsSet.count(), 2);
    EXPECT_EQ((*downloadsSet.begin())->getLink(), links[0]);
    EXPECT_EQ((*std::next(downloadsSet.begin()))->getLink(), links[2]);
}

TEST_F(ExistenceCheckTest, CancelAfterAMissingFileShowsNoMessageAndKeepsTheMark) {
    const Links links = {fileLink("1", true), fileLink("2"), fileLink("3")};
    waitDialog.onInfoChange = [this](const std::string& text) {
        progressTexts.push_back(kestrune::text::toUtf8(text));
        if (progressTexts.size() == 2) {
            QTest::mouseClick(waitCancel(), Qt::LeftButton);
        }
    };
    bool firstChecked = true;
    bool firstRed = false;
    useDialog(links, [&] {
        click(QStringLiteral("checkFiles"));
        firstChecked = rows().isChecked(0);
        firstRed = rows().isRed(0);
    });

    EXPECT_FALSE(firstChecked);
    EXPECT_TRUE(firstRed);
    EXPECT_TRUE(messages.texts.empty());
    // The box being checked when the user cancelled is finished, the next
    // one is not begun.
    EXPECT_EQ(progressTexts.size(), 2u);
    EXPECT_EQ(sim.attempts("3"), 0);
}

TEST_F(ExistenceCheckTest, ClosingTheDialogDuringACheckWaitsForTheCheckToEnd) {
    const Links links = {fileLink("1", true), fileLink("2"), fileLink("3")};
    waitDialog.onInfoChange = [this](const std::string& text) {
        progressTexts.push_back(kestrune::text::toUtf8(text));
        if (progressTexts.size() == 2) {
            dialog.reject(); // as a close request of the program does
        }
    };
    useDialog(links, [&] { click(QStringLiteral("checkFiles")); });

    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(rows().count(), 0);
    EXPECT_EQ(sim.attempts("3"), 0);
    EXPECT_EQ(downloadsSet.count(), 0);
}

TEST_F(ExistenceCheckTest, CancelCutsACheckWhoseLinkPageNeverAnswers) {
    testing_helpers::LoopbackServer silent(testing_helpers::LoopbackServer::Mode::Silent);
    maker.reset();
    tolvenka::setServiceHost("127.0.0.1:" + std::to_string(silent.port()));
    maker = std::make_unique<tolvenka::DownloadMaker>();
    WhenReady user([&] { return silent.acceptedConnections() > 0; },
                   [&] { QTest::mouseClick(waitCancel(), Qt::LeftButton); });
    const auto start = std::chrono::steady_clock::now();
    useDialog({silent.url("/files/1/a.zip")}, [&] { click(QStringLiteral("checkFiles")); });

    EXPECT_TRUE(user.fired());
    EXPECT_FALSE(waitDialog.isVisible());
    // Far from the two minutes after which the client gives up by itself.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(ExistenceCheckTest, ALinkThatCouldNotBeCheckedStaysCheckedAndIsToldAfterTheMissingOnes) {
    servicesim::FileSpec failing;
    failing.id = "2";
    failing.script = {servicesim::Step::serverError()};
    const Links links = {fileLink("1", true), sim.addFile(failing), fileLink("3")};
    bool failedStaysChecked = false;
    useDialog(links, [&] {
        click(QStringLiteral("checkFiles"));
        failedStaysChecked = rows().isChecked(1);
    });

    EXPECT_EQ(messages.texts, (std::vector<std::string>{
                                  missingMessage +
                                  "\nНе удалось проверить ссылок: 1 (сервер вернул ошибку 500)."}));
    EXPECT_TRUE(failedStaysChecked);
    EXPECT_EQ(sim.attempts("3"), 1);
}

TEST_F(ExistenceCheckTest, EmptyListClosesAtOnceAndLeavesTheTextAlone) {
    useDialog({}, [&] { click(QStringLiteral("checkFiles")); });

    EXPECT_TRUE(progressTexts.empty());
    EXPECT_EQ(waitDialog.findChild<QLabel*>(QStringLiteral("info"))->text(),
              QStringLiteral("Идёт загрузка..."));
    EXPECT_TRUE(messages.texts.empty());
}

} // namespace
