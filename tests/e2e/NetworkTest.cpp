// The real program on today's network: https service links through a site
// that terminates TLS, certificates that do not fit, and every kind of proxy
// it reads from its environment. The servers are the real ones, started on
// loopback by the tests.
#include "tests/common/TestHelpers.h"
#include "tests/e2e/RunningProgram.h"
#include "tests/http/NginxServer.h"
#include "tests/http/ProxyServers.h"
#include "tests/http/TestCertificates.h"
#include "tools/service-sim/ServiceSim.h"

#include <gtest/gtest.h>

using e2e_testing::RunningProgram;
using e2e_testing::waitFor;
using http_testing::MicrosocksServer;
using http_testing::NginxServer;
using http_testing::NginxSite;
using http_testing::TestCertificates;
using http_testing::TinyproxyServer;
using servicesim::Step;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::writeFile;

namespace {

enum Site { Trusted, OtherHost };

constexpr std::uint64_t fileSize = 200'000;

class Network : public ::testing::Test {
protected:
    Network() {
        servicesim::FileSpec spec;
        spec.id = "42";
        spec.name = "report.bin";
        spec.size = fileSize;
        spec.script = {Step::countdown("-5")};
        plainLink = sim.addFile(spec);
    }

    std::string tlsHost(Site site) const { return "127.0.0.1:" + std::to_string(nginx.port(site)); }
    std::string httpsLink(Site site) const {
        return "https://" + tlsHost(site) + "/files/42/report.bin";
    }

    // Runs the program with a queue of `link` of the service at `host`,
    // until the file has arrived; returns whether it did.
    bool downloads(const std::string& host, const std::string& link,
                   std::vector<std::string> variables) {
        const std::string dir = folder.path() + "/";
        writeFile(folder.file("downloads.txt"), "0\r\n" + dir + "\r\n" + host + "\r\n" + link +
                                                    "\r\n" + dir + "report.bin\r\nQueue\r\n\r\n");
        variables.push_back("SSL_CERT_FILE=" + TestCertificates::trusted().authorityFile);
        RunningProgram program(folder.path(), host, "/dev/null", {}, variables);
        const bool complete = waitFor(
            [&] {
                return readFile(folder.file("downloads.txt")).find("Complete") != std::string::npos;
            },
            20'000);
        EXPECT_EQ(program.terminate(), 0);
        return complete &&
               readFile(folder.file("report.bin")) == servicesim::expectedContent("42", fileSize);
    }

    servicesim::ServiceSim sim;
    std::string plainLink;
    TempDir work;
    TempDir folder;
    NginxServer nginx{work.path(), sitesInFrontOf(sim.port())};

private:
    static std::vector<NginxSite> sitesInFrontOf(std::uint16_t port) {
        const TestCertificates& certificates = TestCertificates::trusted();
        return {{http_testing::passingTo(port) +
                     http_testing::withCertificate(certificates.serverCertificate,
                                                   certificates.serverKey),
                 true},
                {http_testing::passingTo(port) +
                     http_testing::withCertificate(certificates.otherHostCertificate,
                                                   certificates.otherHostKey),
                 true}};
    }
};

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

} // namespace

TEST_F(Network, AnHttpsServiceLinkIsDownloadedWholeThroughTls) {
    EXPECT_TRUE(downloads(tlsHost(Trusted), httpsLink(Trusted), {}));
    EXPECT_EQ(sim.transfers("42"), 1);
}

// The program refuses it once and stops: trying again cannot mend it.
TEST_F(Network, ACertificateForAnotherHostIsRefusedAndNothingReachesTheService) {
    const std::string dir = folder.path() + "/";
    const std::string queue = "1\r\n" + dir + "\r\n" + tlsHost(OtherHost) + "\r\n" +
                              httpsLink(OtherHost) + "\r\n" + dir + "report.bin\r\nQueue\r\n\r\n";
    writeFile(folder.file("downloads.txt"), queue);
    RunningProgram program(folder.path(), tlsHost(OtherHost), "/dev/null", {},
                           {"SSL_CERT_FILE=" + TestCertificates::trusted().authorityFile});
    const std::string errorLog = work.file("error.log");
    ASSERT_TRUE(waitFor(
        [&] { return readFile(errorLog).find("alert bad certificate") != std::string::npos; },
        10'000));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_EQ(program.terminate(), 0);
    EXPECT_EQ(countOf(readFile(errorLog), "alert bad certificate"), 1u) << readFile(errorLog);
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_EQ(readFile(folder.file("downloads.txt")), queue);
}

TEST_F(Network, HttpProxyCarriesPlainLinksAndHttpsProxyTunnelsWithAPassword) {
    TinyproxyServer open(work.path());
    EXPECT_TRUE(downloads(sim.host(), plainLink,
                          {"http_proxy=http://127.0.0.1:" + std::to_string(open.port())}));
    EXPECT_NE(open.log().find("GET " + plainLink), std::string::npos) << open.log();

    TempDir guardedWork;
    TinyproxyServer guarded(guardedWork.path(), {"tolvenka", "pass.word"});
    EXPECT_TRUE(
        downloads(tlsHost(Trusted), httpsLink(Trusted),
                  {"HTTPS_PROXY=tolvenka:pass%2Eword@127.0.0.1:" + std::to_string(guarded.port()),
                   "http_proxy=http://127.0.0.1:1"}));
    EXPECT_EQ(countOf(guarded.log(), "CONNECT " + tlsHost(Trusted)), 3u) << guarded.log();
}

TEST_F(Network, ASocksProxyWithRemoteNamesCarriesADownload) {
    MicrosocksServer socks(work.path());
    EXPECT_TRUE(downloads(tlsHost(Trusted), httpsLink(Trusted),
                          {"ALL_PROXY=socks5h://127.0.0.1:" + std::to_string(socks.port())}));
    EXPECT_GE(countOf(socks.log(), "connected to"), 3u) << socks.log();
}

TEST_F(Network, NoProxyGoesAroundTheProxy) {
    const std::string deadProxy =
        "http://127.0.0.1:" + std::to_string(http_testing::pickFreePort());
    EXPECT_TRUE(downloads(tlsHost(Trusted), httpsLink(Trusted),
                          {"https_proxy=" + deadProxy, "no_proxy=localhost,127.0.0.1"}));
}
