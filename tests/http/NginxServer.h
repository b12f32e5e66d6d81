#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace http_testing {

// A real nginx on a free loopback port, serving the files of `rootDir`, with
// its configuration, logs and pid file in `workDir`. Stopped on destruction.
// Throws when nginx is missing or does not come up.
class NginxServer {
public:
    NginxServer(const std::string& rootDir, const std::string& workDir);
    ~NginxServer();

    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    std::uint16_t port() const { return listenPort; }
    std::string url(const std::string& path) const;

private:
    bool tryStart(const std::string& rootDir, const std::string& workDir);
    void stop();

    std::uint16_t listenPort = 0;
    pid_t pid = -1;
};

} // namespace http_testing
