#include "tools/service-sim/CommandLine.h"

#include "tools/service-sim/TextUtil.h"

#include <limits>
#include <stdexcept>

namespace servicesim {

namespace {

std::invalid_argument badValue(std::string_view option, std::string_view value) {
    return std::invalid_argument("bad value for " + std::string(option) + ": '" +
                                 std::string(value) + "'");
}

std::uint64_t multiplierOf(char suffix) {
    switch (suffix) {
    case 'K':
    case 'k':
        return 1024;
    case 'M':
    case 'm':
        return 1024 * 1024;
    case 'G':
    case 'g':
        return 1024 * 1024 * 1024;
    default:
        return 0;
    }
}

int parseMinutes(std::string_view step, std::string_view text) {
    const auto minutes = parseDecimal(text);
    if (!minutes || *minutes > 100000) {
        throw badValue("--script", step);
    }
    return static_cast<int>(*minutes);
}

Delivery parseDelivery(std::string_view text) {
    if (text == "length") {
        return Delivery::ContentLength;
    }
    if (text == "chunked") {
        return Delivery::Chunked;
    }
    if (text == "close") {
        return Delivery::UntilClose;
    }
    throw badValue("--delivery", text);
}

FileSpec fileFromArgument(std::string_view text) {
    const auto slash = text.find('/');
    FileSpec spec;
    if (slash == std::string_view::npos || !isDigits(text.substr(0, slash)) ||
        slash + 1 == text.size()) {
        throw badValue("--file", text);
    }
    spec.id = text.substr(0, slash);
    spec.name = text.substr(slash + 1);
    return spec;
}

} // namespace

std::uint64_t CommandLine::parseSize(std::string_view text) {
    std::uint64_t multiplier = 1;
    if (!text.empty() && multiplierOf(text.back()) != 0) {
        multiplier = multiplierOf(text.back());
        text.remove_suffix(1);
    }
    const auto number = parseDecimal(text);
    if (!number || *number > std::numeric_limits<std::uint64_t>::max() / multiplier) {
        throw std::invalid_argument("bad size: '" + std::string(text) + "'");
    }
    return *number * multiplier;
}

Step CommandLine::parseStep(std::string_view text) {
    const auto colon = text.find(':');
    const auto name = text.substr(0, colon);
    const bool hasArgument = colon != std::string_view::npos;
    const auto argument = hasArgument ? text.substr(colon + 1) : std::string_view{};
    if (name == "countdown") {
        return Step::countdown(hasArgument ? std::string(argument) : "0");
    }
    if (name == "wait" || name == "waitbusy") {
        const int minutes = hasArgument ? parseMinutes(text, argument) : 3;
        return name == "wait" ? Step::waitMinutes(minutes) : Step::waitMinutesAndIpBusy(minutes);
    }
    if (hasArgument) {
        throw badValue("--script", text);
    }
    static const std::pair<std::string_view, Step> plain[] = {
        {"notfound", Step::notFound()}, {"notfoundform", Step::notFoundWithForm()},
        {"noform", Step::noForm()},     {"error", Step::serverError()},
        {"ipbusy", Step::ipBusy()},     {"overloaded", Step::overloaded()},
        {"garbage", Step::garbage()},   {"nocountdown", Step::countdownWithoutVar()},
    };
    for (const auto& [word, step] : plain) {
        if (name == word) {
            return step;
        }
    }
    throw badValue("--script", text);
}

std::vector<Step> CommandLine::parseScript(std::string_view text) {
    std::vector<Step> steps;
    for (;;) {
        const auto comma = text.find(',');
        steps.push_back(parseStep(text.substr(0, comma)));
        if (comma == std::string_view::npos) {
            return steps;
        }
        text.remove_prefix(comma + 1);
    }
}

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            line.helpWanted = true;
            continue;
        }
        if (!option.starts_with("--")) {
            throw std::invalid_argument("unexpected argument: '" + option + "'");
        }
        if (i + 1 == arguments.size()) {
            throw std::invalid_argument(option + " needs a value");
        }
        line.apply(option, arguments[++i]);
    }
    return line;
}

FileSpec& CommandLine::currentFile(std::string_view option) {
    if (files.empty()) {
        throw std::invalid_argument(std::string(option) + " must follow a --file");
    }
    return files.back();
}

void CommandLine::apply(std::string_view option, const std::string& value) {
    if (option == "--port") {
        const auto number = parseDecimal(value);
        if (!number || *number > std::numeric_limits<std::uint16_t>::max()) {
            throw badValue(option, value);
        }
        port = static_cast<std::uint16_t>(*number);
    } else if (option == "--file") {
        files.push_back(fileFromArgument(value));
    } else if (option == "--size") {
        currentFile(option).size = parseSize(value);
    } else if (option == "--rate") {
        currentFile(option).bytesPerSecond = parseSize(value);
    } else if (option == "--delivery") {
        currentFile(option).delivery = parseDelivery(value);
    } else if (option == "--break") {
        const auto bytes = parseSize(value);
        if (bytes > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            throw badValue(option, value);
        }
        currentFile(option).breakAfter = static_cast<std::int64_t>(bytes);
    } else if (option == "--break-times") {
        const auto times = parseDecimal(value);
        if (!times || *times > 1'000'000) {
            throw badValue(option, value);
        }
        currentFile(option).breakingReplies = static_cast<int>(*times);
    } else if (option == "--script") {
        currentFile(option).script = parseScript(value);
    } else {
        throw std::invalid_argument("unknown option: " + std::string(option));
    }
}

std::string CommandLine::usage() {
    return R"(Usage: tolvenka-service-sim [--port N] --file ID/NAME [FILE OPTIONS] [--file ...]

A simulated file-hosting service on 127.0.0.1. Prints "127.0.0.1:PORT" and
then the link of each file, one per line, and serves until SIGINT or SIGTERM.

  --port N            listen on port N (default: a port the system picks)
  --file ID/NAME      offer a file at /files/ID/NAME (ID: digits); the options
                      below apply to the last --file
  --size SIZE         file size in bytes (default 0)
  --rate SIZE         send the file at most SIZE bytes per second
  --delivery MODE     length (Content-Length, default), chunked, or close
                      (no length; the end of the body is the close)
  --break SIZE        close the connection after SIZE bytes of the file
  --break-times N     only the first N file replies break off (default: all)
  --script STEPS      comma-separated outcomes, one per GET of the link page;
                      the last repeats (default: countdown:0)
  --help              show this text

SIZE: a number of bytes, optionally with K, M or G (powers of 1024).

STEPS:
  notfound            link page with "The file could not be found."
  notfoundform        link page with that text and the free form
  noform              link page without the free form
  error               HTTP 500 for the link page
  ipbusy              free-form reply: "... is already downloading a file."
  wait[:MIN]          free-form reply: "... Or try again in about MIN minutes."
  waitbusy[:MIN]      free-form reply with both of the above
  overloaded          free-form reply: "Currently a lot of users are downloading files."
  garbage             free-form reply with none of the known texts
  countdown[:TEXT]    free-form reply with "var c=TEXT;" and the final form
  nocountdown         free-form reply with the final form but no "var c="

Addresses: the free form posts "dl.start=Free" to /ff/ID/ATTEMPT; the final
form posts "mirror=" to /dl/ID/NAME, whose reply is the file. GET /list
gives a page that links every file.
)";
}

} // namespace servicesim
