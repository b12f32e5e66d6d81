#include "tests/http/ProxyServers.h"

#include <fstream>
#include <stdexcept>

namespace http_testing {

void ProxyServer::start(const std::string& program,
                        const std::function<std::vector<std::string>(std::uint16_t)>& commandFor,
                        const std::string& output) {
    command = commandFor;
    programOutput = output;
    for (int attempt = 0; attempt < 3; ++attempt) {
        listenPort = pickFreePort();
        if (process.start(command(listenPort), listenPort, output)) {
            return;
        }
    }
    throw std::runtime_error(program + " did not start: " + log());
}

void ProxyServer::resume() {
    if (!process.start(command(listenPort), listenPort, programOutput)) {
        throw std::runtime_error("the proxy did not start again: " + log());
    }
}

TinyproxyServer::TinyproxyServer(const std::string& workDir, ProxyCredentials credentials)
    : ProxyServer(workDir + "/tinyproxy.log") {
    const std::string tinyproxy =
        findProgram({"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"}, "tinyproxy");
    const std::string config = workDir + "/tinyproxy.conf";
    start(
        "tinyproxy",
        [this, tinyproxy, config, credentials](std::uint16_t port) {
            std::ofstream out(config, std::ios::trunc);
            out << "Port " << port << "\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\n"
                << "LogFile \"" << logFile << "\"\nLogLevel Connect\nAllow 127.0.0.1\n"
                << "DisableViaHeader Yes\n";
            if (!credentials.user.empty()) {
                out << "BasicAuth " << credentials.user << " " << credentials.password << "\n";
            }
            return std::vector<std::string>{tinyproxy, "-d", "-c", config};
        },
        "/dev/null");
}

MicrosocksServer::MicrosocksServer(const std::string& workDir, ProxyCredentials credentials)
    : ProxyServer(workDir + "/microsocks.log") {
    const std::string microsocks = findProgram({"/usr/bin/microsocks"}, "microsocks");
    start(
        "microsocks",
        [microsocks, credentials](std::uint16_t port) {
            std::vector<std::string> command = {microsocks, "-i", "127.0.0.1", "-p",
                                                std::to_string(port)};
            if (!credentials.user.empty()) {
                command.insert(command.end(), {"-u", credentials.user, "-P", credentials.password});
            }
            return command;
        },
        logFile);
}

} // namespace http_testing
