#include "http/Url.h"

#include "http/HttpError.h"
#include "http/TextUtil.h"
#include "support/Cp1251.h"
#include "support/PercentEscapes.h"

#include <algorithm>

namespace http {

namespace {

// Strips "scheme://" from `rest` and tells whether it was https; fails for
// any scheme but http and https.
bool skipScheme(std::string_view& rest) {
    const auto separator = rest.find("://");
    if (separator == std::string_view::npos) {
        return false;
    }
    const std::string scheme = lowerAscii(rest.substr(0, separator));
    if (scheme != "http" && scheme != "https") {
        throw HttpError(HttpError::Kind::Unsupported,
                        std::string("unsupported scheme: ").append(scheme));
    }
    rest.remove_prefix(separator + 3);
    return scheme == "https";
}

std::uint16_t parsePort(std::string_view text) {
    const std::optional<std::uint16_t> port = portNumber(text);
    if (!port) {
        throw HttpError(HttpError::Kind::Unsupported, "bad port in address");
    }
    return *port;
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
    Url url;
    url.secure = skipScheme(rest);
    url.port = url.secure ? httpsPort : httpPort;

    const auto fragment = rest.find('#');
    if (fragment != std::string_view::npos) {
        rest = rest.substr(0, fragment);
    }

    const auto authorityEnd = rest.find_first_of("/?");
    const std::string_view authority = rest.substr(0, authorityEnd);
    const std::string_view target =
        authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    const bool needsRoot = target.empty() || target.front() == '?';
    url.target = std::string(needsRoot ? 1 : 0, '/').append(percentEncodedBeyondAscii(target));

    const auto bracketEnd = authority.starts_with('[') ? authority.find(']') : 0;
    if (bracketEnd == std::string_view::npos) {
        throw HttpError(HttpError::Kind::Unsupported, "unclosed bracket in address");
    }
    const auto colon = authority.find(':', bracketEnd);
    url.host = bracketEnd > 0 ? std::string(authority.substr(1, bracketEnd - 1))
                              : std::string(authority.substr(0, colon));
    if (bracketEnd > 0 && bracketEnd + 1 != std::min(colon, authority.size())) {
        throw HttpError(HttpError::Kind::Unsupported, "bad address after the brackets");
    }
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

std::string Url::hostAsWritten() const {
    return bracketedHost(host);
}

std::string Url::authority() const {
    std::string text = hostAsWritten();
    if (port != (secure ? httpsPort : httpPort)) {
        text.append(":").append(std::to_string(port));
    }
    return text;
}

std::string Url::absoluteForm() const {
    return (secure ? "https://" : "http://") + authority() + target;
}

std::string Url::normalizedForm(std::string_view address) {
    std::string text(address);
    std::replace(text.begin(), text.end(), '\\', '/');
    const auto schemeEnd = text.find("://");
    if (schemeEnd == std::string::npos) {
        return kestrune::text::normalizedEscapes(kestrune::text::toUtf8(text));
    }
    const std::size_t hostStart = schemeEnd + 3;
    const std::size_t hostEnd = std::min(text.find_first_of("/?#", hostStart), text.size());
    const std::string scheme = kestrune::text::toLowerCp1251(text.substr(0, schemeEnd));
    std::string_view host = std::string_view(text).substr(hostStart, hostEnd - hostStart);
    if ((scheme == "http" && host.ends_with(":80")) ||
        (scheme == "https" && host.ends_with(":443"))) {
        host.remove_suffix(host.size() - host.rfind(':'));
    }
    const std::string_view rest = std::string_view(text).substr(hostEnd);
    return scheme + "://" + kestrune::text::toLowerCp1251(host) +
           (rest.starts_with('/') ? "" : "/") +
           kestrune::text::normalizedEscapes(kestrune::text::toUtf8(rest));
}

} // namespace http
