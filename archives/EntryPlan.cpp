#include "archives/EntryPlan.h"

#include "archives/UnpackError.h"
#include "support/Cp1251.h"

#include <deque>
#include <limits>

namespace tolvenka::archives {

namespace {

// How many links one path may pass through, as the system allows.
constexpr int mostLinkHops = 40;

std::string shown(const std::string& utf8Name) {
    return kestrune::text::fromUtf8(utf8Name);
}

std::vector<std::string> split(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

std::string joined(const std::vector<std::string>& components, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i) {
        path += (i == 0 ? "" : "/") + components[i];
    }
    return path;
}

// The components of a stored name; empty for the set's own folder ("./").
// Absolute names and ".." anywhere are refused: such an entry was made to
// reach outside.
std::vector<std::string> componentsOf(const std::string& name) {
    if (name.starts_with('/')) {
        throw UnpackError::absolutePath(shown(name));
    }
    std::vector<std::string> components;
    for (std::string& part : split(name)) {
        if (part == "..") {
            throw UnpackError::leadsOutOfFolder(shown(name));
        }
        if (!part.empty() && part != ".") {
            components.push_back(std::move(part));
        }
    }
    return components;
}

} // namespace

std::string PlannedEntry::path() const {
    return joined(components, components.size());
}

void EntryPlan::add(const EntryHeader& header) {
    using Type = EntryHeader::Type;
    PlannedEntry entry;
    entry.components = componentsOf(header.name);
    entry.permissions = (header.permissions & 0777u) | 0600u;
    entry.declaredSize = header.declaredSize;
    entry.modifiedAt = header.modifiedAt;
    entry.encrypted = header.encrypted;
    encrypted = encrypted || header.encrypted;
    switch (header.type) {
    case Type::Device:
        throw UnpackError::specialFile(shown(header.name), UnpackError::SpecialKind::Device);
    case Type::Pipe:
        throw UnpackError::specialFile(shown(header.name), UnpackError::SpecialKind::Pipe);
    case Type::Socket:
        throw UnpackError::specialFile(shown(header.name), UnpackError::SpecialKind::Socket);
    case Type::Folder:
        entry.type = PlannedEntry::Type::Folder;
        break;
    case Type::Symlink:
        if (header.symlinkTarget.empty() || header.symlinkTarget.starts_with('/')) {
            throw UnpackError::linkLeadsOut(shown(header.name));
        }
        entry.type = PlannedEntry::Type::Symlink;
        entry.linkTarget = header.symlinkTarget;
        break;
    case Type::File:
        entry.type =
            header.hardLinkTarget.empty() ? PlannedEntry::Type::File : PlannedEntry::Type::HardLink;
        break;
    }
    if (entry.components.empty()) {
        entry.type = PlannedEntry::Type::Skipped;
        planned.push_back(std::move(entry));
        return;
    }
    const std::string path = entry.path();
    if (entry.type == PlannedEntry::Type::HardLink) {
        // Only a file of this set, unpacked before it, may be repeated.
        std::string target;
        try {
            const std::vector<std::string> targetComponents = componentsOf(header.hardLinkTarget);
            target = joined(targetComponents, targetComponents.size());
        } catch (const UnpackError&) {
            throw UnpackError::hardLinkOutside(shown(header.name));
        }
        if (filePaths.count(target) == 0) {
            throw UnpackError::hardLinkOutside(shown(header.name));
        }
        entry.linkTarget = target;
    }
    if (entry.type == PlannedEntry::Type::File || entry.type == PlannedEntry::Type::HardLink) {
        ++files;
        filePaths.insert(path);
        if (entry.type == PlannedEntry::Type::File && entry.declaredSize > 0) {
            bytes += std::min(entry.declaredSize, std::numeric_limits<std::int64_t>::max() - bytes);
        }
    }
    if (entry.type == PlannedEntry::Type::Symlink) {
        symlinks[path] = entry.linkTarget;
    } else {
        symlinks.erase(path);
    }
    planned.push_back(std::move(entry));
}

void EntryPlan::finish() {
    for (const PlannedEntry& entry : planned) {
        for (std::size_t depth = 1; depth < entry.components.size(); ++depth) {
            if (symlinks.count(joined(entry.components, depth)) != 0) {
                throw UnpackError::throughLink(shown(entry.path()));
            }
        }
    }
    // A set with one name at the top goes straight into the target folder,
    // beside the user's files: there its links must stay inside that one
    // folder, and a link cannot be the top itself.
    const std::set<std::string> tops = topNames();
    const std::size_t rootDepth = tops.size() == 1 ? 1 : 0;
    // A link is followed the way the system would, through the set's own
    // links (nothing else in its folder is one): ".." may not climb above
    // the set's folder at any step.
    for (const auto& [linkPath, target] : symlinks) {
        std::vector<std::string> at = split(linkPath);
        at.pop_back();
        if (at.size() < rootDepth) {
            throw UnpackError::linkLeadsOut(shown(linkPath));
        }
        std::deque<std::string> pending;
        for (std::string& part : split(target)) {
            pending.push_back(std::move(part));
        }
        int hops = 0;
        while (!pending.empty() && hops <= mostLinkHops) {
            std::string part = std::move(pending.front());
            pending.pop_front();
            if (part.empty() || part == ".") {
                continue;
            }
            if (part == "..") {
                if (at.size() <= rootDepth) {
                    throw UnpackError::linkLeadsOut(shown(linkPath));
                }
                at.pop_back();
                continue;
            }
            at.push_back(std::move(part));
            const auto through = symlinks.find(joined(at, at.size()));
            if (through != symlinks.end()) {
                ++hops;
                at.pop_back();
                const std::vector<std::string> parts = split(through->second);
                pending.insert(pending.begin(), parts.begin(), parts.end());
            }
        }
    }
}

std::set<std::string> EntryPlan::topNames() const {
    std::set<std::string> names;
    for (const PlannedEntry& entry : planned) {
        if (entry.type != PlannedEntry::Type::Skipped) {
            names.insert(entry.components.front());
        }
    }
    return names;
}

} // namespace tolvenka::archives
