// Adding links to the queue on the GUI thread: N links that all name the same
// file against N links of N names, into an empty folder. Each gets a name of
// its own ("a.zip", "a (1).zip", ...), so the first kind costs the search
// for a free name; prints the medians and their ratio. With a queue already
// holding Q downloads, the links are first looked for among them, as the
// confirmation dialog does (which are queued unfinished, which complete),
// and that look is timed too.
//
//   bench_add_links [count=5000] [repeats=5] [queued=0]
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
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Times {
    double look = 0;
    double add = 0;
};

// `queueFile` holds the downloads the queue has before the links come.
Times timeToAdd(const std::vector<std::string>& links, const std::string& folder,
                const std::string& queueFile) {
    tolvenka::DownloadsSet set(1, 40);
    std::ifstream queued(queueFile, std::ios::binary);
    std::string options;
    std::getline(queued, options);
    std::getline(queued, options);
    set.load(queued);
    const int before = set.count();
    Times times;
    auto start = Clock::now();
    const std::vector<bool> unfinished = set.holdsUnfinished(links);
    const std::vector<bool> complete = set.holdsComplete(links);
    times.look = msSince(start);
    if (std::count(unfinished.begin(), unfinished.end(), true) +
            std::count(complete.begin(), complete.end(), true) !=
        0) {
        std::fprintf(stderr, "a new link was found queued\n");
        std::exit(1);
    }
    start = Clock::now();
    set.add(links, folder);
    times.add = msSince(start);
    if (set.count() != before + static_cast<int>(links.size())) {
        std::fprintf(stderr, "not every link was added\n");
        std::exit(1);
    }
    return times;
}

std::vector<std::string> linksOf(int count, bool oneName) {
    std::vector<std::string> links;
    for (int id = 0; id < count; ++id) {
        const std::string name = oneName ? "same.zip" : "file" + std::to_string(id) + ".zip";
        links.push_back("http://" + tolvenka::serviceHost() + "/files/" +
                        std::to_string(900'000'000 + id) + "/" + name);
    }
    return links;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
    const int queued = argc > 3 ? std::atoi(argv[3]) : 0;
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    const std::filesystem::path folder = bench::scratchFolder("tolvenka-add-bench");
    const std::string queueFile = (folder / "queued.txt").string();
    bench::writeQueueFile(queueFile, queued, (folder / "queued").string());

    const std::vector<std::string> sameName = linksOf(count, true);
    const std::vector<std::string> distinct = linksOf(count, false);
    std::vector<double> looks;
    std::vector<double> sameTimes;
    std::vector<double> distinctTimes;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        const Times same = timeToAdd(sameName, folder.string(), queueFile);
        const Times different = timeToAdd(distinct, folder.string(), queueFile);
        looks.push_back(same.look);
        looks.push_back(different.look);
        sameTimes.push_back(same.add);
        distinctTimes.push_back(different.add);
    }
    std::filesystem::remove_all(folder);
    const double same = bench::median(sameTimes);
    const double different = bench::median(distinctTimes);
    if (queued > 0) {
        std::printf("%d links looked for in a queue of %d: %.1f ms; ", count, queued,
                    bench::median(looks));
    }
    std::printf("%d links of one name: %.1f ms; of %d names: %.1f ms; ratio %.2f\n", count, same,
                count, different, same / different);
    return 0;
}
