// A whole service download through the simulated service (link page, free
// form, a countdown of zero, final form, file flushed to the disk and put in
// place) against curl fetching the same file straight from the final form's
// address of the same service, and against curl followed by a sync of its
// file (the same durability), A B C A B C. Prints each round, the median
// ratios of wall times, and this process's peak memory.
//
//   bench_service_download SIZE PAIRS [--no-curl]
//   SIZE: bytes, with K, M or G (powers of 1024)
#include "engine/Download.h"
#include "http/SpeedLimit.h"
#include "platform/FileSystem.h"
#include "platform/GuiThread.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "tools/service-sim/ServiceSim.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

std::uint64_t parseSize(const std::string& text) {
    const char unit = text.empty() ? ' ' : text.back();
    const std::uint64_t number = std::stoull(text);
    switch (unit) {
    case 'K':
        return number << 10;
    case 'M':
        return number << 20;
    case 'G':
        return number << 30;
    default:
        return number;
    }
}

double seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// Runs the download on a thread of its own while this thread waits in the
// event loop, as the program does: it wakes only for the download's timer
// and its hops to the GUI thread. Like the program's downloads it follows a
// speed limit, which stays at 0.
double timeServiceDownload(const std::string& link, const std::string& folder) {
    const http::SpeedLimit noLimit;
    std::unique_ptr<tolvenka::Download> download(
        tolvenka::downloadMaker().createDownload(tolvenka::serviceHost(), link, folder));
    const auto start = std::chrono::steady_clock::now();
    bool completed = false;
    QEventLoop loop;
    std::thread worker([&] {
        completed = download->run(&noLimit);
        platform::post([&loop] { loop.quit(); });
    });
    loop.exec();
    worker.join();
    const double elapsed = seconds(std::chrono::steady_clock::now() - start);
    if (!completed) {
        std::fprintf(stderr, "the service download did not complete\n");
        std::exit(1);
    }
    return elapsed;
}

double timeCurl(const std::string& url, const std::string& file, bool thenSync) {
    const std::string command = "curl -s -d mirror= -o '" + file + "' '" + url + "'" +
                                (thenSync ? " && sync '" + file + "'" : std::string());
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "curl failed\n");
        std::exit(1);
    }
    return seconds(std::chrono::steady_clock::now() - start);
}

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::uint64_t size = parseSize(argc > 1 ? argv[1] : "1G");
    const int pairs = argc > 2 ? std::atoi(argv[2]) : 5;
    const bool withCurl = !(argc > 3 && std::string(argv[3]) == "--no-curl");

    servicesim::ServiceSim sim;
    tolvenka::setServiceHost(sim.host());
    tolvenka::DownloadMaker maker;

    servicesim::FileSpec spec;
    spec.id = "1001";
    spec.name = "bench.bin";
    spec.size = size;
    spec.script = {servicesim::Step::countdown("-5")}; // no wait before the file
    const std::string link = sim.addFile(spec);

    const auto folder = std::filesystem::temp_directory_path() / "tolvenka-service-bench";
    std::filesystem::create_directories(folder);

    std::vector<double> ratios;
    std::vector<double> syncedRatios;
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    for (int round = 0; round < pairs; ++round) {
        const double ours = timeServiceDownload(link, folder.string());
        std::filesystem::remove(folder / "bench.bin");
        if (!withCurl) {
            std::printf("service download %.3f s\n", ours);
            continue;
        }
        const std::string curlFile = (folder / "curl.bin").string();
        const double curl = timeCurl(sim.finalFormUrl("1001"), curlFile, false);
        std::filesystem::remove(curlFile);
        const double synced = timeCurl(sim.finalFormUrl("1001"), curlFile, true);
        std::filesystem::remove(curlFile);
        ratios.push_back(ours / curl);
        syncedRatios.push_back(ours / synced);
        std::printf("round %d: service download %.3f s, curl %.3f s, curl + sync %.3f s\n",
                    round + 1, ours, curl, synced);
    }
    std::filesystem::remove_all(folder);
    if (!ratios.empty()) {
        std::printf("median ratio (service download / curl): %.3f\n", median(ratios));
        std::printf("median ratio (service download / curl + sync): %.3f\n", median(syncedRatios));
    }
    std::printf("peak memory: %ld KiB for a %llu-byte file\n", peakMemoryKiB(),
                static_cast<unsigned long long>(size));
    return 0;
}
