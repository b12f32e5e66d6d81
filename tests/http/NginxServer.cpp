#include "tests/http/NginxServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace http_testing {

namespace {

const char* const nginxPaths[] = {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"};

std::string findNginx() {
    for (const char* path : nginxPaths) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    throw std::runtime_error(
        "nginx is not installed; run ./scripts/install-deps.sh (Debian package nginx-light)");
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A port that was free a moment ago; nginx may still lose it to a race, in
// which case the caller tries another.
std::uint16_t pickFreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool accepts(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

void writeConfig(const std::string& path, const std::string& rootDir, const std::string& workDir,
                 std::uint16_t port) {
    std::ofstream config(path, std::ios::trunc);
    config << "daemon off;\n"
           << "master_process off;\n"
           << "worker_processes 1;\n"
           << "error_log " << workDir << "/error.log;\n"
           << "pid " << workDir << "/nginx.pid;\n"
           << "events { worker_connections 64; }\n"
           << "http {\n"
           << "    log_format connection '$connection $request';\n"
           << "    access_log " << workDir << "/access.log connection;\n"
           << "    client_body_temp_path " << workDir << "/body;\n"
           << "    proxy_temp_path " << workDir << "/proxy;\n"
           << "    fastcgi_temp_path " << workDir << "/fastcgi;\n"
           << "    uwsgi_temp_path " << workDir << "/uwsgi;\n"
           << "    scgi_temp_path " << workDir << "/scgi;\n"
           << "    default_type application/octet-stream;\n"
           << "    server {\n"
           << "        listen 127.0.0.1:" << port << ";\n"
           << "        root " << rootDir << ";\n"
           << "    }\n"
           << "}\n";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

NginxServer::NginxServer(const std::string& rootDir, const std::string& workDir) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (tryStart(rootDir, workDir)) {
            return;
        }
    }
    throw std::runtime_error("nginx did not start: " + readAll(workDir + "/error.log"));
}

NginxServer::~NginxServer() {
    stop();
}

std::string NginxServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(listenPort) + path;
}

bool NginxServer::tryStart(const std::string& rootDir, const std::string& workDir) {
    const std::string nginx = findNginx();
    listenPort = pickFreePort();
    const std::string config = workDir + "/nginx.conf";
    writeConfig(config, rootDir, workDir, listenPort);
    const std::string errorLog = workDir + "/error.log";
    std::vector<std::string> args = {nginx, "-p", workDir, "-c", config, "-e", errorLog};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    if (::posix_spawn(&pid, nginx.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start nginx");
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return false;
        }
        if (accepts(listenPort)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop();
    return false;
}

void NginxServer::stop() {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
    }
}

} // namespace http_testing
