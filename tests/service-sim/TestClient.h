#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace simtest {

// One reply as the test client read it.
struct Reply {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    bool complete = false; // the body arrived whole by its own framing

    std::string header(std::string_view name) const;
};

// One plain-socket connection to 127.0.0.1, for talking to the service
// byte by byte. Reads give up after ten seconds, so a test never hangs.
class TestClient {
public:
    explicit TestClient(std::uint16_t port);
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;
    ~TestClient();

    void send(std::string_view bytes);
    Reply readReply();
    // True when the server closes the connection without sending anything more.
    bool closedByServer();
    // Everything up to the server's close.
    std::string readToClose();

private:
    bool fill();
    std::string takeLine();
    std::string takeBytes(std::size_t count);
    void readChunkedBody(Reply& reply);

    int fd = -1;
    std::string buffer;
};

// Splits "http://127.0.0.1:PORT/path" into port and path.
std::pair<std::uint16_t, std::string> splitUrl(const std::string& url);

// One request on a fresh connection; the reply is read to its end.
Reply get(const std::string& url);
Reply post(const std::string& url, const std::string& body);

// The text after `marker` up to the next double quote, or "".
std::string textAfter(const std::string& text, const std::string& marker);

} // namespace simtest
