#include "queue/QueueFileKeeper.h"

#include "platform/FileSystem.h"
#include "queue/DownloadsSet.h"

#include <array>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string_view>

namespace tolvenka {

namespace {

// A stream target that keeps nothing of what is written but its length and
// a hash, and hands the bytes on to `copyTo` when there is one: the
// fingerprint of a queue file costs no copy of it, and a save learns the
// fingerprint of the very bytes it wrote. Bytes are gathered in a block and
// hashed a block at a time, so the hash of the same bytes is the same
// however they were written.
class FingerprintBuffer : public std::streambuf {
public:
    explicit FingerprintBuffer(std::streambuf* copyTo)
        : copyTo(copyTo) {
        setp(block.data(), block.data() + block.size());
    }

    std::uint64_t size() const { return hashedSize + static_cast<std::uint64_t>(pptr() - pbase()); }
    std::uint64_t hash() {
        hashBlock();
        return hashed;
    }

protected:
    int_type overflow(int_type c) override {
        if (!hashBlock()) {
            return traits_type::eof();
        }
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

private:
    // False once the copy failed; the stream then fails too.
    bool hashBlock() {
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

    std::streambuf* copyTo;
    bool copied = true;
    std::array<char, 65536> block{};
    std::uint64_t hashed = 14695981039346656037ULL;
    std::uint64_t hashedSize = 0;
};

} // namespace

QueueFileKeeper::QueueFileKeeper(std::string path, DownloadsSet& set)
    : path(std::move(path))
    , set(set) {}

bool QueueFileKeeper::load(QueueOptions& options) {
    return load(readQueueFile(path), options);
}

bool QueueFileKeeper::load(ReadQueueFile read, QueueOptions& options) {
    const bool opened = takeQueueFile(std::move(read), options, set);
    checkedChanges = set.changeCount();
    checkedOptions = options;
    // Without a file, the defaults and the queue as they are count as saved.
    savedKnown = !opened;
    if (!opened) {
        saved = fingerprintOf(options);
    }
    return opened;
}

bool QueueFileKeeper::saveIfChanged(const QueueOptions& options) {
    // Read before the file's bytes are made: a change meanwhile is seen
    // next time.
    const std::uint64_t changes = set.changeCount();
    if (changes == checkedChanges && options == checkedOptions) {
        return true;
    }
    if (!savedKnown) {
        saved = fingerprintOfFile();
        savedKnown = true;
    }
    if (fingerprintOf(options) == saved) {
        checkedChanges = changes;
        checkedOptions = options;
        return true;
    }
    return write(options, changes);
}

bool QueueFileKeeper::save(const QueueOptions& options) {
    return write(options, set.changeCount());
}

// The file is written as its fingerprint is taken, a block at a time: a long
// queue's file is never held whole.
bool QueueFileKeeper::write(const QueueOptions& options, std::uint64_t changes) {
    // Whether it is written or not, this state has been dealt with: a file
    // that cannot be written is tried again at the next change.
    checkedChanges = changes;
    checkedOptions = options;
    Fingerprint written;
    const bool replaced = platform::replaceFileAtomically(
        path, [&](std::ostream& out) { written = fingerprintOf(options, out.rdbuf()); }, &failure);
    if (!replaced) {
        return false;
    }
    failure = 0;
    saved = written;
    savedKnown = true;
    return true;
}

std::optional<QueueFileKeeper::Fingerprint> QueueFileKeeper::fingerprintOfFile() const {
    std::ifstream in;
    if (!platform::openForReading(in, path)) {
        return std::nullopt;
    }
    auto fingerprint = std::make_unique<FingerprintBuffer>(nullptr);
    std::ostream out(fingerprint.get());
    // An empty file copies nothing and fails the stream; its fingerprint
    // is that of no bytes all the same.
    if (in.peek() != std::ifstream::traits_type::eof()) {
        out << in.rdbuf();
    }
    if (in.bad()) {
        return std::nullopt;
    }
    const std::uint64_t size = fingerprint->size();
    return Fingerprint{fingerprint->hash(), size};
}

QueueFileKeeper::Fingerprint QueueFileKeeper::fingerprintOf(const QueueOptions& options,
                                                            std::streambuf* copyTo) const {
    auto fingerprint = std::make_unique<FingerprintBuffer>(copyTo);
    std::ostream out(fingerprint.get());
    writeQueueFile(out, options, set);
    const std::uint64_t size = fingerprint->size();
    return Fingerprint{fingerprint->hash(), size};
}

} // namespace tolvenka
