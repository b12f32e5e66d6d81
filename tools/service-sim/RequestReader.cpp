#include "tools/service-sim/RequestReader.h"

#include "tools/service-sim/SocketIo.h"
#include "tools/service-sim/TextUtil.h"

namespace servicesim {

namespace {

constexpr std::size_t ReadBlockBytes = 16 * 1024;

bool isTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!isTokenChar(c)) {
            return false;
        }
    }
    return true;
}

std::string_view withoutCr(std::string_view line) {
    return (!line.empty() && line.back() == '\r') ? line.substr(0, line.size() - 1) : line;
}

bool parseRequestLine(std::string_view line, HttpRequest& request) {
    const auto firstSpace = line.find(' ');
    const auto secondSpace = line.find(' ', firstSpace + 1);
    if (firstSpace == std::string_view::npos || secondSpace == std::string_view::npos ||
        line.find(' ', secondSpace + 1) != std::string_view::npos) {
        return false;
    }
    const auto method = line.substr(0, firstSpace);
    const auto target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    const auto version = line.substr(secondSpace + 1);
    if (!isToken(method) || target.empty() || target.front() != '/' ||
        (version != "HTTP/1.0" && version != "HTTP/1.1")) {
        return false;
    }
    for (char c : target) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') {
            return false;
        }
    }
    request.method = method;
    request.target = target;
    request.version = version;
    return true;
}

bool parseHeaderLine(std::string_view line, HttpRequest& request) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
        return false;
    }
    request.headers.emplace_back(line.substr(0, colon), trimmed(line.substr(colon + 1)));
    return true;
}

// Where the head ends: the index after the empty line, or npos.
std::size_t endOfHead(const std::string& buffer) {
    for (std::size_t lineEnd = buffer.find('\n'); lineEnd != std::string::npos;
         lineEnd = buffer.find('\n', lineEnd + 1)) {
        const auto next = buffer.find('\n', lineEnd + 1);
        if (next == lineEnd + 1 || (next == lineEnd + 2 && buffer[lineEnd + 1] == '\r')) {
            return next + 1;
        }
    }
    return std::string::npos;
}

} // namespace

bool RequestReader::parseHead(std::string_view head, HttpRequest& request) {
    request = HttpRequest{};
    bool firstLine = true;
    while (!head.empty()) {
        const auto lineEnd = head.find('\n');
        const auto line = withoutCr(head.substr(0, lineEnd));
        head = lineEnd == std::string_view::npos ? std::string_view{} : head.substr(lineEnd + 1);
        const bool parsed =
            firstLine ? parseRequestLine(line, request) : parseHeaderLine(line, request);
        if (!parsed) {
            return false;
        }
        firstLine = false;
    }
    return !firstLine;
}

RequestReader::Result RequestReader::next(HttpRequest& request) {
    const Result head = readHead(request);
    return head == Result::Complete ? readBody(request) : head;
}

bool RequestReader::fill() {
    char block[ReadBlockBytes];
    const ssize_t received = receiveSome(fd, block, sizeof block);
    if (received <= 0) {
        return false;
    }
    buffer.append(block, static_cast<std::size_t>(received));
    return true;
}

RequestReader::Result RequestReader::readHead(HttpRequest& request) {
    // Empty lines before a request line are allowed and skipped.
    std::size_t headEnd = std::string::npos;
    for (;;) {
        while (buffer.starts_with("\r\n") || buffer.starts_with("\n")) {
            buffer.erase(0, buffer[0] == '\r' ? 2 : 1);
        }
        headEnd = endOfHead(buffer);
        if (headEnd != std::string::npos) {
            break;
        }
        if (buffer.size() > MaxHeadBytes) {
            return Result::Malformed;
        }
        const bool hadBytes = !buffer.empty();
        if (!fill()) {
            return hadBytes ? Result::Malformed : Result::Closed;
        }
    }
    if (headEnd > MaxHeadBytes) {
        return Result::Malformed;
    }
    // The head without its closing empty line.
    const std::string_view head(buffer.data(), headEnd);
    const auto lastLineEnd = head.substr(0, head.size() - 1).find_last_of('\n');
    const bool parsed = parseHead(head.substr(0, lastLineEnd), request);
    buffer.erase(0, headEnd);
    return parsed ? Result::Complete : Result::Malformed;
}

RequestReader::Result RequestReader::readBody(HttpRequest& request) {
    if (!request.header("Transfer-Encoding").empty()) {
        return Result::Malformed;
    }
    std::uint64_t length = 0;
    bool seenLength = false;
    for (const auto& [name, value] : request.headers) {
        if (!equalsIgnoringCase(name, "Content-Length")) {
            continue;
        }
        const auto parsed = parseDecimal(value);
        if (!parsed || (seenLength && *parsed != length)) {
            return Result::Malformed;
        }
        length = *parsed;
        seenLength = true;
    }
    if (length > MaxBodyBytes) {
        return Result::Malformed;
    }
    if (length > buffer.size() && equalsIgnoringCase(request.header("Expect"), "100-continue")) {
        sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
    }
    while (buffer.size() < length) {
        if (!fill()) {
            return Result::Malformed;
        }
    }
    request.body = buffer.substr(0, length);
    buffer.erase(0, length);
    return Result::Complete;
}

} // namespace servicesim
