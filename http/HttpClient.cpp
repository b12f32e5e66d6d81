#include "http/HttpClient.h"

#include "http/BodyFraming.h"
#include "http/Channel.h"
#include "http/ConnectReply.h"
#include "http/ConnectionLost.h"
#include "http/HttpError.h"
#include "http/ProxyError.h"
#include "http/ReceiveThrottle.h"
#include "http/Redirect.h"
#include "http/RequestHead.h"
#include "http/ResponseReader.h"
#include "http/TextUtil.h"
#include "http/Url.h"

#include <algorithm>
#include <limits>
#include <sstream>
#include <streambuf>
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

bool isFollowedRedirect(int statusCode) {
    constexpr int followed[] = {301, 302, 303, 307, 308};
    return std::find(std::begin(followed), std::end(followed), statusCode) != std::end(followed);
}

constexpr int proxyAuthenticationRequired = 407;

// Keeps the first bytes of a body and refuses the rest: the refusal fails the
// stream, which ends the reading of a body longer than wanted.
class KeptPrefix : public std::streambuf {
public:
    explicit KeptPrefix(std::size_t capacity)
        : capacity(capacity) {}

    std::string text;
    bool overflowed = false;

protected:
    std::streamsize xsputn(const char* data, std::streamsize size) override {
        const auto kept = std::min(static_cast<std::size_t>(size), capacity - text.size());
        text.append(data, kept);
        overflowed = overflowed || kept < static_cast<std::size_t>(size);
        return static_cast<std::streamsize>(kept);
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::not_eof(c);
        }
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }

private:
    const std::size_t capacity;
};

} // namespace

class HttpClient::Impl {
public:
    Impl(HttpClient& owner, ClientSettings settings)
        : owner(owner)
        , settings(settings)
        , channel(settings.idleTimeoutMs, settings.resolver)
        , throttle([this] { return channel.isInterrupted(); })
        , reader(channel, &throttle) {}

    // How the body of a reply may come: a page or a form's reply must come
    // whole in time, like a head; a body streamed to its target may take as
    // long as its bytes keep coming.
    enum class Arrival { WholeInTime, AsItComes };

    void perform(std::string_view method, const std::string& address, RequestBody body,
                 std::ostream& target, std::int64_t limit, Arrival arrival);

    HttpClient& owner;
    ClientSettings settings;
    Channel channel;
    ReceiveThrottle throttle;
    ResponseReader reader;
    ResponseHead head;
    std::atomic<std::int64_t> contentLength{0};
    std::atomic<bool> responseArrived{false};

private:
    bool connectFor(const Url& url, const ProxyAddress* proxy, bool freshConnection);
    void exchangeHeadRetryingStale(const Url& url, const ProxyAddress* proxy,
                                   const std::string& requestHead, RequestBody body, bool reused);
    // `absoluteVia`: the http proxy the request went to in absolute form,
    // or null.
    [[noreturn]] void throwStatus(const ProxyAddress* absoluteVia) const;
    void exchangeHead(const std::string& requestHead, RequestBody body);
    void sendBody(RequestBody body);
    void discardErrorBody(const BodyFraming& framing, bool sentAsHttp10);
    void finishExchange(const BodyFraming& framing, bool sentAsHttp10);
    void fireWork(WorkMode mode, std::int64_t count) { owner.OnWork(&owner, mode, count); }
};

void HttpClient::Impl::perform(std::string_view method, const std::string& address,
                               RequestBody body, std::ostream& target, std::int64_t limit,
                               Arrival arrival) {
    if (channel.isInterrupted()) {
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
        const ProxyAddress* proxy = settings.proxies.proxyFor(url);
        const bool reused = connectFor(url, proxy, isPost);
        // Decided now, from the settings' own proxy: a channel forgets its
        // proxy once closed, as it is after an error's body on a connection
        // that is not kept.
        const ProxyAddress* absoluteVia = channel.usesAbsoluteForm() ? proxy : nullptr;
        const std::string requestHead =
            formatRequestHead(method, url, isPost, body.length, absoluteVia);
        exchangeHeadRetryingStale(url, proxy, requestHead, body, reused);
        const BodyFraming framing = BodyFraming::of(head);
        contentLength.store(framing.declaredLength);
        responseArrived.store(true);
        if (!head.isSuccess()) {
            discardErrorBody(framing, isPost);
            throwStatus(absoluteVia);
        }
        const auto readBody = [&] {
            reader.readBody(framing, &target, limit,
                            [this](std::int64_t count) { fireWork(WorkMode::Reading, count); });
        };
        if (arrival == Arrival::AsItComes) {
            readBody();
        } else {
            channel.withinDeadline(readBody);
        }
        finishExchange(framing, isPost);
    } catch (const HttpStatusError&) {
        throw;
    } catch (...) {
        channel.close();
        throw;
    }
}

// A proxy that wants another password answers the request itself; that is
// the proxy's refusal, not the server's.
void HttpClient::Impl::throwStatus(const ProxyAddress* absoluteVia) const {
    if (head.statusCode == proxyAuthenticationRequired && absoluteVia != nullptr) {
        throw ProxyError(ProxyError::Problem::Refused, absoluteVia->name(),
                         statusSummary(head.statusLine), head.statusCode);
    }
    const std::string* location = head.find("Location");
    throw HttpStatusError(head.statusCode, head.statusLine, location ? *location : std::string());
}

