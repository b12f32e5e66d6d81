#pragma once

#include "http/BodyFraming.h"
#include "http/BodySink.h"
#include "http/ResponseHead.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace http {

class Transport;
class ReceiveThrottle;

// Reads responses from a transport: heads through the pure parser, bodies
// by their framing, straight from the receive block into the target stream.
class ResponseReader {
public:
    // Bytes asked of the socket per read.
    static constexpr std::size_t receiveBlockSize = 32768;
    // Interim (1xx) replies skipped before the final one.
    static constexpr int maxInterimReplies = 5;

    using Progress = BodySink::Progress;

    // `throttle`, when given, paces the reads of bodies (not of heads).
    explicit ResponseReader(Transport& transport, ReceiveThrottle* throttle = nullptr);

    // Forgets buffered bytes and starts counting reply bytes anew; call
    // before each request.
    void startExchange();
    // Frees the receive block between requests: a program holds a client
    // per download, and most of them sit idle in a queue.
    void releaseBuffer();
    // Reads to the final (non-1xx) head. A connection that ends before any
    // byte of the reply throws `ConnectionLost`.
    ResponseHead readHead();
    // Reads the body into `target`, or discards it when `target` is null.
    // A body over `limit` bytes throws.
    void readBody(const BodyFraming& framing, std::ostream* target, std::int64_t limit,
                  const Progress& progress);

    bool receivedReplyBytes() const { return replyStarted; }
    // Whether bytes arrived beyond the end of the last body.
    bool hasSurplus() const { return !pending.empty(); }

private:
    ResponseHead readOneHead();
    std::size_t receiveMore();
    std::size_t receiveBodyBytes(std::size_t wanted, BodySink& sink);
    void readLengthBody(std::int64_t length, BodySink& sink);
    void readChunkedBody(BodySink& sink);
    void readBodyUntilClose(BodySink& sink);

    Transport& transport;
    ReceiveThrottle* throttle;
    std::vector<char> block;
    std::string pending; // received but not yet consumed
    bool replyStarted = false;
};

} // namespace http
