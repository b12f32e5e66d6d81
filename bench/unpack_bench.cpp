// Unpacks one set into a folder the way the program does: on an
// UnpackThread, at the lowest CPU and I/O priority. For
// bench/unpack_vs_bsdtar.sh.
// Usage: bench_unpack TARGET_FOLDER PART...
#include "archives/ArchiveSet.h"
#include "archives/UnpackThread.h"
#include "support/Cp1251.h"

#include <cstdio>
#include <future>

using tolvenka::archives::ArchiveSet;
using tolvenka::archives::UnpackOutcome;
using tolvenka::archives::UnpackRequest;
using tolvenka::archives::UnpackThread;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_unpack TARGET_FOLDER PART...\n");
        return 2;
    }
    std::vector<std::string> parts;
    for (int i = 2; i < argc; ++i) {
        parts.push_back(kestrune::text::fromUtf8(argv[i]));
    }
    const std::vector<ArchiveSet> sets = ArchiveSet::group(parts);
    if (sets.size() != 1) {
        std::fprintf(stderr, "the parts make %zu sets, not one\n", sets.size());
        return 2;
    }
    std::promise<UnpackOutcome> ended;
    UnpackOutcome outcome;
    {
        UnpackThread thread(
            UnpackRequest{sets.front(), kestrune::text::fromUtf8(argv[1]), {}, {}, {}},
            [&](UnpackOutcome done) { ended.set_value(std::move(done)); });
        outcome = ended.get_future().get();
    }
    if (!outcome.unpacked()) {
        std::fprintf(stderr, "not unpacked: %s\n", kestrune::text::toUtf8(outcome.reason).c_str());
        return 1;
    }
    std::printf("files=%lld bytes=%lld\n", static_cast<long long>(outcome.fileCount),
                static_cast<long long>(outcome.totalBytes));
    return 0;
}
