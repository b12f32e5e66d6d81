#pragma once

#include "service/ServiceHost.h"

#include <sstream>
#include <string>
#include <string_view>

namespace bench {

// `count` records in the queue file's format, of the service host set now,
// download `i` in the state of `wordOf(i)`.
template <typename WordOf>
std::string queueRecords(int count, WordOf wordOf) {
    const std::string& host = tolvenka::serviceHost();
    std::ostringstream out(std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string name = "file-" + std::to_string(i) + ".rar";
        out << host << "\r\nhttp://" << host << "/files/" << 100'000'000 + i << "/" << name
            << "\r\n/tmp/downloads/" << name << "\r\n"
            << std::string_view(wordOf(i)) << "\r\n\r\n";
    }
    return out.str();
}

} // namespace bench
