// The main window and its dialogs on the one screen this process was given:
// CMakeLists.txt runs it once for each screen size and scale. A scale of 1.5
// is what large text (a font DPI of 144) makes of a desktop.
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/TestHelpers.h"
#include "ui/Main.h"
#include "ui/Twindow.h"
#include "widgets/ScreenPlacement.h"

#include <QApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <gtest/gtest.h>

namespace {

class OnThisScreen : public ::testing::Test {
protected:
    OnThisScreen() {
        tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
        maker.emplace();
        state.emplace();
    }

    tolvenka::Twindow& openWindow() {
        window.emplace(*state, folder.file("downloads.txt"));
        window->show();
        EXPECT_TRUE(testing_helpers::pumpUntil([&] { return window->isActiveWindow(); }));
        return *window;
    }

    // Whole rows of the grid in view.
    int rowsShown() const {
        const auto* grid = window->findChild<QTableView*>(QStringLiteral("grid"));
        return grid->viewport()->height() / grid->verticalHeader()->defaultSectionSize();
    }

    // Whole lines of the input box in view.
    int linesShown() const {
        const auto* input = window->findChild<QPlainTextEdit*>(QStringLiteral("input"));
        return input->viewport()->height() / input->fontMetrics().lineSpacing();
    }

    std::optional<tolvenka::DownloadMaker> maker;
    std::optional<tolvenka::Main> state;
    testing_helpers::TempDir folder;
    std::optional<tolvenka::Twindow> window;
};

TEST_F(OnThisScreen, TheWindowAndTheDialogsStartWhollyInTheAvailableArea) {
    auto& shown = openWindow();
    const QRect screen = shown.screen()->availableGeometry();
    const QRect designed(240, 147, 930, 767);
    if (screen.contains(QRect(0, 0, 1280, 1024))) {
        EXPECT_EQ(shown.geometry(), designed);
    }
    // The frame the window system will draw around it too.
    EXPECT_TRUE(screen.contains(shown.geometry().marginsAdded(tolvenka::windowFrame(shown))))
        << shown.geometry().y() << " " << shown.geometry().height();
    // Ten rows of the list from a screen of 1024x600 on (or 1366x768 in
    // large text), the input box empty and at its least; six on narrower
    // ones, where the buttons take two rows.
    EXPECT_GE(rowsShown(), screen.width() >= 900 ? 10 : 6);
    EXPECT_GE(linesShown(), 2);
    EXPECT_LE(linesShown(), 3) << "an empty box takes a few lines";
    // Lines typed in take room from the list, down to its ten rows.
    const int rowsBefore = rowsShown();
    shown.findChild<QPlainTextEdit*>(QStringLiteral("input"))
        ->setPlainText(QStringLiteral("http://example.com/a\n").repeated(6));
    QApplication::processEvents();
    EXPECT_GE(rowsShown(), std::min(rowsBefore, 10));
    if (rowsBefore >= 14) {
        EXPECT_GE(linesShown(), 6);
    }

    auto& links = state->DownloadsListDialog;
    links.setLinks({"http://" + tolvenka::serviceHost() + "/files/1/f.zip"}, 3);
    EXPECT_TRUE(testing_helpers::useModally(
        links, [&] { EXPECT_TRUE(screen.contains(links.frameGeometry())); }));
    state->waitDialog.show();
    EXPECT_TRUE(screen.contains(state->waitDialog.frameGeometry()));
    state->waitDialog.hide();
}

// Placed before the window system has framed it, the window is placed
// again when the window system put it elsewhere, partly off the screen.
TEST_F(OnThisScreen, AWindowShownPartlyOffTheScreenIsPlacedAgainOnceShown) {
    window.emplace(*state, folder.file("downloads.txt"));
    window->show();
    const QRect screen = window->screen()->availableGeometry();
    window->move(window->x(), screen.bottom() - 100);
    ASSERT_TRUE(testing_helpers::pumpUntil([&] { return window->isActiveWindow(); }));
    testing_helpers::pumpFor(20);
    EXPECT_TRUE(screen.contains(window->geometry().marginsAdded(tolvenka::windowFrame(*window))));
    EXPECT_GE(rowsShown(), 6);
    // Once placed, it goes where the user takes it.
    window->move(window->x(), screen.bottom() - 100);
    testing_helpers::pumpFor(20);
    EXPECT_EQ(window->y(), screen.bottom() - 100);
}

TEST_F(OnThisScreen, InFourteenPointTextTheGridShowsSixRowsOnAScreenOf768) {
    const QFont usual = QApplication::font();
    QFont large = usual;
    large.setPointSize(14);
    QApplication::setFont(large);
    state.emplace();
    openWindow();
    if (window->screen()->availableGeometry().height() >= 768) {
        EXPECT_GE(rowsShown(), 6);
    }
    EXPECT_GE(linesShown(), 2) << "two lines stay in view";
    window.reset();
    QApplication::setFont(usual);
}

// The least size is what the controls need in the present font, where the
// screen has room for it: two lines of links, one row of the grid, the
// buttons and options whole.
TEST_F(OnThisScreen, AtItsLeastSizeTheWindowShowsTwoLinesOfLinksAndOneRowAndNoMore) {
    auto& shown = openWindow();
    const QSize room =
        shown.screen()->availableGeometry().marginsRemoved(tolvenka::windowFrame(shown)).size();
    EXPECT_LE(shown.minimumWidth(), room.width());
    EXPECT_LE(shown.minimumHeight(), room.height());
    // A line wider than the box, so that its scroll bar takes its room.
    shown.findChild<QPlainTextEdit*>(QStringLiteral("input"))
        ->setPlainText(QStringLiteral("http://example.com/") + QString(300, u'x'));
    shown.resize(shown.minimumSize());
    testing_helpers::pumpFor(50);
    EXPECT_GE(linesShown(), 2);
    EXPECT_LE(linesShown(), 3) << "an empty box takes a few lines";
    EXPECT_EQ(rowsShown(), 1);
    for (const char* name : {"add", "start", "stop", "deleteWhenComplete"}) {
        const auto* control = shown.findChild<QWidget*>(QString::fromUtf8(name));
        EXPECT_TRUE(control->parentWidget()->rect().contains(control->geometry())) << name;
        EXPECT_GE(control->width(), control->sizeHint().width()) << name;
    }
}

} // namespace
