#include "http/ResponseHeadParser.h"

#include "http/TextUtil.h"

#include <algorithm>

namespace http {

namespace {

using Status = HeadParseResult::Status;

HeadParseResult failure(std::string message) {
    return {Status::Error, 0, std::move(message)};
}

// "HTTP/1.x", a space, three digits, then a space and a reason or nothing.
bool parseStatusLine(std::string_view line, ResponseHead& head) {
    constexpr std::string_view prefix = "HTTP/1.";
    constexpr std::size_t codeStart = 9;
    constexpr std::size_t codeEnd = codeStart + 3;
    if (line.size() < codeEnd || line.substr(0, prefix.size()) != prefix ||
        !isAsciiDigit(line[7]) || line[8] != ' ') {
        return false;
    }
    const std::string_view code = line.substr(codeStart, 3);
    if (!std::all_of(code.begin(), code.end(), isAsciiDigit)) {
        return false;
    }
    if (line.size() > codeEnd && line[codeEnd] != ' ') {
        return false;
    }
    head.statusLine = std::string(line);
    head.statusCode = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    head.isHttp10 = line[7] == '0';
    return true;
}

bool isTokenChar(char c) {
    return c > ' ' && c < 127 && c != ':';
}

bool parseHeaderLine(std::string_view line, ResponseHead& head) {
    const auto colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) {
        return false;
    }
    const std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), isTokenChar)) {
        return false;
    }
    head.headers.push_back({std::string(name), std::string(trimBlanks(line.substr(colon + 1)))});
    return true;
}

} // namespace

HeadParseResult parseResponseHead(std::string_view buffer, ResponseHead& head) {
    ResponseHead parsed;
    std::size_t lineStart = 0;
    std::size_t lineCount = 0;
    for (;;) {
        const auto lineFeed = buffer.find('\n', lineStart);
        if (lineFeed == std::string_view::npos) {
            // A CR at the end may be the first half of the line's CR LF; it
            // is not counted, so the verdict on a line does not depend on
            // where the reads split it.
            std::size_t unfinished = buffer.size() - lineStart;
            if (unfinished > 0 && buffer.back() == '\r') {
                --unfinished;
            }
            if (unfinished > maxHeadLineLength) {
                return failure("response line too long");
            }
            if (buffer.size() > maxHeadSize) {
                return failure("response headers too large");
            }
            return {Status::NeedMore, 0, {}};
        }
        std::string_view line = buffer.substr(lineStart, lineFeed - lineStart);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::size_t lineEnd = lineFeed + 1;
        if (line.size() > maxHeadLineLength) {
            return failure("response line too long");
        }
        if (lineEnd > maxHeadSize) {
            return failure("response headers too large");
        }
        if (lineCount == 0) {
            if (!parseStatusLine(line, parsed)) {
                return failure("malformed status line");
            }
        } else if (line.empty()) {
            head = std::move(parsed);
            return {Status::Complete, lineEnd, {}};
        } else if (lineCount > maxHeaderCount) {
            return failure("too many response headers");
        } else if (!parseHeaderLine(line, parsed)) {
            return failure("malformed header line");
        }
        ++lineCount;
        lineStart = lineEnd;
    }
}

} // namespace http
