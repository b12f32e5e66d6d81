#include "queue/QueueFileKeeper.h"

#include "queue/DownloadsSet.h"

#include <array>
#include <functional>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string_view>

namespace tolvenka {

namespace {

// A stream target that keeps nothing of what is written but its length and
// a hash: the fingerprint of a queue file costs no copy of it. Bytes are
// gathered in a block and hashed a block at a time.
class FingerprintBuffer : public std::streambuf {
public:
    FingerprintBuffer() { setp(block.data(), block.data() + block.size()); }

    std::uint64_t size() const { return hashedSize + static_cast<std::uint64_t>(pptr() - pbase()); }
    std::uint64_t hash() {
        hashBlock();
        return hashed;
    }

protected:
    int_type overflow(int_type c) override {
        hashBlock();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

private:
    void hashBlock() {
        const std::string_view bytes(pbase(), static_cast<std::size_t>(pptr() - pbase()));
        if (!bytes.empty()) {
            hashed = (hashed ^ std::hash<std::string_view>{}(bytes)) * 1099511628211ULL;
            hashedSize += bytes.size();
        }
        setp(block.data(), block.data() + block.size());
    }

    std::array<char, 65536> block{};
    std::uint64_t hashed = 14695981039346656037ULL;
    std::uint64_t hashedSize = 0;
};

} // namespace

QueueFileKeeper::QueueFileKeeper(std::string path, DownloadsSet& set)
    : path(std::move(path))
    , set(set) {}

bool QueueFileKeeper::load(QueueOptions& options) {
    const bool read = loadQueueFile(path, options, set);
    checkedChanges = set.changeCount();
    checkedOptions = options;
    saved = fingerprintOf(options);
    return read;
}

void QueueFileKeeper::saveIfChanged(const QueueOptions& options) {
    // Read before the file's bytes are made: a change meanwhile is seen
    // next time.
    const std::uint64_t changes = set.changeCount();
    if (changes == checkedChanges && options == checkedOptions) {
        return;
    }
    const Fingerprint now = fingerprintOf(options);
    if (now == saved || saveQueueFile(path, options, set)) {
        saved = now;
        checkedChanges = changes;
        checkedOptions = options;
    }
}

bool QueueFileKeeper::save(const QueueOptions& options) {
    const std::uint64_t changes = set.changeCount();
    if (!saveQueueFile(path, options, set)) {
        return false;
    }
    saved = fingerprintOf(options);
    checkedChanges = changes;
    checkedOptions = options;
    return true;
}

QueueFileKeeper::Fingerprint QueueFileKeeper::fingerprintOf(const QueueOptions& options) const {
    auto fingerprint = std::make_unique<FingerprintBuffer>();
    std::ostream out(fingerprint.get());
    writeQueueFile(out, options, set);
    const std::uint64_t size = fingerprint->size();
    return Fingerprint{fingerprint->hash(), size};
}

} // namespace tolvenka
