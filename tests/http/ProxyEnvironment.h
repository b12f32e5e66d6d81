#pragma once

#include "http/HttpClient.h"
#include "http/ProxySettings.h"

#include <map>
#include <string>

namespace http_testing {

// Proxy settings as an environment of `variables` gives them.
inline http::ProxySettings proxiesOf(const std::map<std::string, std::string>& variables) {
    return http::ProxySettings::fromEnvironment([&](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    });
}

// Settings of a client that sends everything through `proxy` ("scheme://...").
inline http::ClientSettings throughProxy(const std::string& proxy,
                                         std::int64_t idleTimeoutMs = 10'000) {
    http::ClientSettings settings;
    settings.idleTimeoutMs = idleTimeoutMs;
    settings.proxies = proxiesOf({{"all_proxy", proxy}});
    return settings;
}

} // namespace http_testing
