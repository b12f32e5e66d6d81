#pragma once

#include <cstddef>
#include <string_view>
#include <sys/types.h>

namespace servicesim {

// Sends all bytes; false when the connection failed. Never raises SIGPIPE.
bool sendAll(int fd, const char* data, std::size_t length);
inline bool sendAll(int fd, std::string_view data) {
    return sendAll(fd, data.data(), data.size());
}

// One read of at most `capacity` bytes; 0 at the end of the stream, -1 on failure.
ssize_t receiveSome(int fd, char* out, std::size_t capacity);

// Ends our side of the connection and reads what the peer still sends, for a
// moment at most, so that unread request bytes do not turn the later close
// into a reset that could destroy the reply still in flight.
void shutdownAndDrain(int fd);

} // namespace servicesim
