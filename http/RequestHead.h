#pragma once

#include "http/Url.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace http {

struct ProxyAddress;

// The request line and headers of a request, ending with the blank line.
// `bodyLength` is announced when it is not 0. A request to an HTTP proxy
// (`viaProxy` not null) names the whole address and carries the proxy's
// credentials, where it has some.
std::string formatRequestHead(std::string_view method, const Url& url, bool http10,
                              std::int64_t bodyLength = 0, const ProxyAddress* viaProxy = nullptr);
// The request that asks an HTTP proxy for a tunnel to `authority`
// ("host:port"), with the proxy's credentials where it has some.
std::string formatConnectHead(const std::string& authority, const ProxyAddress& proxy);

} // namespace http
