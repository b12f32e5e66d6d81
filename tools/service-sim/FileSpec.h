#pragma once

#include "tools/service-sim/Step.h"

#include <cstdint>
#include <string>
#include <vector>

namespace servicesim {

// How the file reply frames its body.
enum class Delivery {
    ContentLength, // a Content-Length header
    Chunked,       // Transfer-Encoding: chunked
    UntilClose,    // no length; the end of the body is the closing of the connection
};

// One file the service offers, served at "/files/<id>/<name>".
struct FileSpec {
    std::string id = "1"; // decimal digits
    std::string name = "file.bin";
    std::uint64_t size = 0;
    Delivery delivery = Delivery::ContentLength;
    std::uint64_t bytesPerSecond = 0; // 0: as fast as the socket takes it
    std::int64_t breakAfter = -1;     // close the connection after this many body bytes; -1: never
    int breakingReplies = -1;         // how many file replies break off; -1: every one
    std::vector<Step> script;         // empty: a countdown of 0 at every attempt
};

} // namespace servicesim
