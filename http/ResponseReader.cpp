#include "http/ResponseReader.h"

#include "http/ChunkedDecoder.h"
#include "http/ConnectionLost.h"
#include "http/HttpError.h"
#include "http/ReceiveThrottle.h"
#include "http/ResponseHeadParser.h"
#include "http/Transport.h"

#include <algorithm>
#include <cstring>

namespace http {

ResponseReader::ResponseReader(Transport& transport, ReceiveThrottle* throttle)
    : transport(transport)
    , throttle(throttle) {}

void ResponseReader::startExchange() {
    if (block.empty()) {
        block.resize(receiveBlockSize);
    }
    pending.clear();
    replyStarted = false;
}

void ResponseReader::releaseBuffer() {
    std::vector<char>().swap(block);
}

std::size_t ResponseReader::receiveMore() {
    const std::size_t received = transport.receive(block.data(), block.size());
    replyStarted = replyStarted || received > 0;
    return received;
}

// Without a limit this costs one look at it per block.
std::size_t ResponseReader::receiveBodyBytes(std::size_t wanted, BodySink& sink) {
    if (throttle == nullptr || !throttle->isLimiting()) {
        return transport.receive(block.data(), wanted);
    }
    // A paced body reaches its target as it arrives, not a buffer at a time:
    // at a low limit a file's buffer holds seconds of it.
    sink.flush();
    const std::size_t received = transport.receive(block.data(), throttle->admit(wanted));
    throttle->spend(received);
    return received;
}

ResponseHead ResponseReader::readHead() {
    for (int interim = 0;; ++interim) {
        ResponseHead head = readOneHead();
        if (!head.isInterim()) {
            return head;
        }
        if (interim == maxInterimReplies) {
            throw HttpError(HttpError::Kind::Malformed, "too many interim replies");
        }
    }
}

ResponseHead ResponseReader::readOneHead() {
    ResponseHead head;
    // The parser starts over on each call, so it runs only when a line may
    // have ended or grown past its limit: a reply trickling in byte by byte
    // costs a bounded number of passes.
    bool worthParsing = !pending.empty();
    std::size_t sinceLineFeed = 0;
    for (;;) {
        if (worthParsing) {
            const HeadParseResult result = parseResponseHead(pending, head);
            if (result.status == HeadParseResult::Status::Complete) {
                pending.erase(0, result.consumed);
                return head;
            }
            if (result.status == HeadParseResult::Status::Error) {
                throw HttpError(HttpError::Kind::Malformed, result.error);
            }
        }
        const std::size_t received = receiveMore();
        if (received == 0) {
            if (!replyStarted) {
                throw ConnectionLost("connection closed before the reply");
            }
            throw HttpError(HttpError::Kind::ConnectionLost,
                            "connection closed inside the response head");
        }
        pending.append(block.data(), received);
        const char* lastLineFeed = static_cast<const char*>(memrchr(block.data(), '\n', received));
        sinceLineFeed = lastLineFeed
                            ? static_cast<std::size_t>(block.data() + received - lastLineFeed - 1)
                            : sinceLineFeed + received;
        worthParsing = lastLineFeed || sinceLineFeed > maxHeadLineLength;
    }
}

void ResponseReader::readBody(const BodyFraming& framing, std::ostream* target, std::int64_t limit,
                              const Progress& progress) {
    BodySink sink(target, limit, progress);
    if (throttle != nullptr && throttle->isLimiting()) {
        // What came with the head counts too, so the first second keeps the
        // limit as well.
        throttle->spend(pending.size());
    }
    switch (framing.kind) {
    case BodyFraming::Kind::None:
        return;
    case BodyFraming::Kind::Length:
        readLengthBody(framing.length, sink);
        return;
    case BodyFraming::Kind::Chunked:
        readChunkedBody(sink);
        return;
    case BodyFraming::Kind::UntilClose:
        readBodyUntilClose(sink);
        return;
    }
}

void ResponseReader::readLengthBody(std::int64_t length, BodySink& sink) {
    sink.expect(length);
    const std::size_t buffered =
        static_cast<std::size_t>(std::min<std::int64_t>(length, std::ssize(pending)));
    std::int64_t left = length - static_cast<std::int64_t>(buffered);
    if (buffered > 0) {
        sink.write(pending.data(), buffered);
        pending.erase(0, buffered);
        sink.reportProgress();
    }
    while (left > 0) {
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::int64_t>(left, std::ssize(block)));
        const std::size_t received = receiveBodyBytes(wanted, sink);
        if (received == 0) {
            throw HttpError(HttpError::Kind::ConnectionLost,
                            "connection closed before the end of the body");
        }
        sink.write(block.data(), received);
        left -= static_cast<std::int64_t>(received);
        sink.reportProgress();
    }
}

void ResponseReader::readChunkedBody(BodySink& sink) {
    ChunkedDecoder decoder;
    auto decode = [&](std::string_view input) {
        while (!input.empty() && !decoder.isDone()) {
            const ChunkedDecoder::Step step = decoder.feed(input);
            sink.write(step.payload.data(), step.payload.size());
            input.remove_prefix(step.consumed);
        }
        sink.reportProgress();
        return input;
    };
    std::string surplus(decode(pending));
    while (!decoder.isDone()) {
        const std::size_t received = receiveBodyBytes(block.size(), sink);
        if (received == 0) {
            throw HttpError(HttpError::Kind::ConnectionLost,
                            "connection closed before the last chunk");
        }
        surplus = decode(std::string_view(block.data(), received));
    }
    pending = std::move(surplus);
}

void ResponseReader::readBodyUntilClose(BodySink& sink) {
    if (!pending.empty()) {
        sink.write(pending.data(), pending.size());
        pending.clear();
        sink.reportProgress();
    }
    for (;;) {
        const std::size_t received = receiveBodyBytes(block.size(), sink);
        if (received == 0) {
            return;
        }
        sink.write(block.data(), received);
        sink.reportProgress();
    }
}

} // namespace http
