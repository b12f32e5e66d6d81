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

#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using e2e_testing::RunningProgram;
using http_testing::MicrosocksServer;
using http_testing::NginxServer;
using http_testing::TestCertificates;
using http_testing::TinyproxyServer;
using servicesim::Step;
using testing_helpers::readFile;
using testing_helpers::TempDir;

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
    // until the file has arrived (at most `timeoutMs`); returns whether it
    // did. A file an earlier call brought goes first: marked as the same
    // file of the service, it would count as arrived.
    bool downloads(const std::string& host, const std::string& link,
                   std::vector<std::string> variables, int timeoutMs = 20'000) {
        std::filesystem::remove(folder.file("report.bin"));
        e2e_testing::writeQueueOfOne(folder.path(), host, link, "report.bin");
        variables.push_back("SSL_CERT_FILE=" + TestCertificates::trusted().authorityFile);
        RunningProgram program(folder.path(), host, "/dev/null", {}, variables);
        const bool complete =
            e2e_testing::fileComesToSay(folder.file("downloads.txt"), "Complete", timeoutMs);
        EXPECT_EQ(program.terminate(), 0);
        return complete &&
               readFile(folder.file("report.bin")) == servicesim::expectedContent("42", fileSize);
    }

    servicesim::ServiceSim sim;
    std::string plainLink;
    TempDir work;
    TempDir folder;
    NginxServer nginx{work.path(), http_testing::tlsSitesInFrontOf(sim.port())};
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
    const std::string queue = e2e_testing::writeQueueOfOne(
        folder.path(), tlsHost(OtherHost), httpsLink(OtherHost), "report.bin", true);
    RunningProgram program(folder.path(), tlsHost(OtherHost), "/dev/null", {},
                           {"SSL_CERT_FILE=" + TestCertificates::trusted().authorityFile});
    const std::string errorLog = work.file("error.log");
    ASSERT_TRUE(e2e_testing::fileComesToSay(errorLog, "alert bad certificate", 10'000));
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

// Five failed tries in a row would have stopped the download after about
// 7 s; a proxy that is away stops none, and the file arrives by itself at
// the first try after it is back (15 s in).
TEST_F(Network, ADownloadWaitsForAProxyThatIsAwayAndArrivesOnceItIsBack) {
    TinyproxyServer proxy(work.path());
    proxy.stop();
    std::thread comeBack([&] {
        std::this_thread::sleep_for(std::chrono::seconds(9));
        proxy.resume();
    });
    EXPECT_TRUE(downloads(sim.host(), plainLink,
                          {"http_proxy=http://127.0.0.1:" + std::to_string(proxy.port())}, 30'000));
    comeBack.join();
    EXPECT_NE(proxy.log().find("GET " + plainLink), std::string::npos) << proxy.log();
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
