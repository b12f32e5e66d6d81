#include "http/HttpClient.h"
#include "http/HttpError.h"
#include "tests/common/TestHelpers.h"
#include "tests/http/NginxServer.h"
#include "tests/http/Replies.h"

#include <fstream>
#include <gtest/gtest.h>
#include <set>

using http::HttpClient;
using http::HttpStatusError;
using http_testing::NginxServer;
using http_testing::patternedBytes;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::writeFile;

namespace {

class NginxTest : public ::testing::Test {
protected:
    NginxTest() { writeFile(work.file("root/index.html"), "<html>index</html>\n"); }

    TempDir work;
    NginxServer nginx{http_testing::makeTwoFileRoot(work.path()), work.path()};
    HttpClient client;
};

} // namespace

TEST_F(NginxTest, KeepAliveSeriesOfGets) {
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(client.Get(nginx.url("/a.txt")), "first file\n");
        EXPECT_EQ(client.Get(nginx.url("/b.txt?v=" + std::to_string(round))), "second file\n");
        EXPECT_EQ(client.Get(nginx.url("/")), "<html>index</html>\n");
    }
    EXPECT_EQ(client.ContentLength(), 19);
    // Each access log line starts with the serial number of its connection.
    // nginx logs a request after answering it, so the last line may lag.
    testing_helpers::pumpUntil(
        [&] { return http_testing::loggedConnections(work.path()).size() >= 9; });
    const std::vector<std::string> connections = http_testing::loggedConnections(work.path());
    EXPECT_EQ(connections.size(), 9u);
    EXPECT_EQ(std::set<std::string>(connections.begin(), connections.end()).size(), 1u);
}

TEST_F(NginxTest, MissingFileIsA404) {
    try {
        client.Get(nginx.url("/missing.txt"));
        FAIL() << "a missing file was fetched";
    } catch (const HttpStatusError& error) {
        EXPECT_EQ(error.getStatusCode(), 404);
    }
    EXPECT_EQ(client.Get(nginx.url("/a.txt")), "first file\n");
}

TEST_F(NginxTest, LargeFileIntoAFileStream) {
    const std::string content = patternedBytes(5 * 1024 * 1024 + 123);
    writeFile(work.file("root/large.bin"), content);
    {
        std::ofstream file(work.file("copy.bin"), std::ios::binary);
        client.Get(nginx.url("/large.bin"), file);
    }
    EXPECT_EQ(client.ContentLength(), static_cast<std::int64_t>(content.size()));
    EXPECT_TRUE(readFile(work.file("copy.bin")) == content);
}
