#pragma once

#include "tests/http/ServerProcess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace http_testing {

// One server block of an nginx: its directives besides "listen", in which
// "{port0}", "{port1}", ... stand for the ports of the server's sites.
struct NginxSite {
    std::string directives;
    // Listens with TLS; the directives name the certificate and key.
    bool tls = false;
};

// A real nginx on free loopback ports, one per site, with its configuration,
// logs and pid file in `workDir`. Stopped on destruction. Throws when nginx
// is missing or does not come up.
class NginxServer {
public:
    // One plain site serving the files of `rootDir`.
    NginxServer(const std::string& rootDir, const std::string& workDir);
    NginxServer(const std::string& workDir, std::vector<NginxSite> sites);

    std::uint16_t port(std::size_t site = 0) const { return listenPorts.at(site); }
    // "http://127.0.0.1:PORT/path", https for a TLS site.
    std::string url(const std::string& path, std::size_t site = 0) const;

private:
    bool tryStart(const std::string& workDir);

    std::vector<NginxSite> sites;
    std::vector<std::uint16_t> listenPorts;
    ServerProcess process;
};

// Directives that serve the files of `rootDir`.
std::string servingFiles(const std::string& rootDir);
// What a site in front of a service tells it about the request: by
// default the host it was asked for and its scheme, so that the service's
// pages lead back through the site.
struct Forwarded {
    std::string host = "$host:$server_port";
    std::string scheme = "$scheme";
};
// Directives that pass every request on to 127.0.0.1:`port` as a site in
// front of a service does, with `forwarded` in X-Forwarded-Host and
// X-Forwarded-Proto.
std::string passingTo(std::uint16_t port, const Forwarded& forwarded = {});
// Directives that present the certificate and key of the PEM files.
std::string withCertificate(const std::string& certificateFile, const std::string& keyFile);

// Which of the test certificates a TLS site presents.
enum class Presenting { Trusted, OtherHost, Stranger };
// A TLS site of `directives` that presents `certificate`.
NginxSite tlsSite(const std::string& directives, Presenting certificate = Presenting::Trusted);
// A trusted TLS site and one whose certificate is for another host, both in
// front of a service on 127.0.0.1:`port`, in that order.
std::vector<NginxSite> tlsSitesInFrontOf(std::uint16_t port);

// A folder "root" in `workDir` holding a.txt ("first file\n") and b.txt
// ("second file\n"); returns its path.
std::string makeTwoFileRoot(const std::string& workDir);
// The connection of each request the access log in `workDir` holds, in order.
std::vector<std::string> loggedConnections(const std::string& workDir);

} // namespace http_testing
