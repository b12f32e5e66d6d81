#include "tools/service-sim/CommandLine.h"

#include <gtest/gtest.h>

using namespace servicesim;

namespace {

CommandLine parse(std::vector<std::string> arguments) {
    return CommandLine::parse(arguments);
}

TEST(CommandLineSize, SuffixesArePowersOf1024) {
    EXPECT_EQ(CommandLine::parseSize("0"), 0u);
    EXPECT_EQ(CommandLine::parseSize("512"), 512u);
    EXPECT_EQ(CommandLine::parseSize("200K"), 200u * 1024);
    EXPECT_EQ(CommandLine::parseSize("3k"), 3u * 1024);
    EXPECT_EQ(CommandLine::parseSize("5M"), 5u << 20);
    EXPECT_EQ(CommandLine::parseSize("1G"), 1ULL << 30);
    EXPECT_EQ(CommandLine::parseSize("8589934592G"), 8589934592ULL << 30);
}

TEST(CommandLineSize, RejectsWhatIsNoSize) {
    for (const char* text :
         {"", "K", "5X", "-1", "5MB", "1.5M", " 5", "18446744073709551616", "17179869184G"}) {
        EXPECT_THROW(CommandLine::parseSize(text), std::invalid_argument) << text;
    }
}

TEST(CommandLineScript, EveryStepWord) {
    using Kind = Step::Kind;
    const auto steps = CommandLine::parseScript(
        "notfound,notfoundform,noform,error,ipbusy,wait,overloaded,waitbusy:9,garbage,"
        "countdown:-5,countdown,nocountdown,wait:12");
    const Kind kinds[] = {
        Kind::NotFound,   Kind::NotFoundWithForm, Kind::NoForm,     Kind::ServerError,
        Kind::IpBusy,     Kind::WaitMinutes,      Kind::Overloaded, Kind::WaitMinutesAndIpBusy,
        Kind::Garbage,    Kind::Countdown,        Kind::Countdown,  Kind::Countdown,
        Kind::WaitMinutes};
    ASSERT_EQ(steps.size(), std::size(kinds));
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].kind, kinds[i]) << i;
    }
    EXPECT_EQ(steps[5].minutes, 3);
    EXPECT_EQ(steps[7].minutes, 9);
    EXPECT_EQ(steps[12].minutes, 12);
    EXPECT_EQ(steps[9].countdownText, "-5");
    EXPECT_EQ(steps[10].countdownText, "0");
    EXPECT_TRUE(steps[10].withCountdownVar);
    EXPECT_FALSE(steps[11].withCountdownVar);
}

TEST(CommandLineScript, CountdownTextIsTakenAsItIs) {
    EXPECT_EQ(CommandLine::parseStep("countdown:abc").countdownText, "abc");
    EXPECT_EQ(CommandLine::parseStep("countdown:").countdownText, "");
    EXPECT_EQ(CommandLine::parseStep("countdown: 7:x").countdownText, " 7:x");
}

TEST(CommandLineScript, RejectsUnknownSteps) {
    for (const char* text :
         {"", "busy", "ipbusy:3", "wait:x", "wait:", "IPBUSY", "ipbusy,", "ipbusy,,garbage"}) {
        EXPECT_THROW(CommandLine::parseScript(text), std::invalid_argument) << text;
    }
}

TEST(CommandLineOptions, OptionsApplyToTheFileBeforeThem) {
    const auto line = parse({"--port",        "8080",
                             "--file",        "1001/report.zip",
                             "--size",        "5M",
                             "--rate",        "200K",
                             "--delivery",    "chunked",
                             "--break",       "1K",
                             "--break-times", "2",
                             "--script",      "ipbusy,countdown:3",
                             "--file",        "1002/missing.zip",
                             "--script",      "notfound"});
    EXPECT_EQ(line.port, 8080);
    ASSERT_EQ(line.files.size(), 2u);
    const FileSpec& first = line.files[0];
    EXPECT_EQ(first.id, "1001");
    EXPECT_EQ(first.name, "report.zip");
    EXPECT_EQ(first.size, 5u << 20);
    EXPECT_EQ(first.bytesPerSecond, 200u * 1024);
    EXPECT_EQ(first.delivery, Delivery::Chunked);
    EXPECT_EQ(first.breakAfter, 1024);
    EXPECT_EQ(first.breakingReplies, 2);
    EXPECT_EQ(first.script.size(), 2u);
    const FileSpec& second = line.files[1];
    EXPECT_EQ(second.size, 0u);
    EXPECT_EQ(second.delivery, Delivery::ContentLength);
    EXPECT_EQ(second.breakAfter, -1);
    EXPECT_EQ(second.breakingReplies, -1);
    ASSERT_EQ(second.script.size(), 1u);
    EXPECT_EQ(second.script[0].kind, Step::Kind::NotFound);
}

TEST(CommandLineOptions, DeliveryWords) {
    EXPECT_EQ(parse({"--file", "1/a", "--delivery", "length"}).files[0].delivery,
              Delivery::ContentLength);
    EXPECT_EQ(parse({"--file", "1/a", "--delivery", "close"}).files[0].delivery,
              Delivery::UntilClose);
}

TEST(CommandLineOptions, Help) {
    EXPECT_TRUE(parse({"--help"}).helpWanted);
    EXPECT_TRUE(parse({"--file", "1/a", "-h"}).helpWanted);
    EXPECT_FALSE(parse({}).helpWanted);
    EXPECT_NE(CommandLine::usage().find("--script"), std::string::npos);
}

TEST(CommandLineOptions, Errors) {
    const std::vector<std::vector<std::string>> bad = {
        {"--size", "5M"},                          // before any --file
        {"--file", "1/a", "--size"},               // no value
        {"--file", "1/a", "--colour", "red"},      // unknown option
        {"stray"},                                 //
        {"--file", "abc/x"},                       // id not digits
        {"--file", "12/"},                         // no name
        {"--file", "12"},                          // no slash
        {"--file", "1/a", "--delivery", "fast"},   //
        {"--port", "70000"},                       //
        {"--port", "-1"},                          //
        {"--file", "1/a", "--break-times", "x"},   //
        {"--file", "1/a", "--script", "sometimes"} //
    };
    for (const auto& arguments : bad) {
        EXPECT_THROW(parse(arguments), std::invalid_argument) << arguments[0];
    }
}

} // namespace
