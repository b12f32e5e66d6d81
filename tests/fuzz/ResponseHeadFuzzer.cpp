// The response head parser on any bytes: no crash, no hang, and a verdict
// that does not depend on how much of the reply has arrived.
#include "http/ResponseHeadParser.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using fuzzing::require;
using http::HeadParseResult;
using http::ResponseHead;
using Status = HeadParseResult::Status;

namespace {

bool sameHead(const ResponseHead& a, const ResponseHead& b) {
    if (a.statusLine != b.statusLine || a.statusCode != b.statusCode || a.isHttp10 != b.isHttp10 ||
        a.headers.size() != b.headers.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.headers.size(); ++i) {
        if (a.headers[i].name != b.headers[i].name || a.headers[i].value != b.headers[i].value) {
            return false;
        }
    }
    return true;
}

// A prefix of the reply agrees with the whole, and its head ends within it.
void checkPrefix(std::string_view reply, std::size_t length, const HeadParseResult& whole,
                 const ResponseHead& wholeHead) {
    ResponseHead head;
    const HeadParseResult result = http::parseResponseHead(reply.substr(0, length), head);
    require(result.status != Status::Complete || result.consumed <= length,
            "a prefix's head ends within the prefix");
    fuzzing::requirePrefixAgrees(result, length, whole, [&] { return sameHead(head, wholeHead); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    ResponseHead head;
    const HeadParseResult whole = http::parseResponseHead(reply, head);
    switch (whole.status) {
    case Status::Complete:
        require(whole.consumed > 0 && whole.consumed <= size, "the head lies within the reply");
        require(reply[whole.consumed - 1] == '\n', "the head ends with a line feed");
        require(head.statusCode >= 0 && head.statusCode <= 999, "the status has three digits");
        checkPrefix(reply, whole.consumed, whole, head);
        checkPrefix(reply, whole.consumed - 1, whole, head);
        break;
    case Status::Error:
        require(!whole.error.empty(), "a fault is named");
        break;
    case Status::NeedMore:
        require(whole.consumed == 0, "an unfinished head consumes nothing");
        break;
    }
    if (size > 0) {
        checkPrefix(reply, size - 1, whole, head);
        checkPrefix(reply, size / 2, whole, head);
    }
    return 0;
}
