// tolvenka-rar-volumes: writes a stored RAR 5 or RAR 4 archive, cut into
// volumes, for tests and benchmarks (no RAR maker is free to use here).
//
//   tolvenka-rar-volumes [--rar4] [--old-names] [--volume-size BYTES]
//                        [--part-digits N] OUTPUT_BASE PATH...
//
// A PATH that is a file becomes an entry of its own name; a folder becomes
// its files, named from the folder's name down. The volumes' paths are
// printed one a line.
#include "tools/rar-volumes/VolumeSet.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

void addPath(const std::filesystem::path& path, std::vector<rarvolumes::RarEntry>& entries) {
    const auto entryFor = [](const std::filesystem::path& file, const std::filesystem::path& name) {
        rarvolumes::RarEntry entry;
        entry.name = name.generic_string();
        entry.sourcePath = file.string();
        return entry;
    };
    if (!std::filesystem::is_directory(path)) {
        entries.push_back(entryFor(path, path.filename()));
        return;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(path)) {
        if (item.is_regular_file()) {
            files.push_back(item.path());
        }
    }
    std::sort(files.begin(), files.end());
    const std::filesystem::path base = path.parent_path();
    for (const auto& file : files) {
        entries.push_back(entryFor(file, file.lexically_relative(base)));
    }
}

int usage() {
    std::cerr << "usage: tolvenka-rar-volumes [--rar4] [--old-names] [--volume-size BYTES]"
                 " [--part-digits N] OUTPUT_BASE PATH...\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    rarvolumes::VolumeOptions options;
    std::vector<std::string> positional;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string argument = argv[i];
            if (argument == "--rar4") {
                options.version = rarvolumes::RarVersion::Rar4;
            } else if (argument == "--old-names") {
                options.oldStyleNames = true;
            } else if (argument == "--volume-size" && i + 1 < argc) {
                options.volumeSize = std::stoull(argv[++i]);
            } else if (argument == "--part-digits" && i + 1 < argc) {
                options.partDigits = std::stoi(argv[++i]);
            } else if (argument.starts_with("--")) {
                return usage();
            } else {
                positional.push_back(argument);
            }
        }
        if (positional.size() < 2) {
            return usage();
        }
        std::vector<rarvolumes::RarEntry> entries;
        for (std::size_t i = 1; i < positional.size(); ++i) {
            addPath(positional[i], entries);
        }
        for (const std::string& volume :
             rarvolumes::writeRarVolumes(positional[0], entries, options)) {
            std::cout << volume << '\n';
        }
    } catch (const std::exception& failure) {
        std::cerr << "tolvenka-rar-volumes: " << failure.what() << '\n';
        return 1;
    }
    return 0;
}
