#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The plain file at a path, read a block at a time, so that a long file can
// be taken in as it arrives instead of held whole first. Anything that is not
// a plain file (a pipe, a device, a folder) is refused without waiting for
// it, whatever it has become since it was last looked at.
class PlainFileReader {
public:
    static constexpr std::size_t BLOCK_SIZE = 64 * 1024;

    PlainFileReader() = default;
    ~PlainFileReader();

    PlainFileReader(const PlainFileReader&) = delete;
    PlainFileReader& operator=(const PlainFileReader&) = delete;

    // `path` is CP1251, as the program holds it. 0, or the system's error
    // number: ENOENT when nothing is there, EINVAL for no plain file.
    int open(const std::string& path);
    // Appends the next bytes of the file to `bytes`, at most BLOCK_SIZE;
    // none at its end. 0, or the system's error number.
    int readMore(std::string& bytes);

private:
    int fd = -1;
};

} // namespace platform
