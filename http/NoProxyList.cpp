#include "http/NoProxyList.h"

#include "http/TextUtil.h"

#include <algorithm>
#include <arpa/inet.h>

namespace http {

namespace {

// curl's separators: a comma or a blank.
constexpr std::string_view separators = ", \t";

std::string_view withoutBrackets(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

// The 4 or 16 bytes of an IPv4 or IPv6 address, brackets allowed; empty for
// anything else.
std::string addressBytes(std::string_view text) {
    const std::string host(withoutBrackets(text));
    unsigned char bytes[16];
    for (const auto& [family, size] : {std::pair{AF_INET, 4}, std::pair{AF_INET6, 16}}) {
        if (::inet_pton(family, host.c_str(), bytes) == 1) {
            return std::string(reinterpret_cast<const char*>(bytes), size);
        }
    }
    return {};
}

// Whether the first `bits` bits of the addresses `a` and `b` are the same.
bool samePrefix(std::string_view a, std::string_view b, int bits) {
    const auto wholeBytes = static_cast<std::size_t>(bits / 8);
    if (a.substr(0, wholeBytes) != b.substr(0, wholeBytes)) {
        return false;
    }
    const int restBits = bits % 8;
    const unsigned mask = (0xFFu << (8 - restBits)) & 0xFFu;
    return restBits == 0 || ((static_cast<unsigned char>(a[wholeBytes]) ^
                              static_cast<unsigned char>(b[wholeBytes])) &
                             mask) == 0;
}

// A prefix length of one to three digits; none for anything else.
std::optional<int> prefixLength(std::string_view text) {
    if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), isAsciiDigit)) {
        return std::nullopt;
    }
    return std::stoi(std::string(text));
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
    if (value == "*") {
        everyHost = true;
        return;
    }
    for (auto start = value.find_first_not_of(separators); start != std::string_view::npos;
         start = value.find_first_not_of(separators, start)) {
        const auto end = std::min(value.find_first_of(separators, start), value.size());
        add(value.substr(start, end - start));
        start = end;
    }
}

void NoProxyList::add(std::string_view item) {
    auto [host, port] = splitPort(item);
    host = withoutBrackets(host);
    Entry entry{{}, {}, 0, port};
    const auto slash = host.find('/');
    entry.address = addressBytes(host.substr(0, slash));
    if (!entry.address.empty()) {
        const int addressBits = static_cast<int>(entry.address.size()) * 8;
        const auto bits =
            slash == std::string_view::npos ? 0 : prefixLength(host.substr(slash + 1));
        if (!bits || *bits > addressBits) {
            return; // a network that matches nothing
        }
        entry.prefixBits = *bits == 0 ? addressBits : *bits;
    } else {
        host = host.substr(0, host.size() - (host.ends_with('.') ? 1 : 0));
        host = host.substr(host.starts_with('.') ? 1 : 0);
        if (host.empty()) {
            return;
        }
        entry.name = lowerAscii(host);
    }
    entries.push_back(std::move(entry));
}

bool NoProxyList::matches(std::string_view host, std::uint16_t port) const {
    if (everyHost) {
        return true;
    }
    // An address has no domain: only an address entry matches it.
    const std::string address = addressBytes(host);
    std::string name = address.empty() ? lowerAscii(host) : std::string();
    if (name.ends_with('.')) {
        name.pop_back();
    }
    return std::any_of(entries.begin(), entries.end(), [&](const Entry& entry) {
        if (entry.port && *entry.port != port) {
            return false;
        }
        if (!address.empty()) {
            return entry.address.size() == address.size() &&
                   samePrefix(address, entry.address, entry.prefixBits);
        }
        // The entry itself, or a name within its domain.
        return !entry.name.empty() &&
               (name == entry.name ||
                (name.size() > entry.name.size() && name.ends_with(entry.name) &&
                 name[name.size() - entry.name.size() - 1] == '.'));
    });
}

} // namespace http
