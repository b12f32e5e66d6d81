#include "http/HttpClient.h"
#include "platform/DirectoryLookup.h"
#include "support/Cp1251.h"
#include "tests/service/ServiceFixture.h"

#include <gtest/gtest.h>
#include <sstream>

using servicesim::Step;
using namespace kestrune::text::literals;
using namespace std::string_literals;
using tolvenka::DownloadMaker;
using tolvenka::RapidshareDownload;

namespace {

using Registry = testing_helpers::ServiceFixture;

// The recogniser against the real service's host name.
class DefaultHost : public ::testing::Test {
protected:
    DefaultHost() { tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST)); }
};

} // namespace

TEST_F(DefaultHost, RecognisesFileLinksOfTheService) {
    const auto is = &RapidshareDownload::isServiceLink;
    EXPECT_TRUE(is("http://rapidshare.com/files/123/a.zip"));
    EXPECT_TRUE(is("HTTP://RAPIDSHARE.COM/FILES/123/A.ZIP"));
    EXPECT_TRUE(is("http://rapidshare.com:80/files/123/a.zip"));
    EXPECT_FALSE(is("http://rapidshare.com:8080/files/123/a.zip"));
    EXPECT_FALSE(is("http://rapidshare.com:80"));
    EXPECT_FALSE(is("http://rapidshare.com/files/1/"));
    EXPECT_FALSE(is("http://rapidshare.com/files/abc/a.zip"));
    EXPECT_FALSE(is("http://rapidshare.com/files//a.zip"));
    EXPECT_FALSE(is("http://rapidshare.com/files/123"));
    EXPECT_FALSE(is("http://rapidshare.com/files/123x/a"));
    EXPECT_TRUE(is("https://rapidshare.com/files/1/a.zip"));
    EXPECT_TRUE(is("HTTPS://rapidshare.com:443/files/1/a.zip"));
    EXPECT_FALSE(is("https://rapidshare.com:80/files/1/a.zip"));
    EXPECT_FALSE(is("http://rapidshare.com:443/files/1/a.zip"));
    EXPECT_FALSE(is("httpss://rapidshare.com/files/1/a.zip"));
    EXPECT_FALSE(is("ftp://rapidshare.com/files/1/a.zip"));
    EXPECT_FALSE(is("http://example.com/files/1/a.zip"));
    EXPECT_FALSE(is(""));
    // A file name that names a folder.
    EXPECT_TRUE(is("http://rapidshare.com/files/1/..a"));
    EXPECT_FALSE(is("http://rapidshare.com/files/1/.."));
    EXPECT_FALSE(is("http://rapidshare.com/files/1/."));
    EXPECT_FALSE(is("http://rapidshare.com/files/1/x\\.."));
}

// One file of the service however its link is spelt; any other link is its
// normalised address.
TEST_F(DefaultHost, EverySpellingOfAServiceLinkNamesOneFile) {
    const DownloadMaker maker;
    const std::string file = maker.identityOf(
        "https://rapidshare.com/files/42/%D0%9E%D1%82%D1%87%D1%91%D1%82%20%E2%84%961.rar");
    EXPECT_EQ(file, "service:42/%D0%9E%D1%82%D1%87%D1%91%D1%82%20%E2%84%961.rar");
    for (const std::string& written : std::vector<std::string>{
             "http://rapidshare.com/files/42/%D0%9E%D1%82%D1%87%D1%91%D1%82%20%E2%84%961.rar",
             "HTTPS://RapidShare.COM:443/files/42/%d0%9e%d1%82%d1%87%d1%91%d1%82%20%e2%84%961.rar",
             "http://rapidshare.com:80/files/042/"s + std::string("Отчёт №1.rar"_cp1251),
             "http://rapidshare.com/files/42/"s + std::string("Отчёт%20№1.r%61r"_cp1251),
         }) {
        EXPECT_EQ(maker.identityOf(written), file) << written;
    }
    for (const std::string& other : std::vector<std::string>{
             "https://rapidshare.com/files/43/%D0%9E%D1%82%D1%87%D1%91%D1%82%20%E2%84%961.rar",
             "https://rapidshare.com/files/42/"s + std::string("отчёт №1.rar"_cp1251),
             "https://rapidshare.com/files/42/%D0%9E%D1%82%D1%87%D1%91%D1%82%20%E2%84%961.ra",
         }) {
        EXPECT_NE(maker.identityOf(other), file) << other;
    }
    EXPECT_EQ(maker.identityOf("HTTP://Example.com:80/a%7e"), "http://example.com/a~");
}

