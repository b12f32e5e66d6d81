#include "service/ServiceHost.h"

#include <cstdlib>

namespace tolvenka {

namespace {

std::string& hostStorage() {
    static std::string host = "rapidshare.com";
    return host;
}

} // namespace

const std::string& serviceHost() {
    return hostStorage();
}

void setUpServiceHost() {
    const char* fromEnvironment = std::getenv("TOLVENKA_SERVICE_HOST");
    hostStorage() =
        fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : "rapidshare.com";
}

} // namespace tolvenka
