#include "tools/service-sim/FileCatalog.h"

#include <algorithm>

namespace servicesim {

Step FileCatalog::stepFor(const FileSpec& spec, int attempt) {
    if (spec.script.empty()) {
        return Step::countdown("0");
    }
    const auto index = std::min(static_cast<std::size_t>(attempt - 1), spec.script.size() - 1);
    return spec.script[index];
}

void FileCatalog::add(FileSpec spec) {
    std::lock_guard lock(mutex);
    const auto [where, added] = entries.insert_or_assign(spec.id, Entry{spec});
    if (added) {
        order.push_back(where->first);
    }
}

std::optional<FileCatalog::Attempt> FileCatalog::beginAttempt(const std::string& id) {
    std::lock_guard lock(mutex);
    const auto found = entries.find(id);
    if (found == entries.end()) {
        return std::nullopt;
    }
    Entry& entry = found->second;
    ++entry.attempts;
    return Attempt{entry.spec, stepFor(entry.spec, entry.attempts), entry.attempts};
}

std::optional<Step> FileCatalog::stepOfAttempt(const std::string& id, int number) const {
    std::lock_guard lock(mutex);
    const auto found = entries.find(id);
    if (found == entries.end() || number < 1 || number > found->second.attempts) {
        return std::nullopt;
    }
    return stepFor(found->second.spec, number);
}

std::optional<FileCatalog::Transfer> FileCatalog::beginTransfer(const std::string& id) {
    std::lock_guard lock(mutex);
    const auto found = entries.find(id);
    if (found == entries.end()) {
        return std::nullopt;
    }
    Entry& entry = found->second;
    ++entry.transfers;
    const FileSpec& spec = entry.spec;
    const bool cutShort =
        spec.breakAfter >= 0 && static_cast<std::uint64_t>(spec.breakAfter) < spec.size;
    const bool thisReply = spec.breakingReplies < 0 || entry.transfers <= spec.breakingReplies;
    return Transfer{spec, cutShort && thisReply};
}

std::optional<FileSpec> FileCatalog::find(const std::string& id) const {
    std::lock_guard lock(mutex);
    const auto found = entries.find(id);
    if (found == entries.end()) {
        return std::nullopt;
    }
    return found->second.spec;
}

std::vector<FileSpec> FileCatalog::files() const {
    std::lock_guard lock(mutex);
    std::vector<FileSpec> result;
    result.reserve(order.size());
    for (const auto& id : order) {
        result.push_back(entries.at(id).spec);
    }
    return result;
}

int FileCatalog::attempts(const std::string& id) const {
    std::lock_guard lock(mutex);
    const auto found = entries.find(id);
    return found == entries.end() ? 0 : found->second.attempts;
}

int FileCatalog::transfers(const std::string& id) const {
    std::lock_guard lock(mutex);
    const auto found = entries.find(id);
    return found == entries.end() ? 0 : found->second.transfers;
}

} // namespace servicesim
