#pragma once

#include "archives/ArchiveSet.h"
#include "archives/UnpackOutcome.h"
#include "archives/UnpackRequest.h"
#include "tests/common/TestHelpers.h"
#include "tools/rar-volumes/VolumeSet.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace archives_testing {

// Files by their paths under a folder (UTF-8), with their bytes; a symbolic
// link reads "-> TARGET".
using Tree = std::map<std::string, std::string>;

// `size` bytes that do not compress, the same for the same seed.
std::string noise(std::size_t size, unsigned seed);

// What every unpacking test needs: a folder of its own, the sources of its
// archives, the makers of real archives (Debian's 7zz, tar and split, and
// the RAR generator), and an unpacking run on the test's thread.
class ArchiveFixture : public ::testing::Test {
public:
    // Where the archives' content is written, the parts are made, and the
    // sets unpack. Paths are ASCII, so CP1251 and UTF-8 alike.
    std::string sources() const { return temp.file("src"); }
    std::string partsFolder() const { return temp.file("parts"); }
    std::string target() const { return temp.file("target"); }

    void SetUp() override;

    static void writeTree(const std::string& folder, const Tree& tree);
    // Everything under `folder`: files with their bytes, links as "-> ...".
    static Tree readTree(const std::string& folder);
    // What `folder` holds at its top.
    static std::vector<std::string> namesIn(const std::string& folder);

    // Runs a program (no shell) in `folder`; the test fails when it fails.
    static void run(const std::vector<std::string>& command, const std::string& folder);

    // The makers return the parts' paths in order, as the program holds
    // paths (CP1251), while names on the disk and in trees are UTF-8.
    //
    // 7zz's archive of `tree` (from its top) as partsFolder()/FILE_NAME, or
    // its volumes where `options` holds -vSIZE.
    std::vector<std::string> make7zz(const std::string& fileName, const Tree& tree,
                                     const std::vector<std::string>& options = {});
    // tar's archive of `tree`, compressed as `compression` says (-z, -J, -j
    // or nothing).
    std::vector<std::string> makeTar(const std::string& fileName, const Tree& tree,
                                     const std::string& compression);
    // The RAR generator's archive or volumes beside partsFolder()/BASE.
    std::vector<std::string> makeRar(const std::string& base,
                                     const std::vector<rarvolumes::RarEntry>& entries,
                                     const rarvolumes::VolumeOptions& options);
    static std::vector<rarvolumes::RarEntry> rarEntriesOf(const Tree& tree);
    // Cuts a file as split does into FILE.001, FILE.002, ... and removes it.
    static std::vector<std::string> splitFile(const std::string& file, std::size_t pieceSize);

    // The one set the paths make.
    static tolvenka::archives::ArchiveSet setOf(const std::vector<std::string>& parts);
    tolvenka::archives::UnpackRequest requestFor(const std::vector<std::string>& parts) const;
    // Unpacks on this thread into target().
    tolvenka::archives::UnpackOutcome unpack(const tolvenka::archives::UnpackRequest& request);
    tolvenka::archives::UnpackOutcome unpack(const std::vector<std::string>& parts,
                                             const std::vector<std::string>& passwords = {});

    testing_helpers::TempDir temp;
};

} // namespace archives_testing
