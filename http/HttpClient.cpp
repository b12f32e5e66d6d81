#include "http/HttpClient.h"

#include "http/BodyFraming.h"
#include "http/Connection.h"
#include "http/ConnectionLost.h"
#include "http/HttpError.h"
#include "http/ReceiveThrottle.h"
#include "http/RequestHead.h"
#include "http/ResponseReader.h"
#include "http/TextUtil.h"
#include "http/Url.h"

#include <limits>
#include <sstream>
#include <vector>

namespace http {

namespace {

constexpr std::int64_t unlimited = std::numeric_limits<std::int64_t>::max();

// The request body and its length, which must be known before it is sent.
struct RequestBody {
    std::istream* stream = nullptr; // nullptr for a GET
    std::int64_t length = 0;
};

std::int64_t remainingLength(std::istream& stream) {
    const std::istream::pos_type start = stream.tellg();
    if (start == std::istream::pos_type(-1) || !stream.seekg(0, std::ios::end)) {
        throw HttpError(HttpError::Kind::Unsupported, "cannot tell the length of the request body");
    }
    const std::istream::pos_type end = stream.tellg();
    stream.seekg(start);
    return static_cast<std::int64_t>(end - start);
}

bool asksToClose(const ResponseHead& head) {
    const std::string* connection = head.find("Connection");
    return connection && equalsIgnoringCase(*connection, "close");
}

} // namespace

class HttpClient::Impl {
public:
    Impl(HttpClient& owner, ClientSettings settings)
        : owner(owner)
        , settings(settings)
        , connection(settings.idleTimeoutMs, settings.resolver)
        , throttle([this] { return connection.isInterrupted(); })
        , reader(connection, &throttle) {}

    void perform(std::string_view method, const std::string& address, RequestBody body,
                 std::ostream& target, std::int64_t limit);

