#include "tests/service-sim/TestClient.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>

namespace simtest {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string Reply::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (sameIgnoringCase(key, name)) {
            return value;
        }
    }
    return {};
}

TestClient::TestClient(std::uint16_t port) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect to port " + std::to_string(port));
    }
}

TestClient::~TestClient() {
    ::close(fd);
}

void TestClient::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            throw std::runtime_error("send failed");
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

bool TestClient::fill() {
    char block[65536];
    const ssize_t received = ::recv(fd, block, sizeof block, 0);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        throw std::runtime_error("the server went silent");
    }
    if (received <= 0) {
        return false;
    }
    buffer.append(block, static_cast<std::size_t>(received));
    return true;
}

std::string TestClient::takeLine() {
    std::size_t end;
    while ((end = buffer.find("\r\n")) == std::string::npos) {
        if (!fill()) {
            throw std::runtime_error("connection ended inside a line");
        }
    }
    std::string line = buffer.substr(0, end);
    buffer.erase(0, end + 2);
    return line;
}

std::string TestClient::takeBytes(std::size_t count) {
    while (buffer.size() < count && fill()) {
    }
    std::string bytes = buffer.substr(0, count);
    buffer.erase(0, bytes.size());
    return bytes;
}

void TestClient::readChunkedBody(Reply& reply) {
    try {
        for (;;) {
            const std::size_t size = std::stoul(takeLine(), nullptr, 16);
            if (size == 0) {
                takeLine();
                reply.complete = true;
                return;
            }
            const std::string chunk = takeBytes(size);
            reply.body += chunk;
            if (chunk.size() < size || takeLine() != "") {
                return;
            }
        }
    } catch (const std::runtime_error&) { // the connection ended inside the framing
    }
}

Reply TestClient::readReply() {
    Reply reply;
    const std::string statusLine = takeLine();
    reply.status = std::stoi(statusLine.substr(statusLine.find(' ') + 1, 3));
    for (std::string line = takeLine(); !line.empty(); line = takeLine()) {
        const auto colon = line.find(':');
        reply.headers.emplace_back(line.substr(0, colon),
                                   line.substr(line.find_first_not_of(' ', colon + 1)));
    }
    const std::string length = reply.header("Content-Length");
    if (reply.status < 200) { // an interim reply has no body
        reply.complete = true;
    } else if (reply.header("Transfer-Encoding") == "chunked") {
        readChunkedBody(reply);
    } else if (!length.empty()) {
        const auto expected = std::stoull(length);
        reply.body = takeBytes(expected);
        reply.complete = reply.body.size() == expected;
    } else {
        reply.body = readToClose();
        reply.complete = true;
    }
    return reply;
}

bool TestClient::closedByServer() {
    return buffer.empty() && !fill();
}

std::string TestClient::readToClose() {
    while (fill()) {
    }
    return std::exchange(buffer, {});
}

std::pair<std::uint16_t, std::string> splitUrl(const std::string& url) {
    const std::string prefix = "http://127.0.0.1:";
    if (!url.starts_with(prefix)) {
        throw std::invalid_argument("not a loopback url: " + url);
    }
    const auto slash = url.find('/', prefix.size());
    return {static_cast<std::uint16_t>(std::stoi(url.substr(prefix.size(), slash - prefix.size()))),
            url.substr(slash)};
}

Reply get(const std::string& url) {
    const auto [port, path] = splitUrl(url);
    TestClient client(port);
    client.send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    return client.readReply();
}

Reply post(const std::string& url, const std::string& body) {
    const auto [port, path] = splitUrl(url);
    TestClient client(port);
    client.send("POST " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body);
    return client.readReply();
}

std::string textAfter(const std::string& text, const std::string& marker) {
    const auto at = text.find(marker);
    if (at == std::string::npos) {
        return {};
    }
    const auto start = at + marker.size();
    const auto end = text.find('"', start);
    return end == std::string::npos ? std::string() : text.substr(start, end - start);
}

} // namespace simtest
