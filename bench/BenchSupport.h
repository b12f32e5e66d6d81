#pragma once

#include "service/ServiceHost.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {

// The middle of the figures of several repeats: one slow run on a shared
// machine moves it least.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A fresh folder of this run's own under the temporary folder.
inline std::filesystem::path scratchFolder(const std::string& name) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

// A queue file of `count` queued downloads of the service host set now,
// their files in `folder`.
inline void writeQueueFile(const std::string& path, int count, const std::string& folder) {
    std::ofstream out(path, std::ios::binary);
    out << "1\r\n" << folder << "\r\n";
    for (int i = 0; i < count; ++i) {
        const std::string name = "file" + std::to_string(i) + ".bin";
        out << tolvenka::serviceHost() << "\r\nhttp://" << tolvenka::serviceHost() << "/files/"
            << 100000 + i << "/" << name << "\r\n"
            << folder << "/" << name << "\r\nQueue\r\n\r\n";
    }
}

} // namespace bench
