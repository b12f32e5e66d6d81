#pragma once

#include "archives/ArchiveSet.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tolvenka::archives {

// What to unpack where. Texts are CP1251.
struct UnpackRequest {
    ArchiveSet set;
    // The folder the set's content goes into (made if missing).
    std::string targetFolder;
    // Tried in turn where the set is encrypted. None of them reaches a log
    // or a message.
    std::vector<std::string> passwords;
    // Free bytes where the set unpacks (a UTF-8 folder that exists); by
    // default what the file system says. Nothing: unknown, not checked.
    std::function<std::optional<std::uint64_t>(const std::string& folder)> freeSpace;
    // Called on the unpacking thread now and then as bytes are written,
    // with the bytes written and those the set declares in all. It must
    // not wait for the GUI thread long: hand the figures over and return.
    std::function<void(std::int64_t done, std::int64_t total)> onProgress;
};

// The figures of an unpacking under way, for any thread to read.
struct UnpackProgress {
    std::atomic<std::int64_t> done{0};
    std::atomic<std::int64_t> total{0};
};

} // namespace tolvenka::archives
