#include "http/Url.h"

#include "http/HttpError.h"
#include "support/Cp1251.h"

#include <algorithm>
#include <cctype>

namespace http {

namespace {

std::string lowerCase(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// Strips "scheme://" from `rest`, failing for any scheme but plain HTTP.
void skipScheme(std::string_view& rest) {
    const auto separator = rest.find("://");
    if (separator == std::string_view::npos) {
        return;
    }
    const std::string scheme = lowerCase(rest.substr(0, separator));
    if (scheme == "https") {
        throw HttpError(HttpError::Kind::Unsupported, "secure connections are not supported");
    }
    if (scheme != "http") {
        throw HttpError(HttpError::Kind::Unsupported,
                        std::string("unsupported scheme: ").append(scheme));
    }
    rest.remove_prefix(separator + 3);
}

std::uint16_t parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        throw HttpError(HttpError::Kind::Unsupported, "bad port in address");
    }
    const int port = std::stoi(std::string(text));
    if (port < 1 || port > 65535) {
        throw HttpError(HttpError::Kind::Unsupported, "bad port in address");
    }
    return static_cast<std::uint16_t>(port);
}

// Links hold letters beyond ASCII as CP1251, as they were written; on the
// wire a request line carries them as the percent-escapes of their UTF-8,
// as a browser sends them.
std::string percentEncodedBeyondAscii(std::string_view target) {
    const auto isAscii = [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
    };
    if (std::all_of(target.begin(), target.end(), isAscii)) {
        return std::string(target);
    }
    constexpr std::string_view hexDigits = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : kestrune::text::toUtf8(target)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            encoded += c;
        } else {
            encoded.append({'%', hexDigits[byte >> 4], hexDigits[byte & 0x0F]});
        }
    }
    return encoded;
}

} // namespace

Url Url::parse(std::string_view address) {
    std::string normalized(address);
    std::replace(normalized.begin(), normalized.end(), '\\', '/');
    std::string_view rest = normalized;
    skipScheme(rest);

    const auto fragment = rest.find('#');
    if (fragment != std::string_view::npos) {
        rest = rest.substr(0, fragment);
    }

    const auto authorityEnd = rest.find_first_of("/?");
    const std::string_view authority = rest.substr(0, authorityEnd);
    const std::string_view target =
        authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    const bool needsRoot = target.empty() || target.front() == '?';
    Url url;
    url.target = std::string(needsRoot ? 1 : 0, '/').append(percentEncodedBeyondAscii(target));

    const auto colon = authority.rfind(':');
    url.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) {
        url.port = parsePort(authority.substr(colon + 1));
    }
    // Addresses come from servers' pages too: a control byte or a space
    // would break the request line or smuggle in a header.
    const auto unsafe = [](unsigned char c) {
        return c <= 0x20 || c == 0x7F;
    };
    if (std::any_of(url.host.begin(), url.host.end(), unsafe) ||
        std::any_of(url.target.begin(), url.target.end(), unsafe)) {
        throw HttpError(HttpError::Kind::Unsupported,
                        "address with a control character or a space");
    }
    if (url.host.empty()) {
        throw HttpError(HttpError::Kind::Unsupported, "no host in address");
    }
    return url;
}

std::string Url::comparableForm(std::string_view address) {
    const auto schemeEnd = address.find("://");
    if (schemeEnd == std::string_view::npos) {
        return std::string(address);
    }
    const std::size_t hostStart = schemeEnd + 3;
    const std::size_t hostEnd = std::min(address.find_first_of("/\\?#", hostStart), address.size());
    const std::string scheme = kestrune::text::toLowerCp1251(address.substr(0, schemeEnd));
    std::string_view host = address.substr(hostStart, hostEnd - hostStart);
    if (scheme == "http" && host.ends_with(":80")) {
        host.remove_suffix(3);
    }
    return scheme + "://" + kestrune::text::toLowerCp1251(host) +
           std::string(address.substr(hostEnd));
}

} // namespace http
