#pragma once

#include "tools/service-sim/FileSpec.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace servicesim {

// The options of the tolvenka-service-sim program. Options after a --file
// apply to that file; parse errors throw std::invalid_argument.
class CommandLine {
public:
    std::uint16_t port = 0;
    std::vector<FileSpec> files;
    bool helpWanted = false;

    static CommandLine parse(const std::vector<std::string>& arguments);
    static std::string usage();

    // "512", "200K", "5M", "1G" (powers of 1024).
    static std::uint64_t parseSize(std::string_view text);
    // "ipbusy,countdown:3,...": see usage().
    static std::vector<Step> parseScript(std::string_view text);
    static Step parseStep(std::string_view text);

private:
    void apply(std::string_view option, const std::string& value);
    FileSpec& currentFile(std::string_view option);
};

} // namespace servicesim
