#pragma once

#include "http/NoProxyList.h"
#include "http/ProxyAddress.h"

#include <functional>
#include <optional>
#include <string>

namespace http {

struct Url;

// Which proxy carries a request, read from the environment as other
// download tools read it:
//   http_proxy (lower case only)       for http
//   https_proxy or HTTPS_PROXY         for https
//   all_proxy or ALL_PROXY             where the one for the scheme is unset
//   no_proxy or NO_PROXY               the hosts reached directly
// The lower-case name wins where both are set; an empty value is unset.
class ProxySettings {
public:
    // Looks a variable up; null when it is unset.
    using Lookup = std::function<const char*(const char* name)>;

    // No proxy for anything.
    ProxySettings() = default;
    static ProxySettings fromEnvironment(const Lookup& lookUp);

    // The proxy for `url`, or null to connect directly. Throws `ProxyError`
    // (BadAddress) when the variable that applies holds no usable address:
    // a request meant for a proxy never goes out without it.
    const ProxyAddress* proxyFor(const Url& url) const;

private:
    // A variable that applies: set, and understood or not.
    struct Choice {
        bool isSet = false;
        std::optional<ProxyAddress> address;
    };

    static Choice choiceOf(const char* value);
    const ProxyAddress* use(const Choice& choice) const;

    Choice forHttp;
    Choice forHttps;
    NoProxyList direct;
};

// The program's proxies, settled at start before any thread runs and never
// changed after: the default of every client's settings.
const ProxySettings& programProxies();
void setProgramProxies(ProxySettings proxies);

} // namespace http
