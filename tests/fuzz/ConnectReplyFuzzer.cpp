// An HTTP proxy's reply to CONNECT on any bytes: no crash, no hang, and a
// verdict that does not depend on how much of the reply has arrived.
#include "http/ConnectReply.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using fuzzing::require;
using http::ConnectReply;
using Status = ConnectReply::Status;

namespace {

void checkPrefix(std::string_view reply, std::size_t length, const ConnectReply& whole) {
    const ConnectReply part = ConnectReply::parse(reply.substr(0, length));
    fuzzing::requirePrefixAgrees(part, length, whole, [&] {
        return part.statusCode == whole.statusCode && part.summary == whole.summary;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const ConnectReply whole = ConnectReply::parse(reply);
    if (whole.status == Status::Complete) {
        require(whole.consumed > 0 && whole.consumed <= size, "the reply lies within the bytes");
        require(whole.summary.size() <= 80, "the summary is short");
        for (const char c : whole.summary) {
            require(c >= 0x20 && c < 0x7F, "the summary is printable ASCII");
        }
        require(whole.isTunnel() == (whole.statusCode / 100 == 2), "only a success opens");
        checkPrefix(reply, whole.consumed - 1, whole);
    } else if (whole.status == Status::Error) {
        require(!whole.error.empty(), "a fault is named");
    }
    if (size > 0) {
        checkPrefix(reply, size - 1, whole);
        checkPrefix(reply, size / 2, whole);
    }
    return 0;
}
