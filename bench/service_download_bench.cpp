// A whole service download through the simulated service (link page, free
// form, a countdown of zero, final form, file) against curl fetching the same
// file straight from the final form's address of the same service, A B A B.
// Prints each pair, the median ratio of wall times, and this process's peak
// memory.
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

double timeCurl(const std::string& url, const std::string& file) {
    const std::string command = "curl -s -d mirror= -o '" + file + "' '" + url + "'";
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
    for (int pair = 0; pair < pairs; ++pair) {
        const double ours = timeServiceDownload(link, folder.string());
        std::filesystem::remove(folder / "bench.bin");
        if (!withCurl) {
            std::printf("service download %.3f s\n", ours);
            continue;
        }
        const double curl = timeCurl(sim.finalFormUrl("1001"), (folder / "curl.bin").string());
        std::filesystem::remove(folder / "curl.bin");
        ratios.push_back(ours / curl);
        std::printf("pair %d: service download %.3f s, curl %.3f s, ratio %.3f\n", pair + 1, ours,
                    curl, ratios.back());
    }
    std::filesystem::remove_all(folder);
    if (!ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        std::printf("median ratio (service download / curl): %.3f\n", ratios[ratios.size() / 2]);
    }
    std::printf("peak memory: %ld KiB for a %llu-byte file\n", peakMemoryKiB(),
                static_cast<unsigned long long>(size));
    return 0;
}