// Returns whether the request goes out on a connection kept from before.
bool HttpClient::Impl::connectFor(const Url& url, const ProxyAddress* proxy, bool freshConnection) {
    if (channel.isOpen() &&
        (freshConnection || !channel.leadsTo(url, proxy) || channel.hasUnexpectedInput())) {
        channel.close();
    }
    if (channel.isOpen()) {
        return true;
    }
    channel.open(url, proxy);
    return false;
}

void HttpClient::Impl::exchangeHeadRetryingStale(const Url& url, const ProxyAddress* proxy,
                                                 const std::string& requestHead, RequestBody body,
                                                 bool reused) {
    try {
        exchangeHead(requestHead, body);
    } catch (const ConnectionLost&) {
        // A kept-alive connection may have been closed by the server just as
        // the request went out; that alone is worth one more try.
        if (!reused || reader.receivedReplyBytes() || channel.isInterrupted()) {
            throw;
        }
        channel.open(url, proxy);
        exchangeHead(requestHead, body);
    }
}

void HttpClient::Impl::exchangeHead(const std::string& requestHead, RequestBody body) {
    reader.startExchange();
    channel.sendAll(requestHead);
    if (body.stream) {
        sendBody(body);
    }
    head = channel.withinDeadline([this] { return reader.readHead(); });
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
        channel.sendAll(std::string_view(block.data(), static_cast<std::size_t>(got)));
        sent += got;
        fireWork(WorkMode::Writing, sent);
    }
}

// The body of a failed request is read only to keep the connection usable;
// if that fails too, the status is still the better explanation.
void HttpClient::Impl::discardErrorBody(const BodyFraming& framing, bool sentAsHttp10) {
    try {
        channel.withinDeadline(
            [&] { reader.readBody(framing, nullptr, settings.maxInMemoryBody, {}); });
        finishExchange(framing, sentAsHttp10);
    } catch (const HttpError&) {
        channel.close();
    }
}

void HttpClient::Impl::finishExchange(const BodyFraming& framing, bool sentAsHttp10) {
    const bool keepAlive = !sentAsHttp10 && !head.isHttp10 && framing.allowsReuse &&
                           !asksToClose(head) && !reader.hasSurplus() &&
                           !channel.hasUnexpectedInput();
    if (!keepAlive) {
        channel.close();
    }
}

HttpClient::HttpClient(ClientSettings settings)
    : impl(std::make_unique<Impl>(*this, settings)) {}

HttpClient::~HttpClient() = default;

std::string HttpClient::Get(const std::string& url) {
    std::ostringstream body;
    impl->perform("GET", url, {}, body, impl->settings.maxInMemoryBody, Impl::Arrival::WholeInTime);
    return std::move(body).str();
}

void HttpClient::Get(const std::string& url, std::ostream& body) {
    impl->perform("GET", url, {}, body, unlimited, Impl::Arrival::AsItComes);
}

std::string HttpClient::GetFollowingRedirects(const std::string& url) {
    return followingRedirects(url, [this](const std::string& address) { return Get(address); });
}

std::string HttpClient::GetFollowingRedirects(const std::string& url, std::size_t keepAtMost,
                                              bool& cut) {
    return followingRedirects(url, [&](const std::string& address) {
        KeptPrefix kept(keepAtMost);
        std::ostream body(&kept);
        try {
            impl->perform("GET", address, {}, body, unlimited, Impl::Arrival::WholeInTime);
            cut = false;
        } catch (const HttpError&) {
            if (!kept.overflowed) {
                throw;
            }
            cut = true;
        }
        return std::move(kept.text);
    });
}

std::string
HttpClient::followingRedirects(const std::string& url,
                               const std::function<std::string(const std::string&)>& get) {
    std::string address = url;
    // Each address as it is fetched: the scheme counts, since the commonest
    // redirect leads from http to https on the same host and path.
    std::vector<std::string> visited;
    for (;;) {
        try {
            return get(address);
        } catch (const HttpStatusError& status) {
            if (!isFollowedRedirect(status.getStatusCode()) || status.location().empty()) {
                throw;
            }
            visited.push_back(Url::parse(address).absoluteForm());
            address = resolveRedirect(address, status.location());
            if (std::find(visited.begin(), visited.end(), Url::parse(address).absoluteForm()) !=
                visited.end()) {
                throw HttpError(HttpError::Kind::TooManyRedirects, "redirects in a circle");
            }
            if (std::ssize(visited) > maxRedirectsFollowed) {
                throw HttpError(HttpError::Kind::TooManyRedirects, "too many redirects");
            }
        }
    }
}

void HttpClient::Post(const std::string& url, std::istream& body, std::ostream& response) {
    impl->perform("POST", url, {&body, remainingLength(body)}, response, unlimited,
                  Impl::Arrival::AsItComes);
}

std::string HttpClient::Post(const std::string& url, std::string_view body) {
    std::istringstream request{std::string(body)};
    std::ostringstream response;
    impl->perform("POST", url, {&request, std::ssize(body)}, response,
                  impl->settings.maxInMemoryBody, Impl::Arrival::WholeInTime);
    return std::move(response).str();
}

void HttpClient::setSpeedLimit(const SpeedLimit* limit) {
    impl->throttle.follow(limit);
}

void HttpClient::Disconnect() {
    impl->channel.interrupt();
    impl->throttle.wake();
}

void HttpClient::clearDisconnect() {
    if (impl->channel.isInterrupted()) {
        // The kept connection may have been cut; it cannot be trusted again.
        impl->channel.close();
        impl->channel.clearInterrupt();
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
