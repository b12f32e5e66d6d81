#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
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
        const auto isSetHere = [&](const std::string& entry) {
            const std::string name = entry.substr(0, entry.find('=') + 1);
            for (const char* own :
                 {"QT_QPA_PLATFORM=", "TOLVENKA_SERVICE_HOST=", "HOME=", "XDG_RUNTIME_DIR=",
                  "http_proxy=", "https_proxy=", "HTTPS_PROXY=", "all_proxy=", "ALL_PROXY=",
                  "no_proxy=", "NO_PROXY="}) {
                if (name == own) {
                    return true;
                }
            }
            for (const std::string& variable : variables) {
                if (variable.substr(0, variable.find('=') + 1) == name) {
                    return true;
                }
            }
            return false;
        };
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (!isSetHere(*entry)) {
                environment.push_back(*entry);
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

} // namespace e2e_testing
