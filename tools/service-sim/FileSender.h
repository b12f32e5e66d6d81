#pragma once

#include "tools/service-sim/FileSpec.h"
#include "tools/service-sim/StopSignal.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace servicesim {

// Streams one file reply onto a connection: the head, then the body in the
// file's delivery mode, paced to its rate, cut short when it breaks off. The
// body is generated block by block and never held whole.
class FileSender {
public:
    static constexpr std::size_t BlockBytes = 256 * 1024;

    FileSender(int fd, const FileSpec& spec, bool breaksOff, const StopSignal& stop);

    // Sends the reply; true when the connection may serve another request.
    bool send(bool clientWantsClose);

private:
    std::string head(bool closeAfter) const;
    std::size_t sliceBytes() const;
    bool sendBody();
    bool sendSlice(std::uint64_t offset, std::size_t length, std::size_t sentLength);
    bool waitForPace(std::uint64_t sentBytes);

    const int fd;
    const FileSpec& spec;
    const std::uint64_t cutAt; // body bytes sent before the break-off, or the size
    const bool breaksOff;
    const StopSignal& stop;
    std::vector<char> buffer;
    std::chrono::steady_clock::time_point started;
};

} // namespace servicesim
