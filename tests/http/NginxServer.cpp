#include "tests/http/NginxServer.h"

#include "tests/http/TestCertificates.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace http_testing {

namespace {

std::string withPorts(std::string text, const std::vector<std::uint16_t>& ports) {
    for (std::size_t site = 0; site < ports.size(); ++site) {
        const std::string placeholder = "{port" + std::to_string(site) + "}";
        for (auto at = text.find(placeholder); at != std::string::npos;
             at = text.find(placeholder, at)) {
            text.replace(at, placeholder.size(), std::to_string(ports[site]));
        }
    }
    return text;
}

void writeConfig(const std::string& path, const std::string& workDir,
                 const std::vector<NginxSite>& sites, const std::vector<std::uint16_t>& ports) {
    std::ofstream config(path, std::ios::trunc);
    config << "daemon off;\n"
           << "master_process off;\n"
           << "worker_processes 1;\n"
           << "error_log " << workDir << "/error.log info;\n"
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
           << "    default_type application/octet-stream;\n";
    for (std::size_t site = 0; site < sites.size(); ++site) {
        config << "    server {\n"
               << "        listen 127.0.0.1:" << ports[site] << (sites[site].tls ? " ssl" : "")
               << ";\n"
               << withPorts(sites[site].directives, ports) << "    }\n";
    }
    config << "}\n";
}

} // namespace

std::string servingFiles(const std::string& rootDir) {
    return "        root " + rootDir + ";\n";
}

std::string passingTo(std::uint16_t port, const Forwarded& forwarded) {
    return "        location / {\n"
           "            proxy_pass http://127.0.0.1:" +
           std::to_string(port) +
           ";\n"
           "            proxy_http_version 1.1;\n"
           "            proxy_buffering off;\n"
           "            proxy_set_header Connection \"\";\n"
           "            proxy_set_header X-Forwarded-Host " +
           forwarded.host +
           ";\n"
           "            proxy_set_header X-Forwarded-Proto " +
           forwarded.scheme +
           ";\n"
           "        }\n";
}

std::string withCertificate(const std::string& certificateFile, const std::string& keyFile) {
    return "        ssl_certificate " + certificateFile + ";\n        ssl_certificate_key " +
           keyFile + ";\n";
}

NginxSite tlsSite(const std::string& directives, Presenting certificate) {
    const TestCertificates& made = TestCertificates::trusted();
    const std::pair<std::string, std::string> files[] = {
        {made.serverCertificate, made.serverKey},
        {made.otherHostCertificate, made.otherHostKey},
        {made.strangerCertificate, made.strangerKey}};
    const auto& [certificateFile, keyFile] = files[static_cast<std::size_t>(certificate)];
    return {directives + withCertificate(certificateFile, keyFile), true};
}

std::vector<NginxSite> tlsSitesInFrontOf(std::uint16_t port) {
    return {tlsSite(passingTo(port)), tlsSite(passingTo(port), Presenting::OtherHost)};
}

std::string makeTwoFileRoot(const std::string& workDir) {
    const std::string root = workDir + "/root";
    std::filesystem::create_directory(root);
    std::ofstream(root + "/a.txt") << "first file\n";
    std::ofstream(root + "/b.txt") << "second file\n";
    return root;
}

std::vector<std::string> loggedConnections(const std::string& workDir) {
    std::istringstream log(readAll(workDir + "/access.log"));
    std::vector<std::string> connections;
    for (std::string line; std::getline(log, line);) {
        connections.push_back(line.substr(0, line.find(' ')));
    }
    return connections;
}

NginxServer::NginxServer(const std::string& rootDir, const std::string& workDir)
    : NginxServer(workDir, {NginxSite{servingFiles(rootDir)}}) {}

NginxServer::NginxServer(const std::string& workDir, std::vector<NginxSite> sitesToServe)
    : sites(std::move(sitesToServe)) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (tryStart(workDir)) {
            return;
        }
    }
    throw std::runtime_error("nginx did not start: " + readAll(workDir + "/error.log"));
}

std::string NginxServer::url(const std::string& path, std::size_t site) const {
    return (sites.at(site).tls ? "https://127.0.0.1:" : "http://127.0.0.1:") +
           std::to_string(port(site)) + path;
}

bool NginxServer::tryStart(const std::string& workDir) {
    const std::string nginx =
        findProgram({"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"}, "nginx-light");
    listenPorts.clear();
    for (std::size_t site = 0; site < sites.size(); ++site) {
        listenPorts.push_back(pickFreePort());
    }
    const std::string config = workDir + "/nginx.conf";
    writeConfig(config, workDir, sites, listenPorts);
    const std::string errorLog = workDir + "/error.log";
    if (!process.start({nginx, "-p", workDir, "-c", config, "-e", errorLog}, listenPorts.front())) {
        return false;
    }
    for (const std::uint16_t port : listenPorts) {
        if (!accepts(port)) {
            process.stop();
            return false;
        }
    }
    return true;
}

} // namespace http_testing
