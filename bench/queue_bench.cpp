// The queue at rest: a queue file of N queued downloads is loaded and saved,
// then the event loop idles for a while with the worker running and every
// download's speed timer alive. Reports load and save times, the idle CPU
// share of one core and the peak memory, for each queue length in its own
// process so that the peaks do not mix.
//
// The worker serves a kind that none of the downloads has, so every pass
// walks the whole queue and finds nothing: the most an idle worker costs.
//
//   bench_queue [seconds=60] [count...=100 10000]
#include "bench/BenchSupport.h"
#include "bench/ForEachQueueSize.h"
#include "engine/SimpleDownloadThread.h"
#include "queue/DownloadsSet.h"
#include "queue/QueueFile.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Runs the event loop for `seconds` and returns the CPU share of one core.
double idleCpuShare(int seconds) {
    const double before = cpuSeconds();
    const Clock::time_point start = Clock::now();
    QTimer::singleShot(seconds * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    return (cpuSeconds() - before) / (millisecondsSince(start) / 1000.0) * 100.0;
}

void stopWorker(tolvenka::SimpleDownloadThread& worker) {
    worker.stop();
    while (!worker.isFinished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

int benchmark(int argc, char** argv, int count, int seconds) {
    QCoreApplication app(argc, argv);
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;

    const std::filesystem::path folder = bench::scratchFolder("tolvenka-queue-bench");
    const std::string path = (folder / tolvenka::QUEUE_FILE_NAME).string();
    bench::writeQueueFile(path, count, folder.string());

    tolvenka::DownloadsSet set(1, 40);
    tolvenka::QueueOptions options{true, "/"};
    Clock::time_point start = Clock::now();
    const bool loaded = tolvenka::loadQueueFile(path, options, set);
    const double loadMs = millisecondsSince(start);

    start = Clock::now();
    const bool saved = tolvenka::saveQueueFile(path, options, set);
    const double saveMs = millisecondsSince(start);

    const std::atomic<bool> deleteCompleted{true};
    double cpuShare = 0;
    {
        tolvenka::SimpleDownloadThread worker(set, 0, "idle.example", deleteCompleted);
        cpuShare = idleCpuShare(seconds);
        stopWorker(worker);
    }
    std::printf("%6d downloads: load %8.1f ms, save %8.1f ms, idle CPU %5.2f %% of a core over "
                "%d s, peak memory %6.1f MiB%s\n",
                count, loadMs, saveMs, cpuShare, seconds, peakMemoryMiB(),
                loaded && saved && set.count() == count ? "" : "  (LOAD OR SAVE FAILED)");
    std::filesystem::remove_all(folder);
    return loaded && saved && set.count() == count ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    return forEachQueueSize(argc, argv,
                            [&](int count) { return benchmark(argc, argv, count, seconds); });
}
