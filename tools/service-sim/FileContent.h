#pragma once

// The bytes of every simulated file are a pure function of the file id and
// the offset, so a test or the demo can check a downloaded file without the
// server. Generation works on 64-bit words and runs at several GB/s, which
// keeps a 1 GiB file reply bound by the socket, not by the generator.

#include <cstddef>
#include <cstdint>
#include <string>

namespace servicesim {

// The byte at `offset` of the file with the given id.
unsigned char fileByte(const std::string& id, std::uint64_t offset);

// Writes `length` bytes of the file, starting at `offset`, into `out`.
void fillFileBytes(const std::string& id, std::uint64_t offset, char* out, std::size_t length);

// The whole content of a file; for tests with files that fit in memory.
std::string expectedContent(const std::string& id, std::uint64_t size);

} // namespace servicesim
