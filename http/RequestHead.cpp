#include "http/RequestHead.h"

#include "http/ProxyAddress.h"

namespace http {

std::string formatRequestHead(std::string_view method, const Url& url, bool http10,
                              std::int64_t bodyLength, const ProxyAddress* viaProxy) {
    std::string head;
    head.reserve(128 + url.target.size() + url.host.size());
    head.append(method).append(" ").append(viaProxy ? url.absoluteForm() : url.target);
    head.append(http10 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n");
    // Without the port, as the program always sent it.
    head.append("Host: ").append(url.hostAsWritten()).append("\r\n");
    head.append("Accept: text/html, */*\r\n");
    head.append("User-Agent: Mozilla/3.0 (compatible; Tolvenka)\r\n");
    if (viaProxy && viaProxy->hasCredentials) {
        head.append("Proxy-Authorization: ").append(viaProxy->basicAuthorization()).append("\r\n");
    }
    if (bodyLength != 0) {
        head.append("Content-Length: ").append(std::to_string(bodyLength)).append("\r\n");
    }
    head.append("\r\n");
    return head;
}

} // namespace http
