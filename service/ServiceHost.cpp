#include "service/ServiceHost.h"

#include "support/Cp1251.h"

namespace tolvenka {

namespace {

struct Hosts {
    std::string host;
    std::string linkHost;

    void set(std::string newHost) {
        host = std::move(newHost);
        std::string_view forLinks = host;
        if (forLinks.ends_with(":80")) {
            forLinks.remove_suffix(3);
        }
        linkHost = kestrune::text::toLowerCp1251(forLinks);
    }
};

Hosts& hosts() {
    static Hosts storage = [] {
        Hosts made;
        made.set(std::string(DEFAULT_SERVICE_HOST));
        return made;
    }();
    return storage;
}

} // namespace

const std::string& serviceHost() {
    return hosts().host;
}

const std::string& serviceLinkHost() {
    return hosts().linkHost;
}

void setServiceHost(std::string host) {
    hosts().set(std::move(host));
}

} // namespace tolvenka
