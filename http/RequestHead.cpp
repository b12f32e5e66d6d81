#include "http/RequestHead.h"

#include "http/ProxyAddress.h"

namespace http {

namespace {

constexpr std::string_view userAgentLine = "User-Agent: Mozilla/3.0 (compatible; Tolvenka)\r\n";

void appendProxyAuthorization(std::string& head, const ProxyAddress& proxy) {
    if (proxy.hasCredentials) {
        head.append("Proxy-Authorization: ").append(proxy.basicAuthorization()).append("\r\n");
    }
}

} // namespace

std::string formatRequestHead(std::string_view method, const Url& url, bool http10,
                              std::int64_t bodyLength, const ProxyAddress* viaProxy) {
    std::string head;
    head.reserve(128 + url.target.size() + url.host.size());
    head.append(method).append(" ").append(viaProxy ? url.absoluteForm() : url.target);
    head.append(http10 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n");
    // Without the port, as the program always sent it.
    head.append("Host: ").append(url.hostAsWritten()).append("\r\n");
    head.append("Accept: text/html, */*\r\n");
    head.append(userAgentLine);
    if (viaProxy) {
        appendProxyAuthorization(head, *viaProxy);
    }
    if (bodyLength != 0) {
        head.append("Content-Length: ").append(std::to_string(bodyLength)).append("\r\n");
    }
    head.append("\r\n");
    return head;
}

std::string formatConnectHead(const std::string& authority, const ProxyAddress& proxy) {
    std::string head = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    head.append(userAgentLine);
    appendProxyAuthorization(head, proxy);
    return head.append("\r\n");
}

} // namespace http
