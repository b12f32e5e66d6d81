// The confirmation dialog with N links: the time from setLinks to the dialog
// shown and painted, the process's peak memory (VmHWM) then, and the time of
// each way of choosing many links at once, painted: Ctrl+A, "Снять все", and
// a Shift+click from the first row to the last. Each count runs in a process
// of its own, so each peak is its own.
//
//   bench_links_dialog [repeats=5] [count...=1000 10000 100000]
//
// Prints one line per count: the median and the largest time to shown, the
// largest peak, and the median of each choice over the repeats, each repeat
// in a fresh process.
#include "bench/BenchSupport.h"
#include "bench/ForEachQueueSize.h"
#include "intake/TDownloadsListDialog.h"
#include "intake/TwaitDialog.h"
#include "queue/ArrivalHistory.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"

#include <QApplication>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

long peakKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// Milliseconds from `start` to now, once `dialog` has painted what changed.
double msSince(std::chrono::steady_clock::time_point start, QWidget& dialog) {
    QApplication::processEvents();
    dialog.repaint();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

template <typename Action>
double timed(QWidget& dialog, Action action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return msSince(start, dialog);
}

// What one run measures, in milliseconds but for the peak.
struct Figures {
    double shown = 0;
    long peakKib = 0;
    double checkAll = 0;
    double uncheckAll = 0;
    double shiftClick = 0;
};

// The choices of many links at once, in the dialog shown with them; false
// when the dialog never became the active window, where Ctrl+A works.
bool timeChoices(tolvenka::TDownloadsListDialog& dialog, Figures& figures) {
    auto* list = dialog.findChild<QListView*>(QStringLiteral("checkBoxesPad"));
    if (!QTest::qWaitForWindowActive(&dialog)) {
        return false;
    }
    figures.uncheckAll = timed(
        dialog, [&] { dialog.findChild<QPushButton*>(QStringLiteral("uncheckAll"))->click(); });
    figures.checkAll =
        timed(dialog, [&] { QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier); });
    const auto rowPoint = [&](int row) {
        return list->visualRect(list->model()->index(row, 0)).center();
    };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowPoint(0));
    list->scrollToBottom();
    QApplication::processEvents();
    const int last = list->model()->rowCount() - 1;
    figures.shiftClick = timed(dialog, [&] {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowPoint(last));
    });
    return true;
}

// One run in this process: writes its figures to `out`.
int runOnce(int argc, char** argv, int count, int out) {
    QApplication app(argc, argv);
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    tolvenka::DownloadsSet set(1, 40);
    std::string folder = "/tmp/";
    tolvenka::TwaitDialog waitDialog;
    // An empty history, as at the first start, opened as the program opens
    // it while it starts.
    const std::filesystem::path data = bench::scratchFolder("tolvenka-links-dialog-bench");
    std::filesystem::remove(data / "history.sqlite");
    tolvenka::ArrivalHistory history(data / "history.sqlite");
    history.database().opening();
    tolvenka::TDownloadsListDialog dialog(set, folder, waitDialog, history);
    std::vector<std::string> links;
    links.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        links.push_back("http://" + tolvenka::serviceHost() + "/files/" +
                        std::to_string(100'000'000 + i) + "/archive-part" + std::to_string(i) +
                        ".rar");
    }
    Figures figures;
    figures.shown = timed(dialog, [&] {
        dialog.setLinks(links);
        dialog.show();
    });
    figures.peakKib = peakKib();
    if (!timeChoices(dialog, figures)) {
        return 1;
    }
    const std::string line = std::to_string(figures.shown) + " " + std::to_string(figures.peakKib) +
                             " " + std::to_string(figures.checkAll) + " " +
                             std::to_string(figures.uncheckAll) + " " +
                             std::to_string(figures.shiftClick) + "\n";
    const bool written =
        ::write(out, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    dialog.reject();
    std::filesystem::remove_all(data);
    return written ? 0 : 1;
}

// One run in a child process; false when it failed.
bool runInChild(int argc, char** argv, int count, Figures& figures) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return false;
    }
    const bool ran = runInChildProcess([&] {
        ::close(pipeFds[0]);
        return runOnce(argc, argv, count, pipeFds[1]);
    });
    ::close(pipeFds[1]);
    char buffer[256] = {};
    const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer - 1);
    ::close(pipeFds[0]);
    return ran && got > 0 &&
           std::sscanf(buffer, "%lf %ld %lf %lf %lf", &figures.shown, &figures.peakKib,
                       &figures.checkAll, &figures.uncheckAll, &figures.shiftClick) == 5;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) / 2];
}

} // namespace

int main(int argc, char** argv) {
    useOffscreenPlatformUnlessChosen();
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    int status = 0;
    for (const int count : sizesFromCommandLine(argc, argv, {1000, 10'000, 100'000})) {
        std::vector<double> shown, checkAll, uncheckAll, shiftClick;
        long peak = 0;
        for (int repeat = 0; repeat < repeats; ++repeat) {
            Figures figures;
            if (!runInChild(argc, argv, count, figures)) {
                status = 1;
                continue;
            }
            shown.push_back(figures.shown);
            peak = std::max(peak, figures.peakKib);
            checkAll.push_back(figures.checkAll);
            uncheckAll.push_back(figures.uncheckAll);
            shiftClick.push_back(figures.shiftClick);
        }
        if (shown.empty()) {
            continue;
        }
        std::printf("%7d links: shown in median %8.1f ms (max %8.1f ms), peak %7.1f MiB; "
                    "median Ctrl+A %6.1f ms, \"Снять все\" %6.1f ms, Shift+click over all "
                    "%6.1f ms\n",
                    count, median(shown), *std::max_element(shown.begin(), shown.end()),
                    static_cast<double>(peak) / 1024, median(checkAll), median(uncheckAll),
                    median(shiftClick));
    }
    return status;
}
