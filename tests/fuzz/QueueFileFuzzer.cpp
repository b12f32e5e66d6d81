// Any bytes read as a queue file: loading never fails badly, and what is
// saved reads back as the same queue and saves as the same bytes.
#include "engine/Download.h"
#include "platform/FileSystem.h"
#include "queue/DownloadsSet.h"
#include "queue/QueueFile.h"
#include "tests/fuzz/FuzzRegistry.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

using fuzzing::require;
using tolvenka::DownloadsSet;
using tolvenka::QueueOptions;

namespace {

struct Loaded {
    QueueOptions options;
    DownloadsSet set{1, 40};
};

// Read as a file is, a block at a time: blocks of a few bytes, so that lines
// and the parser's steps back are cut everywhere.
void load(const std::string& content, Loaded& loaded) {
    const std::size_t blockSize = 1 + content.size() % 7;
    const tolvenka::FileOpener serve = [&](const std::string&, tolvenka::BlockReader& readBlock) {
        readBlock = [&, at = std::size_t{0}](std::string& bytes) mutable {
            bytes += content.substr(std::min(at, content.size()), blockSize);
            at += blockSize;
            return 0;
        };
        return 0;
    };
    tolvenka::takeQueueFile(tolvenka::readQueueFile("fuzzed", serve), loaded.options, loaded.set);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The queue's timer needs the application object. It is never deleted:
    // it must outlive every timer, and libFuzzer may end the process anywhere.
    static int argc = 1;
    static char name[] = "fuzz_queue_file";
    static char* argv[] = {name, nullptr};
    [[maybe_unused]] static QCoreApplication* const application = new QCoreApplication(argc, argv);
    fuzzing::setUpRegistry();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // What the queues of the last input handed to the GUI thread, dropped
    // now that they are gone, so that it does not pile up.
    QCoreApplication::processEvents();
    Loaded first;
    load(std::string(reinterpret_cast<const char*>(data), size), first);
    const std::string saved = tolvenka::queueFileContent(first.options, first.set);

    Loaded second;
    load(saved, second);
    require(second.options == first.options, "the options read back");
    require(second.set.count() == first.set.count(), "every download reads back");
    // A stored target that names a folder on this machine gets the link's
    // file name each time it is loaded, so it need not read back unchanged.
    bool targetsKept = true;
    for (int i = 0; i < first.set.count(); ++i) {
        const tolvenka::Download& before = *first.set.at(i);
        const tolvenka::Download& after = *second.set.at(i);
        require(after.getLink() == before.getLink(), "links read back");
        require(after.getState() == before.getState(), "states read back");
        require(after.isHeld() == before.isHeld(), "held downloads read back held");
        if (platform::isDirectory(std::string(before.getTargetPath()))) {
            targetsKept = false;
            continue;
        }
        require(after.getTargetPath() == before.getTargetPath(), "target paths read back");
    }
    if (targetsKept) {
        require(tolvenka::queueFileContent(second.options, second.set) == saved,
                "a saved queue saves as the same bytes");
    }
    return 0;
}
