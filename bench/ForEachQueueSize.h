#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// Runs `work` in a child process of its own, so that its peak memory is its
// own. True when it returned 0.
inline bool runInChildProcess(const std::function<int()>& work) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        std::exit(work());
    }
    int childStatus = 0;
    waitpid(child, &childStatus, 0);
    return WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0;
}

// The sizes named on the command line after the first argument, or
// `defaults` when none is named.
inline std::vector<int> sizesFromCommandLine(int argc, char** argv, std::vector<int> defaults) {
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) {
        sizes.push_back(std::atoi(argv[i]));
    }
    return sizes.empty() ? defaults : sizes;
}

// Widgets need a platform plugin; without a display the offscreen one does.
inline void useOffscreenPlatformUnlessChosen() {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
}

// Runs `benchmark(count)` once for each queue size named on the command line
// after the first argument (100 and 10,000 when none is named), each in a
// child process of its own so that each size's peak memory is its own.
// Returns non-zero when any run failed.
inline int forEachQueueSize(int argc, char** argv, const std::function<int(int count)>& benchmark) {
    int status = 0;
    for (const int count : sizesFromCommandLine(argc, argv, {100, 10'000})) {
        if (!runInChildProcess([&] { return benchmark(count); })) {
            status = 1;
        }
    }
    return status;
}
