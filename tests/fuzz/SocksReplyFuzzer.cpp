// A SOCKS5 proxy's replies on any bytes (the first byte picks which one):
// no crash, no hang, a reply that lies within the bytes, and a verdict that
// does not depend on how much has arrived.
#include "http/SocksMessages.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using fuzzing::require;
namespace socks = http::socks;
using Status = socks::Reply::Status;

namespace {

using Parser = socks::Reply (*)(std::string_view);

void checkPrefix(Parser parse, std::string_view reply, std::size_t length,
                 const socks::Reply& whole) {
    const socks::Reply part = parse(reply.substr(0, length));
    fuzzing::requirePrefixAgrees(part, length, whole, [&] { return part.code == whole.code; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const Parser parsers[] = {&socks::parseMethodChoice, &socks::parsePasswordReply,
                              &socks::parseConnectReply};
    const Parser parse = parsers[data[0] % 3];
    const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
    const socks::Reply whole = parse(reply);
    if (whole.status == Status::Complete) {
        require(whole.consumed >= 2 && whole.consumed <= reply.size(),
                "the reply lies within the bytes");
        require(whole.consumed <= 4 + 256 + 2, "a reply is never longer than the protocol allows");
        checkPrefix(parse, reply, whole.consumed - 1, whole);
    } else if (whole.status == Status::Error) {
        require(!whole.error.empty(), "a fault is named");
    }
    checkPrefix(parse, reply, reply.size() / 2, whole);
    return 0;
}
