#pragma once

#include "tests/http/ServerProcess.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace http_testing {

// A user name and password that a proxy asks for; empty: none.
struct ProxyCredentials {
    std::string user;
    std::string password;
};

// A real proxy server program on a free loopback port, stopped on
// destruction.
class ProxyServer {
public:
    std::uint16_t port() const { return listenPort; }
    // What it has logged so far: a line for each request, CONNECT or
    // connection it carried.
    std::string log() const { return readAll(logFile); }
    // Stops the program, and starts it again on the same port: a proxy that
    // goes away and comes back.
    void stop() { process.stop(); }
    void resume();

protected:
    explicit ProxyServer(std::string logFile)
        : logFile(std::move(logFile)) {}

    // Runs the command that `commandFor` makes for a port, on one port after
    // another until it listens; throws naming `program` when it never does.
    void start(const std::string& program,
               const std::function<std::vector<std::string>(std::uint16_t)>& commandFor,
               const std::string& output);

    const std::string logFile;

private:
    std::uint16_t listenPort = 0;
    std::function<std::vector<std::string>(std::uint16_t)> command;
    std::string programOutput;
    ServerProcess process;
};

// tinyproxy, its configuration and log in `workDir`, asking for
// `credentials` where given.
class TinyproxyServer : public ProxyServer {
public:
    explicit TinyproxyServer(const std::string& workDir, ProxyCredentials credentials = {});
};

// microsocks (SOCKS5), its log in `workDir`, asking for `credentials` where
// given.
class MicrosocksServer : public ProxyServer {
public:
    explicit MicrosocksServer(const std::string& workDir, ProxyCredentials credentials = {});
};

} // namespace http_testing
