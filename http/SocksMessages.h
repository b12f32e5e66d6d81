#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace http {

// The SOCKS5 messages of a connection through a proxy (RFC 1928, and RFC
// 1929 for the user name and password): what the client sends, made here,
// and what the proxy answers, parsed here. Pure; each parser reads from the
// start of `buffer` and may be called again with more after NeedMore.
namespace socks {

inline constexpr std::uint8_t version = 5;
inline constexpr std::uint8_t noAuthentication = 0;
inline constexpr std::uint8_t userPassword = 2;
inline constexpr std::uint8_t noAcceptableMethod = 0xFF;
inline constexpr std::uint8_t succeeded = 0;

struct Reply {
    enum class Status { Complete, NeedMore, Error };

    Status status = Status::NeedMore;
    std::size_t consumed = 0; // Complete
    // The method chosen, the sign-in status, or the connect reply code
    // (Complete).
    std::uint8_t code = 0;
    std::string error; // Error
};

// The greeting: the methods offered, user and password too when given.
std::string greeting(bool withPassword);
// The sign-in with a user name and password of at most 255 bytes each.
std::string passwordRequest(std::string_view user, std::string_view password);
// CONNECT to a host name of at most 255 bytes, resolved by the proxy.
std::string connectRequestForName(std::string_view host, std::uint16_t port);
// CONNECT to an address: the 4 or 16 bytes of an IPv4 or IPv6 address.
std::string connectRequestForAddress(std::string_view addressBytes, std::uint16_t port);

// The proxy's choice of method: version 5 and the method.
Reply parseMethodChoice(std::string_view buffer);
// The sign-in reply: version 1 and a status, 0 for success.
Reply parsePasswordReply(std::string_view buffer);
// The reply to CONNECT: version 5, the code, a reserved 0, and the bound
// address (IPv4, a name or IPv6) and port.
Reply parseConnectReply(std::string_view buffer);

} // namespace socks

} // namespace http
