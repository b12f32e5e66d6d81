// Checks a downloaded file against the bytes the simulated service serves.
//
//   tolvenka-service-sim-check ID SIZE PATH
//
// Exit status 0 when PATH holds exactly SIZE bytes of file ID, 1 otherwise.
#include "tools/service-sim/FileContent.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ID SIZE PATH\n", argv[0]);
        return 2;
    }
    const std::string id = argv[1];
    const std::uint64_t size = std::stoull(argv[2]);
    std::ifstream in(argv[3], std::ios::binary);
    if (!in) {
        std::printf("%s: missing\n", argv[3]);
        return 1;
    }
    std::vector<char> actual(1 << 20);
    std::vector<char> expected(actual.size());
    std::uint64_t offset = 0;
    while (in.read(actual.data(), static_cast<std::streamsize>(actual.size())) || in.gcount() > 0) {
        const auto count = static_cast<std::size_t>(in.gcount());
        servicesim::fillFileBytes(id, offset, expected.data(), count);
        if (offset + count > size ||
            !std::equal(actual.begin(), actual.begin() + count, expected.begin())) {
            std::printf("%s: differs from file %s\n", argv[3], id.c_str());
            return 1;
        }
        offset += count;
    }
    if (offset != size) {
        std::printf("%s: %llu bytes instead of %llu\n", argv[3],
                    static_cast<unsigned long long>(offset), static_cast<unsigned long long>(size));
        return 1;
    }
    std::printf("%s: all %llu bytes right\n", argv[3], static_cast<unsigned long long>(size));
    return 0;
}
