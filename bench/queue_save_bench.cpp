// Saving a long queue while the program runs: how long the GUI thread is
// held at a stretch. A queue file of N downloads is read, one download's
// state changes, and the keeper saves in the background while a zero timer
// measures the longest gap between its turns of the event loop (the longest
// step), in the GUI thread's own CPU time (which a busy machine does not
// stretch) and on the wall clock, the GUI thread's CPU time for the whole
// save, and the save's wall time. Then the same change saved at once, as a
// close does, for comparison.
//
//   bench_queue_save [count=100000] [repeats=5]
#include "bench/BenchSupport.h"
#include "queue/DownloadsSet.h"
#include "queue/QueueFile.h"
#include "queue/QueueFileKeeper.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// This thread's CPU time.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct BackgroundTimes {
    double longestStepCpuMs;
    double longestStepMs;
    double guiCpuMs;
    double wallMs;
};

BackgroundTimes saveInTheBackground(tolvenka::QueueFileKeeper& keeper,
                                    const tolvenka::QueueOptions& options) {
    const Clock::time_point start = Clock::now();
    const double startCpu = threadCpuMs();
    keeper.saveIfChanged(options);
    double longest = millisecondsBetween(start, Clock::now());
    double longestCpu = threadCpuMs() - startCpu;
    Clock::time_point lastTurn = Clock::now();
    double lastTurnCpu = threadCpuMs();
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        const double nowCpu = threadCpuMs();
        longest = std::max(longest, millisecondsBetween(lastTurn, now));
        longestCpu = std::max(longestCpu, nowCpu - lastTurnCpu);
        if (!keeper.isSaving()) {
            QCoreApplication::quit();
        }
        lastTurn = Clock::now();
        lastTurnCpu = threadCpuMs();
    });
    turns.start(0);
    QCoreApplication::exec();
    return {longestCpu, longest, threadCpuMs() - startCpu,
            millisecondsBetween(start, Clock::now())};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100'000;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    const std::filesystem::path folder = bench::scratchFolder("tolvenka-save-bench");
    const std::string path = (folder / tolvenka::QUEUE_FILE_NAME).string();
    bench::writeQueueFile(path, count, folder.string());

    tolvenka::DownloadsSet set(1, 40);
    tolvenka::QueueFileKeeper keeper(path, set);
    tolvenka::QueueOptions options{true, "/"};
    keeper.load(options);
    std::vector<double> stepsCpu;
    std::vector<double> steps;
    std::vector<double> guiCpu;
    std::vector<double> walls;
    std::vector<double> atOnce;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        set.at(repeat % count)->setHeld(true);
        const BackgroundTimes background = saveInTheBackground(keeper, options);
        stepsCpu.push_back(background.longestStepCpuMs);
        steps.push_back(background.longestStepMs);
        guiCpu.push_back(background.guiCpuMs);
        walls.push_back(background.wallMs);
        set.at(repeat % count)->setHeld(false);
        const Clock::time_point start = Clock::now();
        keeper.save(options);
        atOnce.push_back(millisecondsBetween(start, Clock::now()));
    }
    std::filesystem::remove_all(folder);
    std::printf("%d downloads, in the background: longest hold of the GUI thread %.2f ms of its "
                "CPU (%.2f ms on the wall), the GUI thread's CPU for the whole save %.1f ms, "
                "wall %.1f ms; a save at once holds it %.1f ms (medians of %d)\n",
                count, bench::median(stepsCpu), bench::median(steps), bench::median(guiCpu),
                bench::median(walls), bench::median(atOnce), repeats);
    return 0;
}
