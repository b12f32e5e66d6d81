// CPU cost of many idle timers: N timers of 100 ms whose tick returns at
// once, over some seconds of event loop, measured as the process's CPU time.
// Runs the project's shared timers, then one toolkit timer per timer.
//
//   bench_timers [count=10000] [seconds=10]
#include "platform/Timer.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `seconds` and returns the CPU share of one core.
double cpuShareOfEventLoop(int seconds) {
    const double before = cpuSeconds();
    QTimer::singleShot(seconds * 1000, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    return (cpuSeconds() - before) / seconds * 100.0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10'000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    long ticks = 0;

    double shared = 0;
    {
        std::vector<std::unique_ptr<platform::Timer>> timers;
        for (int i = 0; i < count; ++i) {
            timers.push_back(std::make_unique<platform::Timer>(100, [&ticks] { ++ticks; }));
        }
        shared = cpuShareOfEventLoop(seconds);
    }
    const long sharedTicks = ticks;
    ticks = 0;

    double perTimer = 0;
    {
        std::vector<std::unique_ptr<QTimer>> timers;
        for (int i = 0; i < count; ++i) {
            auto timer = std::make_unique<QTimer>();
            timer->setInterval(100);
            QObject::connect(timer.get(), &QTimer::timeout, [&ticks] { ++ticks; });
            timer->start();
            timers.push_back(std::move(timer));
        }
        perTimer = cpuShareOfEventLoop(seconds);
    }

    std::printf("%d timers of 100 ms over %d s of event loop\n", count, seconds);
    std::printf("  shared timers (platform::Timer): %6.2f%% of one core, %ld ticks\n", shared,
                sharedTicks);
    std::printf("  one toolkit timer per timer:     %6.2f%% of one core, %ld ticks\n", perTimer,
                ticks);
    std::printf("  ratio shared / per-timer: %.3f\n", perTimer > 0 ? shared / perTimer : 0.0);
    return 0;
}
