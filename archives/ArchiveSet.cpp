#include "archives/ArchiveSet.h"

#include "support/Cp1251.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace tolvenka::archives {

using namespace kestrune::text::literals;

namespace {

struct Member {
    std::string path;
    PartName name;
};

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where each member stands in its set, from 1.
std::uint64_t positionOf(const PartName& name, SetKind setKind, bool numberedFromZero) {
    switch (setKind) {
    case SetKind::RarOldStyle:
        return name.number + 1;
    case SetKind::Numbered:
        return numberedFromZero ? name.number + 1 : name.number;
    case SetKind::RarParts:
        return name.number;
    case SetKind::Lone:
        break;
    }
    return 1;
}

constexpr std::size_t mostNumbersNamed = 10;

} // namespace

std::vector<std::string> ArchiveSet::partPaths() const {
    std::vector<std::string> paths;
    paths.reserve(partList.size());
    for (const Part& part : partList) {
        paths.push_back(part.path);
    }
    return paths;
}

bool ArchiveSet::contains(const std::string& path) const {
    return std::any_of(partList.begin(), partList.end(),
                       [&](const Part& part) { return part.path == path; });
}

std::vector<std::uint64_t> ArchiveSet::missingPositions() const {
    std::vector<std::uint64_t> missing;
    std::uint64_t expected = 1;
    for (const Part& part : partList) {
        for (; expected < part.position; ++expected) {
            missing.push_back(expected);
        }
        expected = std::max(expected, part.position + 1);
    }
    return missing;
}

std::string ArchiveSet::missingPartsText() const {
    return missingPartsText(missingPositions());
}

std::string ArchiveSet::missingPartsText(const std::vector<std::uint64_t>& missing) {
    if (missing.empty()) {
        return {};
    }
    if (missing.size() == 1) {
        return std::string("нет части "_cp1251) + std::to_string(missing.front());
    }
    std::string text("нет частей "_cp1251);
    for (std::size_t i = 0; i < missing.size() && i < mostNumbersNamed; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(missing[i]);
    }
    if (missing.size() > mostNumbersNamed) {
        text += ", ...";
    }
    return text;
}

std::string ArchiveSet::unpackFolderName() const {
    // The name came from a file's name, so it is one already; only a
    // control byte, which no stored field may hold, is replaced.
    std::string folder = setName;
    for (char& c : folder) {
        if (kestrune::text::hasControlByte(std::string_view(&c, 1))) {
            c = '_';
        }
    }
    return folder;
}

std::vector<ArchiveSet> ArchiveSet::group(const std::vector<std::string>& paths) {
    std::map<std::tuple<std::string, std::string, std::string>, std::vector<Member>> families;
    for (const std::string& path : paths) {
        std::optional<PartName> name = partNameOf(fileNameOf(path));
        if (name) {
            auto key = std::make_tuple(folderOf(path), name->base, name->family);
            families[std::move(key)].push_back({path, std::move(*name)});
        }
    }
    std::vector<ArchiveSet> sets;
    for (auto& [key, members] : families) {
        std::sort(members.begin(), members.end(),
                  [](const Member& a, const Member& b) { return a.path < b.path; });
        members.erase(
            std::unique(members.begin(), members.end(),
                        [](const Member& a, const Member& b) { return a.path == b.path; }),
            members.end());
        const bool oldStyleRar = std::any_of(members.begin(), members.end(), [](const Member& m) {
            return m.name.kind == SetKind::RarOldStyle;
        });
        const SetKind kind = oldStyleRar ? SetKind::RarOldStyle : members.front().name.kind;
        if (kind == SetKind::Lone) {
            // Names that differ in the case of their extension only are
            // different files, each an archive of its own.
            for (const Member& member : members) {
                ArchiveSet set;
                set.setName = member.name.base;
                set.partsFolder = std::get<0>(key);
                set.wholeName = member.name.wholeName;
                set.partList.push_back({member.path, 1});
                sets.push_back(std::move(set));
            }
            continue;
        }
        const bool numberedFromZero =
            std::any_of(members.begin(), members.end(), [](const Member& m) {
                return m.name.kind == SetKind::Numbered && m.name.number == 0;
            });
        ArchiveSet set;
        set.setName = members.front().name.base;
        set.partsFolder = std::get<0>(key);
        set.setKind = kind;
        set.archive = members.front().name.isArchive;
        set.wholeName = members.front().name.wholeName;
        for (const Member& member : members) {
            set.partList.push_back({member.path, positionOf(member.name, kind, numberedFromZero)});
        }
        // Two names for one place (part1 and part01): the first stays.
        std::stable_sort(set.partList.begin(), set.partList.end(),
                         [](const Part& a, const Part& b) { return a.position < b.position; });
        set.partList.erase(
            std::unique(set.partList.begin(), set.partList.end(),
                        [](const Part& a, const Part& b) { return a.position == b.position; }),
            set.partList.end());
        sets.push_back(std::move(set));
    }
    return sets;
}

std::optional<ArchiveSet> ArchiveSet::containing(const std::string& path,
                                                 const std::vector<std::string>& paths) {
    for (ArchiveSet& set : group(paths)) {
        if (set.contains(path)) {
            return std::move(set);
        }
    }
    return std::nullopt;
}

} // namespace tolvenka::archives
