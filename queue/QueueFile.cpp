#include "queue/QueueFile.h"

#include "engine/Download.h"
#include "engine/FailureReason.h"
#include "engine/QueueFileLine.h"
#include "platform/FileSystem.h"
#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"
#include "support/Exceptions.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>

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

ReadQueueFile readQueueFile(const std::string& path) {
    std::string content;
    const int error = platform::readPlainFile(path, content);
    throwIfUnreadable(path, error);
    if (error != 0) {
        return {};
    }
    return readQueueFileContent(std::move(content));
}

void throwIfUnreadable(const std::string& path, int error) {
    if (error == 0 || error == ENOENT) {
        return;
    }
    throw kestrune::exceptions::Exception(
        std::string("Толвенка не может прочитать список загрузок "_cp1251) + path + ": " +
        fileReadReason(error) + ".");
}

ReadQueueFile readQueueFileContent(std::string content) {
    ReadQueueFile read;
    read.opened = true;
    read.fingerprint = fingerprintOfBytes(content);
    std::istringstream in(std::move(content));
    std::string line;
    for (int option = 0; option < 2 && readQueueFileLine(in, line); ++option) {
        read.optionLines += line + lineEnd;
    }
    read.downloads = DownloadsSet::readRecords(in);
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
