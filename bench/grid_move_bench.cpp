// Moving a download to the top of a long queue in the grid, as the user does
// it: the last row selected, Ctrl+Home pressed, until the view has applied
// the move (the queue reordered, the rows and the selection following it, the
// grid repainted). Each move takes the last download to the top, so every
// repeat moves across the whole queue. Prints the median and the 90th
// percentile per queue length, each length in a process of its own.
//
// Needs a platform plugin: QT_QPA_PLATFORM=offscreen is set when no platform
// is chosen.
//
//   bench_grid_move [repeats=50] [count...=100 100000]
#include "bench/ForEachQueueSize.h"
#include "bench/QueueRecords.h"
#include "engine/Download.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "ui/DownloadsSetPanel.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

int benchmark(int argc, char** argv, int count, int repeats) {
    QApplication app(argc, argv);
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    tolvenka::DownloadsSet set(1, 40);
    std::istringstream records(bench::queueRecords(count, [](int) { return "Queue"; }),
                               std::ios::binary);
    set.load(records);
    tolvenka::DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    panel.resize(930, 500);
    panel.show();
    panel.activateWindow();
    if (set.count() != count || !QTest::qWaitForWindowActive(&panel)) {
        std::fprintf(stderr, "%d downloads: the panel did not come up\n", count);
        return 1;
    }
    panel.onTimer();
    auto* grid = panel.findChild<QTableView*>(QStringLiteral("grid"));
    grid->setFocus();
    QApplication::processEvents();

    std::vector<double> samples;
    bool moved = true;
    for (int repeat = 0; repeat <= repeats && moved; ++repeat) {
        const tolvenka::Download* last = set.at(count - 1);
        grid->selectionModel()->setCurrentIndex(grid->model()->index(count - 1, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        QApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        QApplication::processEvents();
        grid->repaint();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        moved = set.at(0) == last && grid->currentIndex().row() == 0;
        if (repeat > 0) { // the first warms the caches up
            samples.push_back(ms);
        }
    }
    panel.setDownloadsSet(nullptr);
    if (!moved) {
        std::fprintf(stderr, "%d downloads: Ctrl+Home did not move the last row to the top\n",
                     count);
        return 1;
    }
    std::sort(samples.begin(), samples.end());
    const std::size_t last = samples.size() - 1;
    std::printf("%6d downloads: move to top median %8.3f ms, p90 %8.3f ms\n", count,
                samples[last / 2], samples[last * 9 / 10]);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    useOffscreenPlatformUnlessChosen();
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    int status = 0;
    for (const int count : sizesFromCommandLine(argc, argv, {100, 100'000})) {
        if (!runInChildProcess([&] { return benchmark(argc, argv, count, repeats); })) {
            status = 1;
        }
    }
    return status;
}
