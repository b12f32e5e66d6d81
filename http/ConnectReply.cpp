#include "http/ConnectReply.h"

#include "http/ResponseHeadParser.h"

#include <algorithm>

namespace http {

namespace {

constexpr std::size_t maxSummaryLength = 80;

} // namespace

std::string statusSummary(std::string_view statusLine) {
    const auto codeStart = statusLine.find(' ');
    std::string summary;
    for (const char c : statusLine.substr(codeStart + 1)) {
        if (summary.size() == maxSummaryLength) {
            break;
        }
        if (c >= 0x20 && c < 0x7F) {
            summary += c;
        }
    }
    return summary;
}

ConnectReply ConnectReply::parse(std::string_view buffer) {
    // Another protocol is told at its first bytes, not after a line's worth.
    constexpr std::string_view start = "HTTP/1.";
    if (buffer.substr(0, start.size()) != start.substr(0, std::min(buffer.size(), start.size()))) {
        ConnectReply reply;
        reply.status = Status::Error;
        reply.error = "not an HTTP reply";
        return reply;
    }
    ResponseHead head;
    const HeadParseResult result = parseResponseHead(buffer, head);
    ConnectReply reply;
    switch (result.status) {
    case HeadParseResult::Status::NeedMore:
        break;
    case HeadParseResult::Status::Error:
        reply.status = Status::Error;
        reply.error = result.error;
        break;
    case HeadParseResult::Status::Complete:
        reply.status = Status::Complete;
        reply.consumed = result.consumed;
        reply.statusCode = head.statusCode;
        reply.summary = statusSummary(head.statusLine);
        break;
    }
    return reply;
}

} // namespace http
