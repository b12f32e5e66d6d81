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
using servicesim::Step;
using testing_helpers::BackgroundRun;
using testing_helpers::pumpUntil;
using testing_helpers::readFile;
using tolvenka::Download;

namespace {

enum Site { Trusted, OtherHost };

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
    NginxServer nginx{work.path(), http_testing::tlsSitesInFrontOf(sim.port())};
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
