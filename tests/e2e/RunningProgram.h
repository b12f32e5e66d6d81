#pragma once

#include "tests/common/TestHelpers.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace e2e_testing {

// The program, started in `folder` against `host`, ended with SIGTERM. Its
// runtime folder (where the lock may fall back to, and the socket that takes
// the links of later starts) is "runtime" in `folder`.
class RunningProgram {
public:
    // `errorsTo`: a file that takes what the program writes to stderr.
    // `variables`: "NAME=value" besides the test's own environment, whose
    // proxy variables are never passed on.
    RunningProgram(const std::string& folder, const std::string& host,
                   const std::string& errorsTo = "/dev/null",
                   std::vector<std::string> arguments = {},
                   const std::vector<std::string>& variables = {}) {
        const std::string runtimeFolder = folder + "/runtime";
        ::mkdir(runtimeFolder.c_str(), 0700);
        std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen",
                                                "TOLVENKA_SERVICE_HOST=" + host, "HOME=" + folder,
                                                "XDG_RUNTIME_DIR=" + runtimeFolder};
        environment.insert(environment.end(), variables.begin(), variables.end());
        std::set<std::string> setHere = {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                         "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
        for (const std::string& entry : environment) {
            setHere.insert(entry.substr(0, entry.find('=')));
        }
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string inherited = *entry;
            if (!setHere.contains(inherited.substr(0, inherited.find('=')))) {
                environment.push_back(inherited);
            }
        }
        std::vector<char*> envp;
        for (auto& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        std::string program = TOLVENKA_BINARY;
        std::vector<char*> argv = {program.data()};
        for (auto& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorsTo.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()),
                  0);
        posix_spawn_file_actions_destroy(&actions);
    }

    ~RunningProgram() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // Asks the program to close and returns its exit status.
    int terminate(int signal = SIGTERM) {
        ::kill(pid, signal);
        return exitStatus(60'000);
    }

    // Ends the program at once, as a crash or a power loss would.
    void kill() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

    pid_t processId() const { return pid; }

    // The exit status once the program has ended by itself, or -1 if it runs
    // on after `timeoutMs`.
    int exitStatus(int timeoutMs) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    bool isRunning() const { return pid > 0 && ::kill(pid, 0) == 0; }

private:
    pid_t pid = -1;
};

inline bool waitFor(const std::function<bool()>& done, int timeoutMs, int pollMs = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

// Whether the file at `path` comes to hold `text` within `timeoutMs`.
inline bool fileComesToSay(const std::string& path, const std::string& text,
                           int timeoutMs = 20'000) {
    return waitFor([&] { return testing_helpers::readFile(path).find(text) != std::string::npos; },
                   timeoutMs);
}

// Writes the queue file of `folder`: one download of `link` of the service at
// `host` into `name` there, queued; completed ones stay in the list unless
// `deleteCompleted`. Returns the file's text.
inline std::string writeQueueOfOne(const std::string& folder, const std::string& host,
                                   const std::string& link, const std::string& name,
                                   bool deleteCompleted = false) {
    const std::string dir = folder + "/";
    const std::string text = (deleteCompleted ? "1\r\n" : "0\r\n") + dir + "\r\n" + host + "\r\n" +
                             link + "\r\n" + dir + name + "\r\nQueue\r\n\r\n";
    testing_helpers::writeFile(dir + "downloads.txt", text);
    return text;
}

} // namespace e2e_testing
