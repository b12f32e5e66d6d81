// One refresh of the downloads grid with N downloads in the queue: a download
// reports a state change, and the panel's next timer tick rebuilds the grid.
// Three costs, each the median (and 90th percentile) of many repeats:
//
//   model   - DownloadsGridModel::rebuild alone, on a model no view shows;
//   tick    - the panel's onTimer() after the change: the rebuild, one model
//             reset, with the shown view's reaction to it;
//   painted - the same tick, then the events it posted and an immediate
//             repaint of the whole grid view, so the view's layout and
//             painting of the visible rows count too.
//
// Each queue length runs in its own process. Needs a platform plugin:
// QT_QPA_PLATFORM=offscreen is set when no platform is chosen.
//
//   bench_program_grid [repeats=200] [count...=100 10000]
#include "bench/ForEachQueueSize.h"
#include "engine/Download.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "ui/DownloadsGridModel.h"
#include "ui/DownloadsSetPanel.h"

#include <QApplication>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double medianMs = 0;
    double p90Ms = 0;
};

// Records in the queue file's format; every download Complete, as a queue
// that has been worked through holds them.
std::string queueRecords(int count) {
    const std::string& host = tolvenka::serviceHost();
    std::ostringstream out(std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string name = "file-" + std::to_string(i) + ".rar";
        out << host << "\r\nhttp://" << host << "/files/" << 100'000'000 + i << "/" << name
            << "\r\n/tmp/downloads/" << name << "\r\nComplete\r\n\r\n";
    }
    return out.str();
}

Timing timeRepeats(int repeats, const std::function<void()>& step) {
    step(); // warm up: first allocations, font and glyph caches
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(repeats));
    for (int i = 0; i < repeats; ++i) {
        const Clock::time_point start = Clock::now();
        step();
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(samples.begin(), samples.end());
    const std::size_t last = samples.size() - 1;
    return Timing{samples[last / 2], samples[last * 9 / 10]};
}

void printTiming(int count, const char* what, const Timing& timing) {
    std::printf("%6d downloads: %-7s median %7.3f ms, p90 %7.3f ms\n", count, what, timing.medianMs,
                timing.p90Ms);
}

int benchmark(int argc, char** argv, int count, int repeats) {
    QApplication app(argc, argv);
    tolvenka::setUpServiceHost();
    const tolvenka::DownloadMaker maker;

    tolvenka::DownloadsSet set(1, 40);
    std::istringstream records(queueRecords(count), std::ios::binary);
    set.load(records);
    if (set.count() != count) {
        std::fprintf(stderr, "loaded %d of %d downloads\n", set.count(), count);
        return 1;
    }
    tolvenka::Download* changed = *(set.begin() + count / 2);

    tolvenka::DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    panel.resize(930, 500);
    panel.show();
    QApplication::processEvents();
    panel.onTimer();
    QApplication::processEvents();

    tolvenka::DownloadsGridModel unshownModel;
    QTableView* view = panel.gridView();
    const auto tick = [&] {
        set.onStatusChange(changed, -1);
        panel.onTimer();
    };
    printTiming(count, "model", timeRepeats(repeats, [&] { unshownModel.rebuild(&set); }));
    printTiming(count, "tick", timeRepeats(repeats, tick));
    printTiming(count, "painted", timeRepeats(repeats, [&] {
                    tick();
                    QApplication::processEvents();
                    view->repaint();
                }));
    const bool shown = view->model()->rowCount() == count + 1;
    panel.setDownloadsSet(nullptr);
    return shown ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    return forEachQueueSize(argc, argv,
                            [&](int count) { return benchmark(argc, argv, count, repeats); });
}
