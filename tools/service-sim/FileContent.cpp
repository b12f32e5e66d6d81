#include "tools/service-sim/FileContent.h"

#include <bit>
#include <cstring>

namespace servicesim {

namespace {

std::uint64_t seedOf(const std::string& id) {
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (unsigned char c : id) {
        hash = (hash ^ c) * 1099511628211ULL;
    }
    return hash;
}

// splitmix64: a cheap, well-mixed function of the word index.
std::uint64_t wordAt(std::uint64_t seed, std::uint64_t wordIndex) {
    std::uint64_t z = seed + (wordIndex + 1) * 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Called on big-endian machines only; elsewhere its call is compiled out.
[[maybe_unused]] std::uint64_t byteSwapped(std::uint64_t word) {
    std::uint64_t swapped = 0;
    for (int i = 0; i < 8; ++i, word >>= 8) {
        swapped = (swapped << 8) | (word & 0xFF);
    }
    return swapped;
}

unsigned char byteOfWord(std::uint64_t word, unsigned index) {
    return static_cast<unsigned char>(word >> (8 * index));
}

} // namespace

unsigned char fileByte(const std::string& id, std::uint64_t offset) {
    return byteOfWord(wordAt(seedOf(id), offset / 8), static_cast<unsigned>(offset % 8));
}

void fillFileBytes(const std::string& id, std::uint64_t offset, char* out, std::size_t length) {
    const std::uint64_t seed = seedOf(id);
    std::size_t done = 0;
    // Head: up to the next word boundary.
    while (done < length && (offset + done) % 8 != 0) {
        const std::uint64_t at = offset + done;
        out[done++] =
            static_cast<char>(byteOfWord(wordAt(seed, at / 8), static_cast<unsigned>(at % 8)));
    }
    // Body: whole words, little-endian byte order.
    std::uint64_t wordIndex = (offset + done) / 8;
    for (; length - done >= 8; done += 8, ++wordIndex) {
        std::uint64_t word = wordAt(seed, wordIndex);
        if constexpr (std::endian::native == std::endian::big) {
            word = byteSwapped(word);
        }
        std::memcpy(out + done, &word, 8);
    }
    // Tail.
    if (done < length) {
        const std::uint64_t word = wordAt(seed, wordIndex);
        for (unsigned i = 0; done < length; ++i) {
            out[done++] = static_cast<char>(byteOfWord(word, i));
        }
    }
}

std::string expectedContent(const std::string& id, std::uint64_t size) {
    std::string content(size, '\0');
    fillFileBytes(id, 0, content.data(), content.size());
    return content;
}

} // namespace servicesim
