// One refresh of the downloads grid with N downloads in the queue, as the
// panel's timer applies what the queue's events noted. Each cost is the
// median (and 90th percentile) of many repeats:
//
//   tick    - the download a worker runs reports a state change, and the
//             panel's next onTimer() brings the grid up to date;
//   joined  - a download is added (and the one added before removed), and
//             the next onTimer() brings the grid up to date;
//   painted - the first, then the events it posted and an immediate repaint
//             of the whole grid view, so the view's layout and painting of
//             the visible rows count too.
//
// Each queue length runs in its own process. Needs a platform plugin:
// QT_QPA_PLATFORM=offscreen is set when no platform is chosen.
//
//   bench_program_grid [repeats=200] [count...=100 10000]
#include "bench/ForEachQueueSize.h"
#include "bench/QueueRecords.h"
#include "engine/Download.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
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
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;

    tolvenka::DownloadsSet set(1, 40);
    // Every download Complete, as a queue that has been worked through holds
    // them, but the one in the middle, which a worker runs.
    std::istringstream records(
        bench::queueRecords(count,
                            [count](int i) { return i == count / 2 ? "Queue" : "Complete"; }),
        std::ios::binary);
    set.load(records);
    if (set.count() != count) {
        std::fprintf(stderr, "loaded %d of %d downloads\n", set.count(), count);
        return 1;
    }
    tolvenka::DownloadsSetPanel panel;
    panel.setDownloadsSet(&set);
    panel.resize(930, 500);
    panel.show();
    QApplication::processEvents();
    panel.onTimer();
    QApplication::processEvents();

    tolvenka::Download* running = set.pickNext(0, tolvenka::serviceHost());
    auto* view = panel.findChild<QTableView*>(QStringLiteral("grid"));
    const auto tick = [&] {
        set.onStatusChange(running, 0);
        panel.onTimer();
    };
    const std::string link = "http://" + tolvenka::serviceHost() + "/files/1/added.rar";
    const auto joined = [&] {
        set.clearNotFound(); // none; stands for a removal's walk
        set.add(link, "/tmp/downloads/");
        panel.onTimer();
    };
    printTiming(count, "tick", timeRepeats(repeats, tick));
    printTiming(count, "joined", timeRepeats(repeats, joined));
    printTiming(count, "painted", timeRepeats(repeats, [&] {
                    tick();
                    QApplication::processEvents();
                    view->repaint();
                }));
    const bool shown = view->model()->rowCount() == set.count() + 1;
    set.releaseSlot(0);
    panel.setDownloadsSet(nullptr);
    return shown ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    useOffscreenPlatformUnlessChosen();
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    return forEachQueueSize(argc, argv,
                            [&](int count) { return benchmark(argc, argv, count, repeats); });
}