TEST_F(Registry, TellsKindsAndMakesOnlyKnownOnes) {
    const std::string link = "http://" + sim.host() + "/files/1/a.zip";
    EXPECT_EQ(maker->kindOf(link), tolvenka::serviceHost());
    EXPECT_EQ(maker->kindOf(""), "");
    EXPECT_EQ(maker->kindOf("http://example.com/"), "");
    EXPECT_EQ(&tolvenka::downloadMaker(), maker.get());
    // Refused for want of a file name, or not a file link at all.
    EXPECT_TRUE(maker->lacksFileName("http://" + sim.host() + "/files/1/"));
    EXPECT_TRUE(maker->lacksFileName("http://" + sim.host() + "/files/1/.."));
    EXPECT_TRUE(maker->lacksFileName("http://" + sim.host() + "/files/4011"));
    EXPECT_FALSE(maker->lacksFileName("http://" + sim.host() + "/files/"));
    EXPECT_FALSE(maker->lacksFileName("http://" + sim.host() + "/files/4011x"));
    EXPECT_FALSE(maker->lacksFileName(link));
    EXPECT_FALSE(maker->lacksFileName("http://example.com/files/1/"));

    EXPECT_EQ(maker->createDownload("nope", link, folder.path()), nullptr);
    EXPECT_EQ(maker->createDownload("", link, folder.path()), nullptr);
    std::unique_ptr<tolvenka::Download> made(
        maker->createDownload(tolvenka::serviceHost(), link, folder.path()));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->getKindName(), tolvenka::serviceHost());
    EXPECT_EQ(made->getTargetPath(), folder.path() + "/a.zip");
}

TEST_F(Registry, AskingAnUnknownKindWhetherAFileExistsAsksNobody) {
    sim.addFile(fileSpec({Step::notFound()}));
    http::HttpClient client;
    EXPECT_FALSE(maker->fileExists("", "http://" + sim.host() + "/files/4711/report.zip", client));
    EXPECT_TRUE(sim.requests().empty());
}

TEST_F(Registry, ExistenceCheckAsksTheLinkPage) {
    const std::string there = sim.addFile(fileSpec({Step::ipBusy()}));
    auto gone = fileSpec({Step::notFound()});
    gone.id = "4712";
    const std::string missing = sim.addFile(gone);
    auto broken = fileSpec({Step::serverError()});
    broken.id = "4713";
    const std::string failing = sim.addFile(broken);

    http::HttpClient client;
    EXPECT_TRUE(maker->fileExists(tolvenka::serviceHost(), there, client));
    EXPECT_FALSE(maker->fileExists(tolvenka::serviceHost(), missing, client));
    EXPECT_ANY_THROW(maker->fileExists(tolvenka::serviceHost(), failing, client));
}

TEST_F(Registry, AnUnknownKindsRecordIsSkippedUpToItsClosingLine) {
    platform::DirectoryLookup folders;
    std::istringstream in("line one\r\nline two\r\n\r\nnext\r\n");
    EXPECT_EQ(maker->loadDownload("unknown", in, folders), nullptr);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "\r");
    std::getline(in, line);
    EXPECT_EQ(line, "next\r");

    std::istringstream bareLf("a\nb\n\nnext\n");
    EXPECT_EQ(maker->loadDownload("unknown", bareLf, folders), nullptr);
    std::getline(bareLf, line);
    EXPECT_EQ(line, "");

    // A line that only begins with CR is not the end of the record.
    std::istringstream strayCr("a\r\n\rb\r\n\r\n");
    EXPECT_EQ(maker->loadDownload("unknown", strayCr, folders), nullptr);
    std::getline(strayCr, line);
    EXPECT_EQ(line, "\r");

    std::istringstream atEnd("");
    std::string kind;
    std::getline(atEnd, kind);
    EXPECT_EQ(maker->loadDownload(kind, atEnd, folders), nullptr);
}
