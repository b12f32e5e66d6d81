// The confirmation dialog with N links: the time from setLinks to the dialog
// shown and painted, and the process's peak memory (VmHWM) then. Each count
// runs in a process of its own, so each peak is its own.
//
//   bench_links_dialog [repeats=5] [count...=1000 10000 100000]
//
// Prints one line per count: the median and the largest time of the
// repeats, each repeat in a fresh process, and the largest peak.
#include "bench/ForEachQueueSize.h"
#include "intake/TDownloadsListDialog.h"
#include "intake/TwaitDialog.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"

#include <QApplication>
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

// One run in this process: writes "milliseconds peak-KiB" to `out`.
int runOnce(int argc, char** argv, int count, int out) {
    QApplication app(argc, argv);
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    tolvenka::DownloadsSet set(1, 40);
    std::string folder = "/tmp/";
    tolvenka::TwaitDialog waitDialog;
    tolvenka::TDownloadsListDialog dialog(set, folder, waitDialog);
    std::vector<std::string> links;
    links.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        links.push_back("http://" + tolvenka::serviceHost() + "/files/" +
                        std::to_string(100'000'000 + i) + "/archive-part" + std::to_string(i) +
                        ".rar");
    }
    const auto start = std::chrono::steady_clock::now();
    dialog.setLinks(links);
    dialog.show();
    QApplication::processEvents();
    dialog.repaint();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const std::string line = std::to_string(ms) + " " + std::to_string(peakKib()) + "\n";
    const bool written =
        ::write(out, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    dialog.reject();
    return written ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    useOffscreenPlatformUnlessChosen();
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    int status = 0;
    for (const int count : sizesFromCommandLine(argc, argv, {1000, 10'000, 100'000})) {
        std::vector<double> times;
        long peak = 0;
        for (int repeat = 0; repeat < repeats; ++repeat) {
            int pipeFds[2];
            if (::pipe(pipeFds) != 0) {
                return 1;
            }
            const bool ran = runInChildProcess([&] {
                ::close(pipeFds[0]);
                return runOnce(argc, argv, count, pipeFds[1]);
            });
            ::close(pipeFds[1]);
            char buffer[128] = {};
            const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer - 1);
            ::close(pipeFds[0]);
            double ms = 0;
            long kib = 0;
            if (!ran || got <= 0 || std::sscanf(buffer, "%lf %ld", &ms, &kib) != 2) {
                status = 1;
                continue;
            }
            times.push_back(ms);
            peak = std::max(peak, kib);
        }
        if (times.empty()) {
            continue;
        }
        std::sort(times.begin(), times.end());
        std::printf("%7d links: shown in median %8.1f ms (max %8.1f ms), peak %7.1f MiB\n", count,
                    times[(times.size() - 1) / 2], times.back(), static_cast<double>(peak) / 1024);
    }
    return status;
}
