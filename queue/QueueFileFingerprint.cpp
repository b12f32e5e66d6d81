#include "queue/QueueFileFingerprint.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string_view>

namespace tolvenka {

FingerprintBuffer::FingerprintBuffer(std::streambuf* copyTo)
    : copyTo(copyTo) {
    setp(block.data(), block.data() + block.size());
}

QueueFileFingerprint FingerprintBuffer::fingerprint() {
    hashBlock();
    return QueueFileFingerprint{hashed, hashedSize};
}

FingerprintBuffer::int_type FingerprintBuffer::overflow(int_type c) {
    if (!hashBlock()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

bool FingerprintBuffer::hashBlock() {
    const std::string_view bytes(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    if (!bytes.empty()) {
        hashed = (hashed ^ std::hash<std::string_view>{}(bytes)) * 1099511628211ULL;
        hashedSize += bytes.size();
        const auto length = static_cast<std::streamsize>(bytes.size());
        copied = copied && (copyTo == nullptr || copyTo->sputn(bytes.data(), length) == length);
    }
    setp(block.data(), block.data() + block.size());
    return copied;
}

} // namespace tolvenka
