#include "service/ServiceHost.h"

namespace tolvenka {

namespace {

std::string& hostStorage() {
    static std::string host(DEFAULT_SERVICE_HOST);
    return host;
}

} // namespace

const std::string& serviceHost() {
    return hostStorage();
}

void setServiceHost(std::string host) {
    hostStorage() = std::move(host);
}

} // namespace tolvenka
