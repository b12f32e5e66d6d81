#include "queue/ArrivalHistory.h"

#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "tests/common/TestHelpers.h"
#include "tests/engine/ScriptedDownload.h"

#include <chrono>
#include <gtest/gtest.h>

using namespace kestrune::text::literals;
using namespace std::string_literals;
using tolvenka::ArrivalHistory;

// A record names the file as it arrived, and is found by any spelling of its
// link; the same file found again after a death keeps its first record.
TEST(ArrivalHistory, RecordsWhatArrivedAndFindsItByAnySpellingOfItsLink) {
    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    const tolvenka::DownloadMaker maker;
    testing_helpers::TempDir data;
    ArrivalHistory history(data.file("history.sqlite"));
    const std::string link = "https://rapidshare.com/files/5/%D0%9E.zip";
    const std::string path = "/d/"s + std::string("О (1).zip"_cp1251);
    testing_helpers::ScriptedDownload download(link, path);
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    history.recordArrival(download, {1234, 9, false});
    history.recordArrival(download, {1234, -1, true});

    const auto arrivals = history.lastArrivals(
        {"http://RAPIDSHARE.com/files/5/"s + std::string("О.zip"_cp1251), link + "x"});
    ASSERT_TRUE(arrivals[0].has_value());
    EXPECT_NEAR(static_cast<double>(*arrivals[0]), static_cast<double>(now), 5);
    EXPECT_FALSE(arrivals[1].has_value());
    const auto records = history.database().records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].link, link);
    EXPECT_EQ(records[0].fileName, std::string("О (1).zip"_cp1251));
    EXPECT_EQ(records[0].path, path);
    EXPECT_EQ(records[0].size, 1234);
    EXPECT_EQ(records[0].seconds, 9);
}
