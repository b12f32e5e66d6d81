#pragma once

#include <algorithm>
#include <filesystem>
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

} // namespace bench
