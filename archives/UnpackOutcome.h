#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvenka::archives {

// How the unpacking of one set ended, with what the caller needs after it:
// the parts that may go to the trash (only after `Unpacked`), the figures of
// the notice, and where the content went. Texts and paths are CP1251.
struct UnpackOutcome {
    enum class Result : std::uint8_t {
        Unpacked,
        // Stopped with `reason`; what was unpacked so far is gone, the
        // parts are as they were.
        Failed,
        // Encrypted, and none of the passwords given opens it: the caller
        // asks the user once and tries again.
        NeedsPassword,
        // Encrypted in a way that cannot be read here (RAR, 7-Zip); left
        // whole.
        UnsupportedEncryption,
        Cancelled,
    };

    Result result = Result::Failed;
    // Why the set was not unpacked; empty when it was.
    std::string reason;
    std::string setName;
    std::vector<std::string> partPaths;
    // The folder, or the single file or folder, that now holds the set's
    // content; empty when nothing was placed.
    std::string placedAt;
    // Files written (hard links count, folders and symbolic links do not)
    // and their bytes.
    std::int64_t fileCount = 0;
    std::int64_t totalBytes = 0;
    // Which of the passwords opened the set; -1 when it needed none.
    int passwordIndex = -1;

    bool unpacked() const { return result == Result::Unpacked; }
    // "Распакован набор «<набор>»: файлов N, X ГБ".
    std::string notice() const;
};

// A size in gigabytes the way the notice says it: "1,4 ГБ"; below a tenth,
// two decimals ("0,03 ГБ").
std::string gigabytesText(std::int64_t bytes);

} // namespace tolvenka::archives
