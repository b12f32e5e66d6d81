#pragma once

#include <cstdint>
#include <string>

namespace http {

class Connection;
struct ProxyAddress;

// Asks the proxy at the other end of `connection` for a way through to
// `host`:`port`: CONNECT for an HTTP proxy, the SOCKS5 exchange (with the
// user name and password where the address has them) for a SOCKS one. What
// the proxy does wrong is a `ProxyError` that names it; an interrupt or the
// idle timeout ends every wait, and the whole exchange ends once the idle
// timeout has passed, however the proxy drips its replies.
void openTunnel(Connection& connection, const ProxyAddress& proxy, const std::string& host,
                std::uint16_t port);

} // namespace http
