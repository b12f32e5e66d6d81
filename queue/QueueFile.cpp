#include "queue/QueueFile.h"

#include "engine/Download.h"
#include "engine/FailureReason.h"
#include "engine/QueueFileLine.h"
#include "platform/FileSystem.h"
#include "platform/PlainFileReader.h"
#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"
#include "support/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>
#include <streambuf>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr const char* lineEnd = "\r\n";

// The integer a line starts with, leading blanks skipped and whatever follows
// it ignored; none when the line starts with no number that fits.
std::optional<long long> leadingInteger(const std::string& line) {
    std::size_t start = line.find_first_not_of(" \t\v\f\r");
    if (start == std::string::npos) {
        return std::nullopt;
    }
    if (line[start] == '+' && start + 1 < line.size() && line[start + 1] != '-') {
        ++start;
    }
    long long value = 0;
    const char* first = line.data() + start;
    const auto [end, error] = std::from_chars(first, line.data() + line.size(), value);
    if (error != std::errc() || end == first) {
        return std::nullopt;
    }
    return value;
}

[[noreturn]] void throwUnreadable(const std::string& path, int error) {
    throw kestrune::exceptions::Exception(
        std::string("Толвенка не может прочитать список загрузок "_cp1251) + path + ": " +
        fileReadReason(error) + ".");
}

// The bytes of a queue file as a stream, a block at a time, each block
// fingerprinted as it passes: the file is parsed while it is read and is
// never held whole. A block that cannot be read throws ReadFailure.
class QueueFileBytes : public std::streambuf {
public:
    struct ReadFailure {
        int error;
    };

    explicit QueueFileBytes(const BlockReader& readBlock)
        : readBlock(readBlock)
        , fingerprinted(std::make_unique<FingerprintBuffer>(nullptr)) {}

    // Reads what the parse left, so that the fingerprint is of the whole file.
    void readToEnd() {
        while (!traits_type::eq_int_type(underflow(), traits_type::eof())) {
            setg(eback(), egptr(), egptr());
        }
    }

    QueueFileFingerprint fingerprint() { return fingerprinted->fingerprint(); }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) {
            return traits_type::to_int_type(*gptr());
        }
        if (atEnd) {
            return traits_type::eof();
        }
        // The last bytes stay in front of the next ones, for a parser that
        // steps back over what it looked at.
        const std::size_t kept = std::min(bytes.size(), keptForStepsBack);
        bytes.erase(0, bytes.size() - kept);
        if (const int error = readBlock(bytes); error != 0) {
            throw ReadFailure{error};
        }
        const std::size_t got = bytes.size() - kept;
        fingerprinted->sputn(bytes.data() + kept, static_cast<std::streamsize>(got));
        atEnd = got == 0;
        setg(bytes.data(), bytes.data() + kept, bytes.data() + bytes.size());
        return atEnd ? traits_type::eof() : traits_type::to_int_type(*gptr());
    }

private:
    static constexpr std::size_t keptForStepsBack = 16;

    const BlockReader& readBlock;
    std::string bytes;
    bool atEnd = false;
    std::unique_ptr<FingerprintBuffer> fingerprinted; // its block is large for a stack
};

} // namespace

void readQueueOptions(std::istream& in, QueueOptions& options) {
    std::string line;
    if (!readQueueFileLine(in, line)) {
        return;
    }
    const std::optional<long long> flag = leadingInteger(line);
    if (flag == 0 || flag == 1) {
        options.deleteCompleted = *flag == 1;
    }
    // A folder with a control byte was not written by this program.
    if (readQueueFileLine(in, line) && !kestrune::text::hasControlByte(line)) {
        options.targetFolder = line;
    }
}

void writeQueueOptions(std::ostream& out, const QueueOptions& options) {
    out << (options.deleteCompleted ? "1" : "0") << lineEnd << options.targetFolder << lineEnd;
}

int openPlainFile(const std::string& path, BlockReader& readBlock) {
    auto reader = std::make_shared<platform::PlainFileReader>();
    const int error = reader->open(path);
    readBlock = [reader](std::string& bytes) {
        return reader->readMore(bytes);
    };
    return error;
}

ReadQueueFile readQueueFile(const std::string& path, const FileOpener& open) {
    BlockReader readBlock;
    const int error = open(path, readBlock);
    if (error == ENOENT) {
        return {};
    }
    if (error != 0) {
        throwUnreadable(path, error);
    }
    ReadQueueFile read;
    read.opened = true;
    QueueFileBytes bytes(readBlock);
    std::istream in(&bytes);
    // A stream takes what its bytes throw for their end, unless told to let
    // it through: a file that failed part way would pass for its part read.
    in.exceptions(std::ios::badbit);
    try {
        std::string line;
        for (int option = 0; option < 2 && readQueueFileLine(in, line); ++option) {
            read.optionLines += line + lineEnd;
        }
        read.downloads = DownloadsSet::readRecords(in);
        bytes.readToEnd();
    } catch (const QueueFileBytes::ReadFailure& failure) {
        throwUnreadable(path, failure.error);
    }
    read.fingerprint = bytes.fingerprint();
    return read;
}

bool takeQueueFile(ReadQueueFile read, QueueOptions& options, DownloadsSet& set) {
    if (!read.opened) {
        return false;
    }
    std::istringstream optionLines(read.optionLines);
    readQueueOptions(optionLines, options);
    set.adopt(std::move(read.downloads));
    return true;
}

bool loadQueueFile(const std::string& path, QueueOptions& options, DownloadsSet& set) {
    return takeQueueFile(readQueueFile(path), options, set);
}

void writeQueueFile(std::ostream& out, const QueueOptions& options, const DownloadsSet& set) {
    writeQueueOptions(out, options);
    set.save(out);
}

std::string queueFileContent(const QueueOptions& options, const DownloadsSet& set) {
    std::ostringstream out(std::ios::binary);
    writeQueueFile(out, options, set);
    return std::move(out).str();
}

bool saveQueueFile(const std::string& path, const QueueOptions& options, const DownloadsSet& set) {
    return platform::replaceFileAtomically(
        path, [&](std::ostream& out) { writeQueueFile(out, options, set); });
}

} // namespace tolvenka
