#pragma once

#include "tests/http/ServerProcess.h"

#include <cstdint>
#include <string>

namespace http_testing {

// A user name and password that a proxy asks for; empty: none.
struct ProxyCredentials {
    std::string user;
    std::string password;
};

// A real tinyproxy on a free loopback port, its configuration and log in
// `workDir`, asking for `credentials` where given.
class TinyproxyServer {
public:
    explicit TinyproxyServer(const std::string& workDir, ProxyCredentials credentials = {});

    std::uint16_t port() const { return listenPort; }
    // What it has logged so far: each request and CONNECT it carried.
    std::string log() const;

private:
    std::string logFile;
    std::uint16_t listenPort = 0;
    ServerProcess process;
};

// A real microsocks (SOCKS5) on a free loopback port, asking for
// `credentials` where given.
class MicrosocksServer {
public:
    explicit MicrosocksServer(const std::string& workDir, ProxyCredentials credentials = {});

    std::uint16_t port() const { return listenPort; }
    // What it has printed so far: a line per connection it carried.
    std::string log() const;

private:
    std::string logFile;
    std::uint16_t listenPort = 0;
    ServerProcess process;
};

} // namespace http_testing
