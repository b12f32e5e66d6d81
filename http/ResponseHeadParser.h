#pragma once

#include "http/ResponseHead.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace http {

struct HeadParseResult {
    enum class Status { Complete, NeedMore, Error };

    Status status = Status::NeedMore;
    // Bytes of the buffer taken by the head, blank line included (Complete).
    std::size_t consumed = 0;
    std::string error; // Error
};

// Limits on what a server may send before the body. A reply beyond them is
// refused rather than buffered.
inline constexpr std::size_t maxHeadLineLength = 64 * 1024;
inline constexpr std::size_t maxHeadSize = 256 * 1024;
inline constexpr std::size_t maxHeaderCount = 100;

// Parses one status line and its header lines from the start of `buffer`.
// Lines end at LF; a CR before it is dropped. Pure: the caller may call it
// again with a longer buffer after NeedMore. `head` is filled on Complete.
HeadParseResult parseResponseHead(std::string_view buffer, ResponseHead& head);

} // namespace http
