#include "http/ProxySettings.h"

#include "http/ProxyError.h"
#include "http/Url.h"

namespace http {

namespace {

const char* firstSet(const ProxySettings::Lookup& lookUp, const char* lower, const char* upper) {
    for (const char* name : {lower, upper}) {
        if (name == nullptr) {
            continue;
        }
        const char* value = lookUp(name);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return nullptr;
}

ProxySettings& programProxiesStorage() {
    static ProxySettings proxies;
    return proxies;
}

} // namespace

ProxySettings ProxySettings::fromEnvironment(const Lookup& lookUp) {
    ProxySettings settings;
    const char* all = firstSet(lookUp, "all_proxy", "ALL_PROXY");
    // HTTP_PROXY in upper case is left alone: a web server's scripts get
    // it from a request's "Proxy:" header.
    const char* forHttp = firstSet(lookUp, "http_proxy", nullptr);
    const char* forHttps = firstSet(lookUp, "https_proxy", "HTTPS_PROXY");
    settings.forHttp = choiceOf(forHttp ? forHttp : all);
    settings.forHttps = choiceOf(forHttps ? forHttps : all);
    if (const char* noProxy = firstSet(lookUp, "no_proxy", "NO_PROXY")) {
        settings.direct = NoProxyList(noProxy);
    }
    return settings;
}

ProxySettings::Choice ProxySettings::choiceOf(const char* value) {
    if (value == nullptr) {
        return {};
    }
    return {true, ProxyAddress::parse(value)};
}

const ProxyAddress* ProxySettings::proxyFor(const Url& url) const {
    const Choice& choice = url.secure ? forHttps : forHttp;
    if (!choice.isSet || direct.matches(url.host, url.port)) {
        return nullptr;
    }
    return use(choice);
}

const ProxyAddress* ProxySettings::use(const Choice& choice) const {
    if (!choice.address) {
        throw ProxyError(ProxyError::Problem::BadAddress, {},
                         "the proxy address is not understood");
    }
    return &*choice.address;
}

const ProxySettings& programProxies() {
    return programProxiesStorage();
}

void setProgramProxies(ProxySettings proxies) {
    programProxiesStorage() = std::move(proxies);
}

} // namespace http
