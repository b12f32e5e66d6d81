#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Runs `benchmark(count)` once for each queue size named on the command line
// after the first argument (100 and 10,000 when none is named), each in a
// child process of its own so that each size's peak memory is its own.
// Returns non-zero when any run failed.
inline int forEachQueueSize(int argc, char** argv, const std::function<int(int count)>& benchmark) {
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) {
        counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty()) {
        counts = {100, 10'000};
    }
    int status = 0;
    for (const int count : counts) {
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            std::exit(benchmark(count));
        }
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0) {
            status = 1;
        }
    }
    return status;
}
