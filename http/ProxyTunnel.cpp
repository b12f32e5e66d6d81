#include "http/ProxyTunnel.h"

#include "http/ConnectReply.h"
#include "http/Connection.h"
#include "http/ProxyAddress.h"
#include "http/ProxyError.h"
#include "http/RequestHead.h"
#include "http/SocksMessages.h"
#include "http/TextUtil.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

namespace http {

namespace {

using Problem = ProxyError::Problem;

constexpr std::size_t maxSocksField = 255;

// A SOCKS proxy speaks only when spoken to, whatever its answer.
bool opensAlways(const socks::Reply&) {
    return true;
}

// Reads until `parse` has a whole reply. Where the way is open, the proxy
// says nothing more until it is spoken to, so bytes beyond that reply break
// its protocol; a refusal may come with a page.
template <typename Reply, typename Parse, typename Opens>
Reply readReply(Connection& connection, const ProxyAddress& proxy, Parse parse, Opens opens) {
    std::string buffer;
    char block[512];
    for (;;) {
        const std::size_t received = connection.receive(block, sizeof block);
        if (received == 0) {
            throw ProxyError(Problem::Malformed, proxy.name(), "closed before its reply");
        }
        buffer.append(block, received);
        Reply reply = parse(std::string_view(buffer));
        if (reply.status == Reply::Status::Error) {
            throw ProxyError(Problem::Malformed, proxy.name(), reply.error);
        }
        if (reply.status == Reply::Status::Complete) {
            if (reply.consumed != buffer.size() && opens(reply)) {
                throw ProxyError(Problem::Malformed, proxy.name(), "bytes beyond its reply");
            }
            return reply;
        }
    }
}

void openHttpTunnel(Connection& connection, const ProxyAddress& proxy, const std::string& host,
                    std::uint16_t port) {
    connection.sendAll(formatConnectHead(hostWithPort(host, port), proxy));
    const ConnectReply reply =
        readReply<ConnectReply>(connection, proxy, &ConnectReply::parse,
                                [](const ConnectReply& reply) { return reply.isTunnel(); });
    if (!reply.isTunnel()) {
        throw ProxyError(Problem::Refused, proxy.name(), reply.summary, reply.statusCode);
    }
}

// The bytes of the first address of `host`, looked up here.
std::string addressBytesOf(Connection& connection, const std::string& host, std::uint16_t port) {
    const AddressList addresses = connection.lookUp(host, port);
    const addrinfo* address = addresses.get();
    if (address == nullptr) {
        throw HttpError(HttpError::Kind::Unresolved, "no address for " + host);
    }
    if (address->ai_family == AF_INET6) {
        const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(address->ai_addr);
        return std::string(reinterpret_cast<const char*>(&ipv6->sin6_addr), 16);
    }
    const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address->ai_addr);
    return std::string(reinterpret_cast<const char*>(&ipv4->sin_addr), 4);
}

void signInToSocks(Connection& connection, const ProxyAddress& proxy) {
    connection.sendAll(socks::greeting(proxy.hasCredentials));
    const socks::Reply choice =
        readReply<socks::Reply>(connection, proxy, &socks::parseMethodChoice, opensAlways);
    if (choice.code == socks::userPassword && proxy.hasCredentials) {
        connection.sendAll(socks::passwordRequest(proxy.user, proxy.password));
        const socks::Reply signedIn =
            readReply<socks::Reply>(connection, proxy, &socks::parsePasswordReply, opensAlways);
        if (signedIn.code != socks::succeeded) {
            throw ProxyError(Problem::SocksPasswordRejected, proxy.name());
        }
    } else if (choice.code == socks::noAcceptableMethod) {
        throw ProxyError(proxy.hasCredentials ? Problem::SocksNoMethod
                                              : Problem::SocksWantsPassword,
                         proxy.name());
    } else if (choice.code != socks::noAuthentication) {
        throw ProxyError(Problem::Malformed, proxy.name(), "a method that was not offered");
    }
}

// The request to connect to `host`, whose address is looked up here for
// socks5:// (socks5h:// leaves that to the proxy).
std::string socksConnectRequest(Connection& connection, const ProxyAddress& proxy,
                                const std::string& host, std::uint16_t port) {
    if (proxy.user.size() > maxSocksField || proxy.password.size() > maxSocksField ||
        host.size() > maxSocksField) {
        throw ProxyError(Problem::BadAddress, proxy.name(), "a name or password over 255 bytes");
    }
    return proxy.kind == ProxyAddress::Kind::Socks5WithRemoteNames
               ? socks::connectRequestForName(host, port)
               : socks::connectRequestForAddress(addressBytesOf(connection, host, port), port);
}

void openSocksTunnel(Connection& connection, const ProxyAddress& proxy,
                     const std::string& request) {
    signInToSocks(connection, proxy);
    connection.sendAll(request);
    const socks::Reply reply =
        readReply<socks::Reply>(connection, proxy, &socks::parseConnectReply, opensAlways);
    if (reply.code != socks::succeeded) {
        throw ProxyError(Problem::SocksRefused, proxy.name(), {}, reply.code);
    }
}

} // namespace

void openTunnel(Connection& connection, const ProxyAddress& proxy, const std::string& host,
                std::uint16_t port) {
    // Looked up before the proxy is spoken to, so that a slow name server
    // neither keeps the proxy waiting nor is blamed on it.
    const std::string socksRequest = proxy.kind == ProxyAddress::Kind::Http
                                         ? std::string()
                                         : socksConnectRequest(connection, proxy, host, port);
    try {
        connection.withinDeadline([&] {
            if (proxy.kind == ProxyAddress::Kind::Http) {
                openHttpTunnel(connection, proxy, host, port);
            } else {
                openSocksTunnel(connection, proxy, socksRequest);
            }
        });
    } catch (const ProxyError&) {
        throw;
    } catch (const HttpError& error) {
        switch (error.kind()) {
        case HttpError::Kind::TimedOut:
            throw ProxyError(Problem::NotAnswering, proxy.name());
        case HttpError::Kind::TooSlow:
            throw ProxyError(Problem::TooSlow, proxy.name());
        case HttpError::Kind::ConnectionLost:
            throw ProxyError(Problem::Malformed, proxy.name(), "the connection broke");
        default:
            throw;
        }
    }
}

} // namespace http
