#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace platform {

// A file written through a stream that remembers why writing failed: the
// system's error number of the first failed call, which a plain file stream
// forgets. A full disk must be told apart from a broken connection.
class FileOutput {
public:
    FileOutput();
    ~FileOutput();

    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;

    // Creates the file (`path`: CP1251), which must not exist yet: what is
    // there may be someone else's, and is left alone (EEXIST). False on
    // failure. The file is locked while it is open, which tells it from one
    // whose writer died (see platform::removeAbandoned). With a `markName`,
    // the file carries that mark (see `mark`) from the moment it has its
    // name: it is made without one, marked and locked, and then named, so
    // that no kill can leave it named but unmarked. Where the file system
    // cannot make a file without a name, it is named first, as before.
    bool create(const std::string& path, const std::string& markName = {},
                std::string_view markValue = {});
    // Puts the mark `name` with `value` on the open file (see
    // platform::markOf), or takes it off. False where the file system keeps
    // no marks.
    bool mark(const std::string& name, std::string_view value);
    void unmark(const std::string& name);
    // Writes into `fd`, a file the caller opened, which is this one's from
    // now on.
    void adopt(int fd);
    // Writes what is buffered, flushes the file to the disk and closes it,
    // so that a file told complete is complete after a power loss too.
    // False on failure. The file goes to the disk as it is written, a few
    // MiB behind, so that this last flush is short however large it is.
    bool close();
    // Closes the file without writing what is buffered: it is to be deleted.
    void abandon();

    std::ostream& stream() { return out; }
    // The system's error number of the first failure, 0 while none.
    int error() const { return buffer.error; }

private:
    class Buffer : public std::streambuf {
    public:
        Buffer();
        bool flushAll();
        // Forgets what is buffered.
        void discard();
        // A new file: nothing written yet.
        void restart(int newFd);

        int fd = -1;
        int error = 0;

        // Bytes written since the file was opened; where the bytes not yet
        // handed to the disk begin; where the last range handed begins.
        std::int64_t written = 0;
        std::int64_t writeBackStart = 0;
        std::int64_t lastHandedStart = -1;

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* data, std::streamsize size) override;
        int sync() override;

    private:
        bool writeAll(const char* data, std::size_t size);
        void writeBack();
        std::array<char, 65536> block{};
    };

    Buffer buffer;
    std::ostream out;
};

} // namespace platform
