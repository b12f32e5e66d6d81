#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace http {

// The hosts that are reached without a proxy, from a `no_proxy` value read
// as curl reads it: entries separated by commas or blanks; a name matches an
// entry that is the name itself or one of its domains (with or without a
// leading dot; a trailing dot on either is dropped), without letter case;
// an IP address matches the same address or a network written with its
// prefix length ("10.0.0.0/8", "fd00::/8"; no length, or 0, is the whole
// address). "*" as the whole value is every host; in a list it is a name
// like any other. Beyond curl, an entry may end in ":port" (an IPv6 address
// then stands in brackets), and then it matches that port only.
class NoProxyList {
public:
    NoProxyList() = default;
    explicit NoProxyList(std::string_view value);

    // `host`: a name or an address, an IPv6 one with or without brackets.
    bool matches(std::string_view host, std::uint16_t port) const;

private:
    struct Entry {
        std::string name;    // lower case, without its outer dots; empty for an address
        std::string address; // the 4 or 16 bytes of an address entry
        int prefixBits = 0;  // the leading bits of `address` that must match
        std::optional<std::uint16_t> port;
    };

    void add(std::string_view item);

    bool everyHost = false;
    std::vector<Entry> entries;
};

} // namespace http
