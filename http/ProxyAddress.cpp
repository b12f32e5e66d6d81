#include "http/ProxyAddress.h"

#include "http/TextUtil.h"
#include "support/PercentEscapes.h"

#include <algorithm>
#include <openssl/evp.h>
#include <vector>

namespace http {

namespace {

std::optional<ProxyAddress::Kind> kindOfScheme(std::string_view scheme) {
    if (equalsIgnoringCase(scheme, "http")) {
        return ProxyAddress::Kind::Http;
    }
    if (equalsIgnoringCase(scheme, "socks5")) {
        return ProxyAddress::Kind::Socks5;
    }
    if (equalsIgnoringCase(scheme, "socks5h")) {
        return ProxyAddress::Kind::Socks5WithRemoteNames;
    }
    return std::nullopt;
}

// "host[:port]" or "[v6][:port]" into `proxy`.
bool parseHostAndPort(std::string_view hostPort, ProxyAddress& proxy) {
    std::string_view portText;
    if (hostPort.starts_with('[')) {
        const auto close = hostPort.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        proxy.host = std::string(hostPort.substr(1, close - 1));
        const std::string_view after = hostPort.substr(close + 1);
        if (!after.empty() && !after.starts_with(':')) {
            return false;
        }
        portText = after.empty() ? after : after.substr(1);
        if (!after.empty() && portText.empty()) {
            return false;
        }
    } else {
        const auto colon = hostPort.find(':');
        proxy.host = std::string(hostPort.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = hostPort.substr(colon + 1);
            if (portText.empty()) {
                return false;
            }
        }
    }
    if (!portText.empty()) {
        const auto port = portNumber(portText);
        if (!port) {
            return false;
        }
        proxy.port = *port;
    }
    return !proxy.host.empty();
}

bool isUnsafe(unsigned char c) {
    return c <= 0x20 || c == 0x7F;
}

} // namespace

std::optional<ProxyAddress> ProxyAddress::parse(std::string_view text) {
    text = trimBlanks(text);
    ProxyAddress proxy;
    if (const auto separator = text.find("://"); separator != std::string_view::npos) {
        const auto kind = kindOfScheme(text.substr(0, separator));
        if (!kind) {
            return std::nullopt;
        }
        proxy.kind = *kind;
        text.remove_prefix(separator + 3);
    }
    // What follows the authority (a "/" that some write) means nothing to a
    // proxy.
    std::string_view authority = text.substr(0, text.find('/'));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        const auto colon = userInfo.find(':');
        proxy.user = kestrune::text::percentDecoded(userInfo.substr(0, colon));
        if (colon != std::string_view::npos) {
            proxy.password = kestrune::text::percentDecoded(userInfo.substr(colon + 1));
        }
        proxy.hasCredentials = true;
        authority.remove_prefix(at + 1);
    }
    if (std::any_of(authority.begin(), authority.end(), isUnsafe) ||
        !parseHostAndPort(authority, proxy)) {
        return std::nullopt;
    }
    return proxy;
}

std::string ProxyAddress::name() const {
    return hostWithPort(host, port);
}

} // namespace http

namespace http {

std::string ProxyAddress::basicAuthorization() const {
    const std::string credentials = user + ":" + password;
    std::vector<unsigned char> encoded(4 * ((credentials.size() + 2) / 3) + 1);
    const int length =
        EVP_EncodeBlock(encoded.data(), reinterpret_cast<const unsigned char*>(credentials.data()),
                        static_cast<int>(credentials.size()));
    return "Basic " + std::string(reinterpret_cast<const char*>(encoded.data()),
                                  static_cast<std::size_t>(length));
}

} // namespace http
