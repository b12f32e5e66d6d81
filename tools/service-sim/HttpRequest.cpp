#include "tools/service-sim/HttpRequest.h"

#include "tools/service-sim/TextUtil.h"

namespace servicesim {

std::string HttpRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name)) {
            return value;
        }
    }
    return {};
}

std::string HttpRequest::path() const {
    return target.substr(0, target.find('?'));
}

bool HttpRequest::wantsClose() const {
    return version == "HTTP/1.0" || equalsIgnoringCase(trimmed(header("Connection")), "close");
}

} // namespace servicesim
