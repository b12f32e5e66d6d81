#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace http_testing {

// A socket bound to a free port on 127.0.0.1, which goes into `port`, and
// listening; -1 when either fails.
int listenOnLoopback(std::uint16_t& port);
// A port on 127.0.0.1 that was free a moment ago; a server may still lose it
// to a race, in which case the caller tries another.
std::uint16_t pickFreePort();
// Whether something accepts connections on 127.0.0.1:`port`.
bool accepts(std::uint16_t port);
// The first of `candidates` that can be run; throws naming `package` when
// none can.
std::string findProgram(const std::vector<std::string>& candidates, const std::string& package);

// A server program run in the foreground, stopped with SIGTERM on
// destruction.
class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess();

    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Runs `argv` (its output into `logFile`) and waits up to 10 s for
    // `port` to accept. Returns false when the program ended or never
    // listened; it is then stopped.
    bool start(const std::vector<std::string>& argv, std::uint16_t port,
               const std::string& logFile = "/dev/null");
    void stop();

private:
    pid_t pid = -1;
};

std::string readAll(const std::string& path);

} // namespace http_testing
