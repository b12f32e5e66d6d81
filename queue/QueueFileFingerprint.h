#pragma once

#include <array>
#include <cstdint>
#include <streambuf>
#include <string_view>

namespace tolvenka {

// The length and a hash of a queue file's bytes: enough to tell whether it
// changed, without keeping the bytes, which for a long queue would double
// what the queue costs in memory.
struct QueueFileFingerprint {
    std::uint64_t hash = 0;
    std::uint64_t size = 0;
    bool operator==(const QueueFileFingerprint&) const = default;
};

// A stream target that keeps nothing of what is written but its length and
// a hash, and hands the bytes on to `copyTo` when there is one: the
// fingerprint of a queue file costs no copy of it, and a save learns the
// fingerprint of the very bytes it wrote. Bytes are gathered in a block and
// hashed a block at a time, so the hash of the same bytes is the same
// however they were written.
class FingerprintBuffer : public std::streambuf {
public:
    explicit FingerprintBuffer(std::streambuf* copyTo);

    // Hands on what is gathered too.
    QueueFileFingerprint fingerprint();

protected:
    int_type overflow(int_type c) override;

private:
    // False once the copy failed; the stream then fails too.
    bool hashBlock();

    std::streambuf* copyTo;
    bool copied = true;
    std::array<char, 65536> block{};
    std::uint64_t hashed = 14695981039346656037ULL;
    std::uint64_t hashedSize = 0;
};

} // namespace tolvenka
