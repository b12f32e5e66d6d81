#include "http/ResponseHead.h"

#include "http/TextUtil.h"

namespace http {

const std::string* ResponseHead::find(std::string_view name) const {
    for (const Header& header : headers) {
        if (equalsIgnoringCase(header.name, name)) {
            return &header.value;
        }
    }
    return nullptr;
}

std::vector<std::string_view> ResponseHead::findAll(std::string_view name) const {
    std::vector<std::string_view> values;
    for (const Header& header : headers) {
        if (equalsIgnoringCase(header.name, name)) {
            values.emplace_back(header.value);
        }
    }
    return values;
}

} // namespace http
