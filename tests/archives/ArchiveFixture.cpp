#include "tests/archives/ArchiveFixture.h"

#include "archives/SetUnpacker.h"
#include "support/Cp1251.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace archives_testing {

namespace fs = std::filesystem;
using tolvenka::archives::ArchiveSet;
using tolvenka::archives::UnpackOutcome;
using tolvenka::archives::UnpackRequest;

namespace {

std::vector<std::string> asProgramPaths(const std::vector<std::string>& utf8Paths) {
    std::vector<std::string> paths;
    for (const std::string& path : utf8Paths) {
        paths.push_back(kestrune::text::fromUtf8(path));
    }
    return paths;
}

} // namespace

std::string noise(std::size_t size, unsigned seed) {
    std::mt19937_64 generator(seed);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; i += 8) {
        const std::uint64_t value = generator();
        for (std::size_t j = 0; j < 8 && i + j < size; ++j) {
            bytes[i + j] = static_cast<char>(value >> (8 * j));
        }
    }
    return bytes;
}

void ArchiveFixture::SetUp() {
    fs::create_directories(sources());
    fs::create_directories(partsFolder());
}

void ArchiveFixture::writeTree(const std::string& folder, const Tree& tree) {
    for (const auto& [path, content] : tree) {
        const fs::path file = fs::path(folder) / path;
        fs::create_directories(file.parent_path());
        if (content.starts_with("-> ")) {
            fs::create_symlink(content.substr(3), file);
        } else {
            testing_helpers::writeFile(file.string(), content);
        }
    }
}

Tree ArchiveFixture::readTree(const std::string& folder) {
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        const std::string path = item.path().lexically_relative(folder).generic_string();
        if (item.is_symlink()) {
            tree[path] = "-> " + fs::read_symlink(item.path()).string();
        } else if (item.is_regular_file()) {
            tree[path] = testing_helpers::readFile(item.path().string());
        }
    }
    return tree;
}

std::vector<std::string> ArchiveFixture::namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void ArchiveFixture::run(const std::vector<std::string>& command, const std::string& folder) {
    std::vector<char*> arguments;
    for (const std::string& argument : command) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int started =
        posix_spawnp(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(started, 0) << command[0] << " cannot be started";
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command[0] << " failed";
}

std::vector<std::string> ArchiveFixture::make7zz(const std::string& fileName, const Tree& tree,
                                                 const std::vector<std::string>& options) {
    const std::string folder = sources() + "/" + fileName;
    writeTree(folder, tree);
    std::vector<std::string> command = {"7zz", "a", "-bd", "-y"};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(partsFolder() + "/" + fileName);
    for (const auto& item : fs::directory_iterator(folder)) {
        command.push_back(item.path().filename().string());
    }
    run(command, folder);
    std::vector<std::string> parts;
    for (const std::string& name : namesIn(partsFolder())) {
        if (name.starts_with(fileName)) {
            parts.push_back(partsFolder() + "/" + name);
        }
    }
    return asProgramPaths(parts);
}

std::vector<std::string> ArchiveFixture::makeTar(const std::string& fileName, const Tree& tree,
                                                 const std::string& compression) {
    const std::string folder = sources() + "/" + fileName;
    writeTree(folder, tree);
    std::vector<std::string> command = {"tar", "-c", "-f", partsFolder() + "/" + fileName};
    if (!compression.empty()) {
        command.push_back(compression);
    }
    for (const auto& item : fs::directory_iterator(folder)) {
        command.push_back(item.path().filename().string());
    }
    run(command, folder);
    return asProgramPaths({partsFolder() + "/" + fileName});
}

std::vector<std::string> ArchiveFixture::makeRar(const std::string& base,
                                                 const std::vector<rarvolumes::RarEntry>& entries,
                                                 const rarvolumes::VolumeOptions& options) {
    return asProgramPaths(
        rarvolumes::writeRarVolumes(partsFolder() + "/" + base, entries, options));
}

std::vector<rarvolumes::RarEntry> ArchiveFixture::rarEntriesOf(const Tree& tree) {
    std::vector<rarvolumes::RarEntry> entries;
    for (const auto& [path, content] : tree) {
        rarvolumes::RarEntry entry;
        entry.name = path;
        if (content.starts_with("-> ")) {
            entry.kind = rarvolumes::RarEntry::Kind::Symlink;
            entry.linkTarget = content.substr(3);
            entry.permissions = 0777;
        } else {
            entry.content = content;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::string> ArchiveFixture::splitFile(const std::string& file, std::size_t pieceSize) {
    const fs::path path(kestrune::text::toUtf8(file));
    run({"split", "-b", std::to_string(pieceSize), "-d", "-a", "3", "--numeric-suffixes=1",
         path.filename().string(), path.filename().string() + "."},
        path.parent_path().string());
    fs::remove(path);
    std::vector<std::string> parts;
    for (const std::string& name : namesIn(path.parent_path().string())) {
        if (name.starts_with(path.filename().string() + ".")) {
            parts.push_back((path.parent_path() / name).string());
        }
    }
    return asProgramPaths(parts);
}

ArchiveSet ArchiveFixture::setOf(const std::vector<std::string>& parts) {
    std::vector<ArchiveSet> sets = ArchiveSet::group(parts);
    if (sets.size() != 1) {
        throw std::runtime_error("the parts make " + std::to_string(sets.size()) + " sets");
    }
    return sets.front();
}

UnpackRequest ArchiveFixture::requestFor(const std::vector<std::string>& parts) const {
    return UnpackRequest{setOf(parts), target(), {}, {}, {}};
}

UnpackOutcome ArchiveFixture::unpack(const UnpackRequest& request) {
    std::atomic<bool> cancelled{false};
    tolvenka::archives::UnpackProgress progress;
    return tolvenka::archives::SetUnpacker(request, cancelled, progress).run();
}

UnpackOutcome ArchiveFixture::unpack(const std::vector<std::string>& parts,
                                     const std::vector<std::string>& passwords) {
    UnpackRequest request = requestFor(parts);
    request.passwords = passwords;
    return unpack(request);
}

} // namespace archives_testing
