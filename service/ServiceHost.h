#pragma once

#include <string>
#include <string_view>

namespace tolvenka {

// The host of the service's file links unless the program is told another.
inline constexpr std::string_view DEFAULT_SERVICE_HOST = "rapidshare.com";

// The service's host name: the host of its file links, and the kind name of
// its downloads in the registry and in the queue file.
const std::string& serviceHost();
// The host as links are compared with it: in lower case, without the
// default port ":80", which a link may write or leave out.
const std::string& serviceLinkHost();

// Sets the host (for example "127.0.0.1:8080", to point the program at a
// simulated service). main() calls it once, before any thread starts and
// before the registry is built; tests call it around each case.
void setServiceHost(std::string host);

} // namespace tolvenka
