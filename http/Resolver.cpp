#include "http/Resolver.h"

#include "http/HttpError.h"

#include <netdb.h>
#include <sys/socket.h>

namespace http {

namespace {

int lookUp(const std::string& host, std::uint16_t port, int flags, AddressList& addresses) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | flags;
    addrinfo* list = nullptr;
    const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
    addresses.reset(list);
    return status;
}

} // namespace

void AddressListDeleter::operator()(addrinfo* list) const {
    freeaddrinfo(list);
}

AddressList resolveWithSystem(const std::string& host, std::uint16_t port) {
    AddressList addresses;
    const int status = lookUp(host, port, 0, addresses);
    if (status != 0) {
        throw HttpError(HttpError::Kind::Unresolved,
                        "cannot resolve " + host + ": " + gai_strerror(status));
    }
    return addresses;
}

AddressList numericAddress(const std::string& host, std::uint16_t port) {
    AddressList addresses;
    if (lookUp(host, port, AI_NUMERICHOST, addresses) != 0) {
        addresses.reset();
    }
    return addresses;
}

} // namespace http
