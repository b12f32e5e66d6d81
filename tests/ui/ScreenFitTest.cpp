// The main window and its dialogs on the one screen this process was given:
// CMakeLists.txt runs it once for each screen size and scale.
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/TestHelpers.h"
#include "ui/Main.h"
#include "ui/Twindow.h"

#include <QApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <gtest/gtest.h>

namespace {

QRect globalRect(const QWidget& widget) {
    return {widget.mapToGlobal(QPoint(0, 0)), widget.size()};
}

TEST(OnThisScreen, TheWindowItsGridsScrollBarsAndTheDialogsAreWhollyOnScreen) {
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    tolvenka::Main state;
    testing_helpers::TempDir folder;
    tolvenka::Twindow window(state, folder.file("downloads.txt"));
    window.show();
    const QRect screen = window.screen()->availableGeometry();
    ASSERT_TRUE(testing_helpers::pumpUntil([&] { return window.isActiveWindow(); }));

    const QRect designed(240, 147, 930, 767);
    if (screen.contains(QRect(0, 0, 1280, 1024))) {
        EXPECT_EQ(window.geometry(), designed);
    }
    EXPECT_TRUE(screen.contains(window.frameGeometry()));
    const auto* grid = window.findChild<QTableView*>(QStringLiteral("grid"));
    for (const QScrollBar* bar : {grid->horizontalScrollBar(), grid->verticalScrollBar()}) {
        EXPECT_TRUE(bar->isVisible());
        EXPECT_TRUE(screen.contains(globalRect(*bar)));
        EXPECT_GE(bar->height(), bar->minimumSizeHint().height());
    }

    auto& links = state.DownloadsListDialog;
    links.setLinks({"http://" + tolvenka::serviceHost() + "/files/1/f.zip"});
    EXPECT_TRUE(testing_helpers::useModally(
        links, [&] { EXPECT_TRUE(screen.contains(links.frameGeometry())); }));
    state.waitDialog.show();
    EXPECT_TRUE(screen.contains(state.waitDialog.frameGeometry()));
    state.waitDialog.hide();
}

TEST(OnThisScreen, InFourteenPointTextTheGridShowsSixRowsAndTheInputBoxGivesWayFirst) {
    const QFont usual = QApplication::font();
    QFont large = usual;
    large.setPointSize(14);
    QApplication::setFont(large);
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    tolvenka::Main state;
    testing_helpers::TempDir folder;
    tolvenka::Twindow window(state, folder.file("downloads.txt"));
    window.show();
    ASSERT_TRUE(testing_helpers::pumpUntil([&] { return window.isActiveWindow(); }));

    const auto* grid = window.findChild<QTableView*>(QStringLiteral("grid"));
    const auto* input = window.findChild<QPlainTextEdit*>(QStringLiteral("input"));
    const int rowsShown = grid->viewport()->height() / grid->verticalHeader()->defaultSectionSize();
    if (window.screen()->availableGeometry().height() >= 768) {
        EXPECT_GE(rowsShown, 6);
    }
    EXPECT_GE(input->height(), input->fontMetrics().height() * 2) << "two lines stay in view";
    QApplication::setFont(usual);
}

} // namespace
