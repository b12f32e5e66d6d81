#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct addrinfo;

namespace http {

struct AddressListDeleter {
    void operator()(addrinfo* list) const;
};
// The addresses of a host, as getaddrinfo() gives them; may be empty.
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

// Looks up the TCP addresses of `host`:`port`, blocking as long as it takes.
// A failure is an `HttpError`.
using Resolver = std::function<AddressList(const std::string& host, std::uint16_t port)>;

// The C library's lookup: /etc/hosts, name servers and the rest of the
// system's configuration.
AddressList resolveWithSystem(const std::string& host, std::uint16_t port);

// The address of `host` when it is a numeric IPv4 or IPv6 address, found
// without any lookup; otherwise empty.
AddressList numericAddress(const std::string& host, std::uint16_t port);

} // namespace http
