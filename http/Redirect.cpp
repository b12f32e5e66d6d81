#include "http/Redirect.h"

#include "http/HttpError.h"
#include "http/TextUtil.h"
#include "http/Url.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace http {

namespace {

[[noreturn]] void refuse(const std::string& why) {
    throw HttpError(HttpError::Kind::BadRedirect, "redirect " + why);
}

// The scheme of an absolute reference, empty for a relative one.
std::string_view schemeOf(std::string_view reference) {
    const auto colon = reference.find(':');
    if (colon == std::string_view::npos || colon == 0 ||
        !std::isalpha(static_cast<unsigned char>(reference[0]))) {
        return {};
    }
    const std::string_view scheme = reference.substr(0, colon);
    const bool wellFormed = std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    });
    // Before any "/", "?" or "#": otherwise the colon belongs to a path.
    return wellFormed ? scheme : std::string_view();
}

// `path` with its "." and ".." segments worked out.
std::string withoutDotSegments(std::string_view path) {
    std::vector<std::string_view> segments;
    std::size_t start = 1; // past the leading "/"
    for (;;) {
        const auto slash = path.find('/', start);
        const std::string_view segment = path.substr(start, slash - start);
        const bool last = slash == std::string_view::npos;
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
            if (last) {
                segments.emplace_back();
            }
        } else if (segment == ".") {
            if (last) {
                segments.emplace_back();
            }
        } else {
            segments.push_back(segment);
        }
        if (last) {
            break;
        }
        start = slash + 1;
    }
    std::string result;
    for (const std::string_view segment : segments) {
        result.append("/").append(segment);
    }
    return result.empty() ? "/" : result;
}

// "scheme://authority", the path and the query of an absolute address.
struct Parts {
    std::string origin;
    std::string path;
    std::string query;
};

Parts split(std::string_view address) {
    address = address.substr(0, address.find('#'));
    const auto schemeEnd = address.find("://");
    const std::size_t authorityStart = schemeEnd == std::string_view::npos ? 0 : schemeEnd + 3;
    const auto pathStart = std::min(address.find_first_of("/?", authorityStart), address.size());
    Parts parts;
    parts.origin = schemeEnd == std::string_view::npos
                       ? "http://" + std::string(address.substr(0, pathStart))
                       : std::string(address.substr(0, pathStart));
    const std::string_view rest = address.substr(pathStart);
    const auto queryStart = std::min(rest.find('?'), rest.size());
    parts.path = std::string(rest.substr(0, queryStart));
    parts.query = std::string(rest.substr(queryStart));
    if (parts.path.empty()) {
        parts.path.push_back('/');
    }
    return parts;
}

std::string resolve(std::string_view base, std::string_view location) {
    const std::string_view scheme = schemeOf(location);
    if (!scheme.empty()) {
        if (!equalsIgnoringCase(scheme, "http") && !equalsIgnoringCase(scheme, "https")) {
            refuse("to a scheme other than http and https");
        }
        return std::string(location);
    }
    const Parts parts = split(base);
    if (location.starts_with("//")) {
        return parts.origin.substr(0, parts.origin.find("://") + 1) + std::string(location);
    }
    if (location.empty() || location.starts_with('#')) {
        return parts.origin + parts.path + parts.query;
    }
    if (location.starts_with('?')) {
        return parts.origin + parts.path + std::string(location.substr(0, location.find('#')));
    }
    const auto pathEnd = std::min(location.find_first_of("?#"), location.size());
    const std::string path = location.starts_with('/')
                                 ? std::string(location.substr(0, pathEnd))
                                 : parts.path.substr(0, parts.path.rfind('/') + 1) +
                                       std::string(location.substr(0, pathEnd));
    return parts.origin + withoutDotSegments(path) + std::string(location.substr(pathEnd));
}

} // namespace

std::string resolveRedirect(std::string_view base, std::string_view location) {
    location = trimBlanks(location);
    std::string target = resolve(base, location);
    try {
        Url::parse(target);
    } catch (const HttpError& error) {
        refuse(std::string("to an address that cannot be fetched: ") + error.what());
    }
    return target;
}

} // namespace http
