#include "http/Channel.h"

#include "http/ProxyError.h"
#include "http/ProxyTunnel.h"
#include "http/Url.h"

namespace http {

Channel::Channel(std::int64_t idleTimeoutMs, Resolver resolver)
    : connection(idleTimeoutMs, std::move(resolver)) {}

void Channel::open(const Url& url, const ProxyAddress* proxy) {
    close();
    try {
        if (proxy == nullptr) {
            connection.open(url.host, url.port);
        } else {
            connectToProxy(*proxy);
            if (url.secure || proxy->kind != ProxyAddress::Kind::Http) {
                openTunnel(connection, *proxy, url.host, url.port);
            }
            via = *proxy;
        }
        if (url.secure) {
            tls = connection.withinDeadline(
                [&] { return std::make_unique<TlsSession>(connection, url.host); });
        }
    } catch (...) {
        // Never left open half-way, under the last address's name.
        close();
        throw;
    }
    host = url.host;
    port = url.port;
}

void Channel::connectToProxy(const ProxyAddress& proxy) {
    try {
        connection.open(proxy.host, proxy.port);
    } catch (const HttpError& error) {
        if (error.kind() == HttpError::Kind::Disconnected) {
            throw;
        }
        throw ProxyError(ProxyError::Problem::Unreachable, proxy.name(), error.what());
    }
}

bool Channel::leadsTo(const Url& url, const ProxyAddress* proxy) const {
    const bool sameProxy = proxy == nullptr ? !via : via && *via == *proxy;
    return isOpen() && sameProxy && (tls != nullptr) == url.secure && host == url.host &&
           port == url.port;
}

bool Channel::usesAbsoluteForm() const {
    return via && via->kind == ProxyAddress::Kind::Http && tls == nullptr;
}

void Channel::close() {
    tls.reset();
    connection.close();
    via.reset();
}

void Channel::sendAll(std::string_view data) {
    if (tls) {
        tls->sendAll(data);
    } else {
        connection.sendAll(data);
    }
}

std::size_t Channel::receive(char* buffer, std::size_t capacity) {
    return tls ? tls->receive(buffer, capacity) : connection.receive(buffer, capacity);
}

bool Channel::hasUnexpectedInput() {
    return tls ? tls->hasUnexpectedInput() : connection.hasUnexpectedInput();
}

} // namespace http
