#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace http {

// The hosts that are reached without a proxy, from a `no_proxy` value: a
// comma-separated list of host names, domain suffixes (with or without a
// leading dot) and IP addresses, each with an optional ":port", or "*" for
// every host. Names compare without letter case; an entry without a port
// matches any port.
class NoProxyList {
public:
    NoProxyList() = default;
    explicit NoProxyList(std::string_view value);

    // `host`: a name or an address, an IPv6 one with or without brackets.
    bool matches(std::string_view host, std::uint16_t port) const;

private:
    struct Entry {
        std::string host; // lower case, without a leading dot or brackets
        std::optional<std::uint16_t> port;
    };

    bool everyHost = false;
    std::vector<Entry> entries;
};

} // namespace http
