// One GET of a URL into a file through HttpClient, for comparison with other
// clients by bench/http_get_vs_curl.sh and bench/https_get_vs_curl.sh. Takes
// its proxies from the environment as the program does. Prints the wall
// time, the body size and the peak memory of this process.
#include "http/HttpClient.h"
#include "http/HttpError.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s URL OUTPUT_FILE\n", argv[0]);
        return 2;
    }
    std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
    if (!output) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    http::setProgramProxies(http::ProxySettings::fromEnvironment(&std::getenv));
    http::HttpClient client;
    const auto start = std::chrono::steady_clock::now();
    try {
        client.Get(argv[1], output);
        output.close();
    } catch (const http::HttpError& error) {
        std::fprintf(stderr, "GET failed: %s\n", error.what());
        return 1;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("seconds=%.3f bytes=%lld max_rss_kib=%ld\n", elapsed.count(),
                static_cast<long long>(client.ContentLength()), usage.ru_maxrss);
    return 0;
}
