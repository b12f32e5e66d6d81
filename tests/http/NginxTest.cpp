#include "http/HttpClient.h"
#include "http/HttpError.h"
#include "tests/common/TestHelpers.h"
#include "tests/http/NginxServer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using http::HttpClient;
using http::HttpStatusError;
using http_testing::NginxServer;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using testing_helpers::writeFile;

namespace {

std::string patternedBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7919 + i / 251) & 0xff);
    }
    return bytes;
}

class NginxTest : public ::testing::Test {
protected:
    NginxTest() {
        std::filesystem::create_directory(work.file("root"));
        writeFile(work.file("root/index.html"), "<html>index</html>\n");
        writeFile(work.file("root/a.txt"), "first file\n");
        writeFile(work.file("root/b.txt"), "second file\n");
    }

    TempDir work;
    NginxServer nginx{work.file("root"), work.path()};
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
    const std::string logFile = work.file("access.log");
    testing_helpers::pumpUntil([&] {
        const std::string text = readFile(logFile);
        return std::count(text.begin(), text.end(), '\n') >= 9;
    });
    std::istringstream log(readFile(logFile));
    std::set<std::string> connections;
    int requests = 0;
    for (std::string line; std::getline(log, line); ++requests) {
        connections.insert(line.substr(0, line.find(' ')));
    }
    EXPECT_EQ(requests, 9);
    EXPECT_EQ(connections.size(), 1u);
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
