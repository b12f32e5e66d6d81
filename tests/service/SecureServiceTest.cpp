// The service's conversation over TLS: a real nginx with a certificate made
// by the test in front of the simulated service, as a site that terminates
// TLS stands in front of its servers.
#include "support/Cp1251.h"
#include "tests/common/BackgroundRun.h"
#include "tests/http/NginxServer.h"
#include "tests/service/ServiceFixture.h"

#include <filesystem>

using namespace kestrune::text::literals;
using http_testing::NginxServer;
using http_testing::NginxSite;
using servicesim::Step;
using testing_helpers::BackgroundRun;
using testing_helpers::pumpUntil;
using testing_helpers::readFile;
using tolvenka::Download;

namespace {

enum Site { Trusted, OtherHost, FormsSayHttp, FormsSayPlainSite, PlainSite };

// The sites of `Site` in front of a service on 127.0.0.1:`port`: a trusted
// one, one with another host's certificate, two trusted ones whose service
// writes its forms' addresses with http (leading back to the site itself,
// and to the plain one), and a plain one.
std::vector<NginxSite> sitesInFrontOf(std::uint16_t port) {
    using http_testing::passingTo;
    std::vector<NginxSite> sites = http_testing::tlsSitesInFrontOf(port);
    sites.push_back(http_testing::tlsSite(passingTo(port, {"$host:$server_port", "http"})));
    sites.push_back(http_testing::tlsSite(
        passingTo(port, {"127.0.0.1:{port" + std::to_string(PlainSite) + "}", "http"})));
    sites.push_back(NginxSite{passingTo(port)});
    return sites;
}

class SecureService : public testing_helpers::ServiceFixture {
protected:
    // The program's service host becomes the https site `site`.
    void serveThrough(Site site) {
        maker.reset();
        tolvenka::setServiceHost("127.0.0.1:" + std::to_string(nginx.port(site)));
        maker = std::make_unique<tolvenka::DownloadMaker>();
    }

    std::unique_ptr<Download> httpsDownload(Site site) {
        serveThrough(site);
        sim.addFile(fileSpec({Step::countdown("-5")}, 300'000));
        const std::string link =
            "https://127.0.0.1:" + std::to_string(nginx.port(site)) + "/files/4711/report.zip";
        EXPECT_EQ(maker->kindOf(link), tolvenka::serviceHost());
        return maker->createDownload(tolvenka::serviceHost(), link, folder.path());
    }

    static bool runToEnd(Download& download) {
        BackgroundRun run(download);
        EXPECT_TRUE(pumpUntil([&] { return run.finished(); }, 20'000));
        return run.succeeded();
    }

    testing_helpers::TempDir work;
    NginxServer nginx{work.path(), sitesInFrontOf(sim.port())};
};

} // namespace

TEST_F(SecureService, AnHttpsLinkWalksTheWholeConversationOverTls) {
    const auto download = httpsDownload(Trusted);
    EXPECT_TRUE(runToEnd(*download));
    EXPECT_EQ(download->getState(), Download::State::Complete);
    EXPECT_EQ(readFile(folder.file("report.zip")), servicesim::expectedContent("4711", 300'000));
    // Every step came through the TLS site, to the forms' https addresses.
    const auto requests = sim.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].target, "/ff/4711/1");
    EXPECT_EQ(requests[2].target, "/dl/4711/report.zip");
}

// Trying again cannot mend a certificate: the download stops at once, says
// why, and nothing reaches the service.
TEST_F(SecureService, ACertificateForAnotherHostStopsTheDownloadAtOnce) {
    const auto download = httpsDownload(OtherHost);
    EXPECT_FALSE(runToEnd(*download));
    EXPECT_TRUE(download->hasStoppedWithError());
    EXPECT_EQ(download->getFailureReason(),
              "сертификат сервера не подтверждён: выдан для другого адреса"_cp1251);
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_FALSE(std::filesystem::exists(folder.file("report.zip")));
}

// A page that came over https leads on over https, whatever its forms say: a
// plain request to the TLS site would have been refused there.
TEST_F(SecureService, FormsWithHttpAddressesAreFollowedOverHttps) {
    const auto download = httpsDownload(FormsSayHttp);
    EXPECT_TRUE(runToEnd(*download));
    EXPECT_EQ(download->getState(), Download::State::Complete);
    EXPECT_EQ(sim.requests().size(), 3u);
}

// Where https does not answer, the download fails and says what the page
// asked for; nothing went in the clear.
TEST_F(SecureService, AStepThatHttpsCannotTakeNamesTheUnprotectedAddress) {
    const auto download = httpsDownload(FormsSayPlainSite);
    EXPECT_FALSE(runToEnd(*download));
    const std::string form =
        "http://127.0.0.1:" + std::to_string(nginx.port(PlainSite)) + "/ff/4711/1";
    EXPECT_EQ(download->getFailureReason(),
              std::string("страница указала незащищённый адрес "_cp1251) + form +
                  std::string(" — не удалось установить защищённое соединение"_cp1251));
    EXPECT_FALSE(download->hasStoppedWithError());
    EXPECT_TRUE(requestsOf("POST").empty());
}
