#include "http/SocksMessages.h"

namespace http::socks {

namespace {

constexpr std::uint8_t passwordVersion = 1;
constexpr std::uint8_t connectCommand = 1;
constexpr std::uint8_t ipv4Address = 1;
constexpr std::uint8_t nameAddress = 3;
constexpr std::uint8_t ipv6Address = 4;

std::uint8_t byteAt(std::string_view buffer, std::size_t at) {
    return static_cast<std::uint8_t>(buffer[at]);
}

Reply complete(std::size_t consumed, std::uint8_t code) {
    return {Reply::Status::Complete, consumed, code, {}};
}

Reply failure(std::string error) {
    return {Reply::Status::Error, 0, 0, std::move(error)};
}

void appendPort(std::string& message, std::uint16_t port) {
    message += static_cast<char>(port >> 8);
    message += static_cast<char>(port & 0xFF);
}

// A reply of two bytes whose first is `expectedVersion`.
Reply parsePair(std::string_view buffer, std::uint8_t expectedVersion) {
    if (!buffer.empty() && byteAt(buffer, 0) != expectedVersion) {
        return failure("wrong version in the SOCKS reply");
    }
    if (buffer.size() < 2) {
        return {};
    }
    return complete(2, byteAt(buffer, 1));
}

} // namespace

std::string greeting(bool withPassword) {
    std::string message{static_cast<char>(version)};
    if (withPassword) {
        message += {2, static_cast<char>(noAuthentication), static_cast<char>(userPassword)};
    } else {
        message += {1, static_cast<char>(noAuthentication)};
    }
    return message;
}

std::string passwordRequest(std::string_view user, std::string_view password) {
    std::string message{static_cast<char>(passwordVersion), static_cast<char>(user.size())};
    message.append(user);
    message += static_cast<char>(password.size());
    message.append(password);
    return message;
}

std::string connectRequestForName(std::string_view host, std::uint16_t port) {
    std::string message{static_cast<char>(version), static_cast<char>(connectCommand), 0,
                        static_cast<char>(nameAddress), static_cast<char>(host.size())};
    message.append(host);
    appendPort(message, port);
    return message;
}

std::string connectRequestForAddress(std::string_view addressBytes, std::uint16_t port) {
    const std::uint8_t type = addressBytes.size() == 4 ? ipv4Address : ipv6Address;
    std::string message{static_cast<char>(version), static_cast<char>(connectCommand), 0,
                        static_cast<char>(type)};
    message.append(addressBytes);
    appendPort(message, port);
    return message;
}

Reply parseMethodChoice(std::string_view buffer) {
    return parsePair(buffer, version);
}

Reply parsePasswordReply(std::string_view buffer) {
    return parsePair(buffer, passwordVersion);
}

Reply parseConnectReply(std::string_view buffer) {
    constexpr std::size_t fixedPart = 4;
    constexpr std::size_t portSize = 2;
    if (!buffer.empty() && byteAt(buffer, 0) != version) {
        return failure("wrong version in the SOCKS reply");
    }
    if (buffer.size() > 2 && byteAt(buffer, 2) != 0) {
        return failure("reserved byte set in the SOCKS reply");
    }
    if (buffer.size() < fixedPart) {
        return {};
    }
    std::size_t addressSize = 0;
    switch (byteAt(buffer, 3)) {
    case ipv4Address:
        addressSize = 4;
        break;
    case ipv6Address:
        addressSize = 16;
        break;
    case nameAddress:
        if (buffer.size() < fixedPart + 1) {
            return {};
        }
        addressSize = 1 + byteAt(buffer, fixedPart);
        break;
    default:
        return failure("unknown address type in the SOCKS reply");
    }
    const std::size_t total = fixedPart + addressSize + portSize;
    if (buffer.size() < total) {
        return {};
    }
    return complete(total, byteAt(buffer, 1));
}

} // namespace http::socks
