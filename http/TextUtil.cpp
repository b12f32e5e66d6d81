#include "http/TextUtil.h"

#include <algorithm>

namespace http {

namespace {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(char a, char b) {
    return asciiLower(a) == asciiLower(b);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), asciiLower);
    return lower;
}

std::string bracketedHost(std::string_view host) {
    if (host.find(':') == std::string_view::npos) {
        return std::string(host);
    }
    std::string bracketed;
    bracketed.reserve(host.size() + 2);
    return bracketed.append("[").append(host).append("]");
}

std::string hostWithPort(std::string_view host, std::uint16_t port) {
    return bracketedHost(host) + ":" + std::to_string(port);
}

std::optional<std::uint16_t> portNumber(std::string_view text) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), isAsciiDigit)) {
        return std::nullopt;
    }
    int port = 0;
    for (const char digit : text) {
        port = port * 10 + (digit - '0');
    }
    return port >= 1 && port <= 65535 ? std::optional<std::uint16_t>(port) : std::nullopt;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameIgnoringCase);
}

bool containsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), sameIgnoringCase) !=
           text.end();
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace http
