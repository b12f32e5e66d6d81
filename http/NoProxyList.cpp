#include "http/NoProxyList.h"

#include "http/TextUtil.h"

#include <algorithm>

namespace http {

namespace {

std::string_view withoutBrackets(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

// Splits "host:port", "[v6]:port" or a bare IPv6 address (whose colons are no
// port) into its parts; a port that is not one leaves the entry whole.
std::pair<std::string_view, std::optional<std::uint16_t>> splitPort(std::string_view entry) {
    const auto colon = entry.rfind(':');
    const bool bareIpv6 = entry.find(':') != colon;
    if (colon == std::string_view::npos || (bareIpv6 && !entry.starts_with('['))) {
        return {entry, std::nullopt};
    }
    const auto port = portNumber(entry.substr(colon + 1));
    if (!port) {
        return {entry, std::nullopt};
    }
    return {entry.substr(0, colon), port};
}

} // namespace

NoProxyList::NoProxyList(std::string_view value) {
    while (!value.empty()) {
        const auto comma = value.find(',');
        const std::string_view item = trimBlanks(value.substr(0, comma));
        value.remove_prefix(comma == std::string_view::npos ? value.size() : comma + 1);
        if (item == "*") {
            everyHost = true;
            continue;
        }
        auto [host, port] = splitPort(item);
        host = withoutBrackets(host);
        while (host.starts_with('.')) {
            host.remove_prefix(1);
        }
        if (!host.empty()) {
            entries.push_back({lowerAscii(host), port});
        }
    }
}

bool NoProxyList::matches(std::string_view host, std::uint16_t port) const {
    if (everyHost) {
        return true;
    }
    std::string name = lowerAscii(withoutBrackets(host));
    while (name.ends_with('.')) {
        name.pop_back();
    }
    // An address has no domain: only the same address matches it.
    const bool isAddress =
        name.find(':') != std::string::npos ||
        std::all_of(name.begin(), name.end(), [](char c) { return isAsciiDigit(c) || c == '.'; });
    return std::any_of(entries.begin(), entries.end(), [&](const Entry& entry) {
        if (entry.port && *entry.port != port) {
            return false;
        }
        // The entry itself, or a name within its domain.
        return name == entry.host ||
               (!isAddress && name.size() > entry.host.size() && name.ends_with(entry.host) &&
                name[name.size() - entry.host.size() - 1] == '.');
    });
}

} // namespace http
