#include "tests/http/ProxyServers.h"

#include <fstream>
#include <stdexcept>

namespace http_testing {

namespace {

constexpr int startAttempts = 3;

} // namespace

TinyproxyServer::TinyproxyServer(const std::string& workDir, ProxyCredentials credentials)
    : logFile(workDir + "/tinyproxy.log") {
    const std::string tinyproxy =
        findProgram({"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"}, "tinyproxy");
    const std::string config = workDir + "/tinyproxy.conf";
    for (int attempt = 0; attempt < startAttempts; ++attempt) {
        listenPort = pickFreePort();
        std::ofstream out(config, std::ios::trunc);
        out << "Port " << listenPort << "\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\n"
            << "LogFile \"" << logFile << "\"\nLogLevel Connect\nAllow 127.0.0.1\n"
            << "DisableViaHeader Yes\n";
        if (!credentials.user.empty()) {
            out << "BasicAuth " << credentials.user << " " << credentials.password << "\n";
        }
        out.close();
        if (process.start({tinyproxy, "-d", "-c", config}, listenPort)) {
            return;
        }
    }
    throw std::runtime_error("tinyproxy did not start: " + log());
}

std::string TinyproxyServer::log() const {
    return readAll(logFile);
}

MicrosocksServer::MicrosocksServer(const std::string& workDir, ProxyCredentials credentials)
    : logFile(workDir + "/microsocks.log") {
    const std::string microsocks = findProgram({"/usr/bin/microsocks"}, "microsocks");
    for (int attempt = 0; attempt < startAttempts; ++attempt) {
        listenPort = pickFreePort();
        std::vector<std::string> argv = {microsocks, "-i", "127.0.0.1", "-p",
                                         std::to_string(listenPort)};
        if (!credentials.user.empty()) {
            argv.insert(argv.end(), {"-u", credentials.user, "-P", credentials.password});
        }
        if (process.start(argv, listenPort, logFile)) {
            return;
        }
    }
    throw std::runtime_error("microsocks did not start: " + log());
}

std::string MicrosocksServer::log() const {
    return readAll(logFile);
}

} // namespace http_testing