    HttpClient& owner;
    ClientSettings settings;
    Connection connection;
    ReceiveThrottle throttle;
    ResponseReader reader;
    std::string connectedHost;
    std::uint16_t connectedPort = 0;
    ResponseHead head;
    std::atomic<std::int64_t> contentLength{0};
    std::atomic<bool> responseArrived{false};

private:
    bool connectFor(const Url& url, bool freshConnection);
    void reconnect(const Url& url);
    void exchangeHeadRetryingStale(const Url& url, const std::string& requestHead, RequestBody body,
                                   bool reused);
    void exchangeHead(const std::string& requestHead, RequestBody body);
    void sendBody(RequestBody body);
    void discardErrorBody(const BodyFraming& framing, bool sentAsHttp10);
    void finishExchange(const BodyFraming& framing, bool sentAsHttp10);
    void fireWork(WorkMode mode, std::int64_t count) { owner.OnWork(&owner, mode, count); }
};

void HttpClient::Impl::perform(std::string_view method, const std::string& address,
                               RequestBody body, std::ostream& target, std::int64_t limit) {
    if (connection.isInterrupted()) {
        throw HttpError(HttpError::Kind::Disconnected, "disconnected");
    }
    contentLength.store(0);
    responseArrived.store(false);
    head = ResponseHead{};
    const Url url = Url::parse(address);
    const bool isPost = body.stream != nullptr;
    struct ReleaseBufferAtEnd {
        ResponseReader& reader;
        ~ReleaseBufferAtEnd() { reader.releaseBuffer(); }
    } releaseBufferAtEnd{reader};
    try {
        const bool reused = connectFor(url, isPost);
        const std::string requestHead = formatRequestHead(method, url, isPost, body.length);
        exchangeHeadRetryingStale(url, requestHead, body, reused);
        const BodyFraming framing = BodyFraming::of(head);
        contentLength.store(framing.declaredLength);
        responseArrived.store(true);
        if (!head.isSuccess()) {
            discardErrorBody(framing, isPost);
            throw HttpStatusError(head.statusCode, head.statusLine);
        }
        reader.readBody(framing, &target, limit,
                        [this](std::int64_t count) { fireWork(WorkMode::Reading, count); });
        finishExchange(framing, isPost);
    } catch (const HttpStatusError&) {
        throw;
    } catch (...) {
        connection.close();
        throw;
    }
}

// Returns whether the request goes out on a connection kept from before.
bool HttpClient::Impl::connectFor(const Url& url, bool freshConnection) {
    if (connection.isOpen() && (freshConnection || url.host != connectedHost ||
                                url.port != connectedPort || connection.hasUnexpectedInput())) {
        connection.close();
    }
    if (connection.isOpen()) {
        return true;
    }
    reconnect(url);
    return false;
}

void HttpClient::Impl::reconnect(const Url& url) {
    connection.open(url.host, url.port);
    connectedHost = url.host;
    connectedPort = url.port;
}

void HttpClient::Impl::exchangeHeadRetryingStale(const Url& url, const std::string& requestHead,
                                                 RequestBody body, bool reused) {
    try {
        exchangeHead(requestHead, body);
    } catch (const ConnectionLost&) {
        // A kept-alive connection may have been closed by the server just as
        // the request went out; that alone is worth one more try.
        if (!reused || reader.receivedReplyBytes() || connection.isInterrupted()) {
            throw;
        }
        reconnect(url);
        exchangeHead(requestHead, body);
    }
}

void HttpClient::Impl::exchangeHead(const std::string& requestHead, RequestBody body) {
    reader.startExchange();
    connection.sendAll(requestHead);
    if (body.stream) {
        sendBody(body);
    }
    head = reader.readHead();
}

void HttpClient::Impl::sendBody(RequestBody body) {
    std::vector<char> block(ResponseReader::receiveBlockSize);
    std::int64_t sent = 0;
    while (sent < body.length) {
        const std::int64_t wanted = std::min<std::int64_t>(body.length - sent, std::ssize(block));
        body.stream->read(block.data(), static_cast<std::streamsize>(wanted));
        const std::streamsize got = body.stream->gcount();
        if (got <= 0) {
            throw HttpError(HttpError::Kind::Unsupported, "request body ended early");
        }
        connection.sendAll(std::string_view(block.data(), static_cast<std::size_t>(got)));
        sent += got;
        fireWork(WorkMode::Writing, sent);
    }
}

// The body of a failed request is read only to keep the connection usable;
// if that fails too, the status is still the better explanation.
void HttpClient::Impl::discardErrorBody(const BodyFraming& framing, bool sentAsHttp10) {
    try {
        reader.readBody(framing, nullptr, settings.maxInMemoryBody, {});
        finishExchange(framing, sentAsHttp10);
    } catch (const HttpError&) {
        connection.close();
    }
}

void HttpClient::Impl::finishExchange(const BodyFraming& framing, bool sentAsHttp10) {
    const bool keepAlive = !sentAsHttp10 && !head.isHttp10 && framing.allowsReuse &&
                           !asksToClose(head) && !reader.hasSurplus() &&
                           !connection.hasUnexpectedInput();
    if (!keepAlive) {
        connection.close();
    }
}

HttpClient::HttpClient(ClientSettings settings)
    : impl(std::make_unique<Impl>(*this, settings)) {}

HttpClient::~HttpClient() = default;

std::string HttpClient::Get(const std::string& url) {
    std::ostringstream body;
    impl->perform("GET", url, {}, body, impl->settings.maxInMemoryBody);
    return std::move(body).str();
}

void HttpClient::Get(const std::string& url, std::ostream& body) {
    impl->perform("GET", url, {}, body, unlimited);
}

void HttpClient::Post(const std::string& url, std::istream& body, std::ostream& response) {
    impl->perform("POST", url, {&body, remainingLength(body)}, response, unlimited);
}

std::string HttpClient::Post(const std::string& url, std::string_view body) {
    std::istringstream request{std::string(body)};
    std::ostringstream response;
    impl->perform("POST", url, {&request, std::ssize(body)}, response,
                  impl->settings.maxInMemoryBody);
    return std::move(response).str();
}

void HttpClient::setSpeedLimit(const SpeedLimit* limit) {
    impl->throttle.follow(limit);
}

void HttpClient::Disconnect() {
    impl->connection.interrupt();
    impl->throttle.wake();
}

void HttpClient::clearDisconnect() {
    if (impl->connection.isInterrupted()) {
        // The kept connection may have been cut; it cannot be trusted again.
        impl->connection.close();
        impl->connection.clearInterrupt();
    }
}

std::int64_t HttpClient::ContentLength() const {
    return impl->contentLength.load();
}

bool HttpClient::hasResponse() const {
    return impl->responseArrived.load();
}

int HttpClient::StatusCode() const {
    return impl->head.statusCode;
}

const std::string& HttpClient::StatusLine() const {
    return impl->head.statusLine;
}

} // namespace http
