// Adding links to the queue on the GUI thread: N links that all name the same
// file against N links of N names, into an empty folder. Each gets a name of
// its own ("a.zip", "a (1).zip", ...), so the first kind costs the search
// for a free name; prints the medians and their ratio.
//
//   bench_add_links [count=5000] [repeats=5]
#include "bench/BenchSupport.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

double millisecondsToAdd(const std::vector<std::string>& links, const std::string& folder) {
    tolvenka::DownloadsSet set(1, 40);
    const auto start = std::chrono::steady_clock::now();
    set.add(links, folder);
    const auto end = std::chrono::steady_clock::now();
    if (set.count() != static_cast<int>(links.size())) {
        std::fprintf(stderr, "not every link was added\n");
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

std::vector<std::string> linksOf(int count, bool oneName) {
    std::vector<std::string> links;
    for (int id = 0; id < count; ++id) {
        const std::string name = oneName ? "same.zip" : "file" + std::to_string(id) + ".zip";
        links.push_back("http://" + tolvenka::serviceHost() + "/files/" +
                        std::to_string(100000 + id) + "/" + name);
    }
    return links;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    const std::filesystem::path folder = bench::scratchFolder("tolvenka-add-bench");

    const std::vector<std::string> sameName = linksOf(count, true);
    const std::vector<std::string> distinct = linksOf(count, false);
    std::vector<double> sameTimes;
    std::vector<double> distinctTimes;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        sameTimes.push_back(millisecondsToAdd(sameName, folder.string()));
        distinctTimes.push_back(millisecondsToAdd(distinct, folder.string()));
    }
    std::filesystem::remove_all(folder);
    const double same = bench::median(sameTimes);
    const double different = bench::median(distinctTimes);
    std::printf("%d links of one name: %.1f ms; of %d names: %.1f ms; ratio %.2f\n", count, same,
                count, different, same / different);
    return 0;
}
