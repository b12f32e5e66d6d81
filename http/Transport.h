#pragma once

#include <cstddef>
#include <string_view>

namespace http {

// The byte stream that requests are written to and replies read from: a TCP
// connection, or TLS over one. Owner thread only; every step ends on the
// idle timeout and on an interrupt of the connection beneath.
class Transport {
public:
    virtual ~Transport() = default;

    virtual void sendAll(std::string_view data) = 0;
    // Waits for bytes and stores at most `capacity` of them. Returns 0 when
    // the peer has ended the stream in order.
    virtual std::size_t receive(char* buffer, std::size_t capacity) = 0;

protected:
    Transport() = default;
    Transport(const Transport&) = default;
    Transport& operator=(const Transport&) = default;
};

} // namespace http
