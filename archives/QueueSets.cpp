#include "archives/QueueSets.h"

#include "archives/FolderParts.h"
#include "platform/GuiWakeUp.h"
#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"

#include <algorithm>

namespace tolvenka::archives {

using namespace kestrune::text::literals;

std::string QueueSets::Summary::caption() const {
    if (!missing.empty()) {
        return std::string("Набор неполон: "_cp1251) + ArchiveSet::missingPartsText(missing);
    }
    return std::string("Набор: "_cp1251) + std::to_string(partsArrived) +
           std::string(" из "_cp1251) + std::to_string(partsKnown);
}

QueueSets::QueueSets(const DownloadsSet& queue)
    : queue(queue)
    , notedWakeUp(std::make_unique<platform::GuiWakeUp>([this] { takeNotedChanges(); })) {}

QueueSets::~QueueSets() = default;

void QueueSets::noteStatusChange(const Download* download) {
    const Download::State state = download->getState();
    {
        std::lock_guard lock(notedMutex);
        noted.push_back({download, state});
    }
    notedWakeUp->request();
}

// A noted download is only looked at where it is a member: a member is one
// of the queue's, alive until the queue's onSetChange lets it go here.
void QueueSets::takeNotedChanges() {
    followNoted();
    settle();
}

void QueueSets::followNoted() {
    std::vector<NotedState> changed;
    {
        std::lock_guard lock(notedMutex);
        changed.swap(noted);
    }
    for (const auto& [download, state] : changed) {
        const auto found = members.find(download);
        if (found == members.end()) {
            continue;
        }
        if (Member* member = followTarget(download, found->second)) {
            followState(*member, state);
        }
    }
}

void QueueSets::syncMembers() {
    followNoted();
    ++pass;
    std::uint64_t nextUnseen = firstUnseenSerial;
    for (int index = 0; index < queue.count(); ++index) {
        const std::uint64_t serial = queue.serialAt(index);
        const Download* download = queue.at(index);
        if (serial >= firstUnseenSerial) {
            nextUnseen = std::max(nextUnseen, serial + 1);
            if (const auto stale = members.find(download); stale != members.end()) {
                drop(stale);
            }
            track(download, serial);
            continue;
        }
        if (members.empty()) {
            continue;
        }
        const auto found = members.find(download);
        if (found == members.end() || found->second.serial != serial) {
            continue;
        }
        found->second.seenInPass = pass;
        if (Member* member = followTarget(download, found->second)) {
            followState(*member, download->getState());
        }
    }
    firstUnseenSerial = nextUnseen;
    for (auto member = members.begin(); member != members.end();) {
        const auto next = std::next(member);
        if (member->second.seenInPass != pass) {
            drop(member);
        }
        member = next;
    }
    settle();
}

void QueueSets::track(const Download* download, std::uint64_t serial) {
    const std::string path(download->getTargetPath());
    std::optional<SetId> id = SetId::of(path);
    if (!id) {
        return;
    }
    const auto set = sets.try_emplace(std::move(*id)).first;
    set->second.members.push_back(download);
    set->second.toldAllArrived = false;
    members.emplace(download, Member{serial, path, set, download->getState(), pass, {}});
    touched.insert(set->first);
    toList.insert(set->first);
}

void QueueSets::drop(std::unordered_map<const Download*, Member>::iterator member) {
    const Sets::iterator set = member->second.set;
    std::erase(set->second.members, member->first);
    touched.insert(set->first);
    members.erase(member);
}

QueueSets::Member* QueueSets::followTarget(const Download* download, Member& member) {
    if (download->getTargetPath() == member.path) {
        return &member;
    }
    // The file went elsewhere (moved, or given a free name where it
    // arrived): it may belong to another set now, or to none.
    const std::uint64_t serial = member.serial;
    const std::uint64_t seen = member.seenInPass;
    std::vector<std::string> passwords = std::move(member.passwords);
    drop(members.find(download));
    track(download, serial);
    const auto moved = members.find(download);
    if (moved == members.end()) {
        return nullptr;
    }
    moved->second.seenInPass = seen;
    moved->second.passwords = std::move(passwords);
    return &moved->second;
}

void QueueSets::followState(Member& member, Download::State state) {
    if (state == member.state) {
        return;
    }
    if (state == Download::State::Complete) {
        // A part arrived: the set may be whole now, and is told so anew.
        member.set->second.toldAllArrived = false;
        toList.insert(member.set->first);
    }
    member.state = state;
    touched.insert(member.set->first);
}

std::optional<ArchiveSet> QueueSets::wholeSet(const TrackedSet& set) const {
    std::vector<std::string> paths;
    paths.reserve(set.members.size() + set.filesOnDisk.size());
    for (const Download* download : set.members) {
        paths.push_back(members.at(download).path);
    }
    paths.insert(paths.end(), set.filesOnDisk.begin(), set.filesOnDisk.end());
    if (paths.empty()) {
        return std::nullopt;
    }
    std::vector<ArchiveSet> groups = ArchiveSet::group(paths);
    // One group, but for a lone NAME.rar beside a NAME.RAR: the one of the
    // first download stays.
    const std::string& first = paths.front();
    for (ArchiveSet& group : groups) {
        if (group.contains(first)) {
            return std::move(group);
        }
    }
    return std::nullopt;
}

void QueueSets::summarise(const SetId& id) {
    const auto found = sets.find(id);
    if (found == sets.end()) {
        return;
    }
    TrackedSet& set = found->second;
    if (set.members.empty()) {
        // Its rows are gone; a part that comes back starts it anew.
        sets.erase(found);
        return;
    }
    const std::optional<ArchiveSet> whole = wholeSet(set);
    if (!whole) {
        return;
    }
    std::unordered_map<std::string_view, Download::State> states;
    for (const Download* download : set.members) {
        const Member& member = members.at(download);
        states.emplace(member.path, member.state);
    }
    Summary summary;
    summary.name = whole->name();
    summary.partsKnown = whole->parts().back().position;
    summary.missing = whole->missingPositions();
    for (const ArchiveSet::Part& part : whole->parts()) {
        const auto state = states.find(part.path);
        // A file in the folder that no download of the queue is making.
        if (state == states.end() || state->second == Download::State::Complete) {
            ++summary.partsArrived;
        } else if (state->second == Download::State::NotFound) {
            summary.missing.push_back(part.position);
            summary.partGone = true;
        }
    }
    std::sort(summary.missing.begin(), summary.missing.end());
    const bool changed = summary != set.summary;
    set.summary = std::move(summary);
    if (changed) {
        onSetChange(id);
    }
    if (set.summary.partGone && !set.toldPartGone) {
        set.toldPartGone = true;
        onPartGone(id);
    }
    if (set.summary.allArrived() && !set.toldAllArrived) {
        set.toldAllArrived = true;
        onAllArrived(id);
    }
}

void QueueSets::settle() {
    for (const SetId& id : toList) {
        if (const auto set = sets.find(id); set != sets.end()) {
            set->second.filesOnDisk = listingOf(id.folderPrefix).pathsOf(id);
        }
    }
    toList.clear();
    listings.clear();
    // Handlers may look at the sets, never change them, so the list is
    // taken whole first.
    const std::set<SetId> summarised = std::move(touched);
    touched.clear();
    for (const SetId& id : summarised) {
        summarise(id);
    }
}

const FolderParts& QueueSets::listingOf(const std::string& folderPrefix) {
    std::unique_ptr<FolderParts>& listing = listings[folderPrefix];
    if (listing == nullptr) {
        listing = std::make_unique<FolderParts>(folderPrefix);
    }
    return *listing;
}

const SetId* QueueSets::setOf(const Download* download) const {
    const auto found = members.find(download);
    return found == members.end() ? nullptr : &found->second.set->first;
}

const QueueSets::Summary* QueueSets::summaryOf(const SetId& set) const {
    const auto found = sets.find(set);
    return found == sets.end() ? nullptr : &found->second.summary;
}

std::vector<std::uint64_t> QueueSets::serialsOf(const SetId& set) const {
    std::vector<std::uint64_t> serials;
    if (const auto found = sets.find(set); found != sets.end()) {
        for (const Download* download : found->second.members) {
            serials.push_back(members.at(download).serial);
        }
    }
    return serials;
}

void QueueSets::setPasswords(const std::vector<const Download*>& downloads,
                             const std::vector<std::string>& passwords) {
    for (const Download* download : downloads) {
        if (const auto found = members.find(download); found != members.end()) {
            std::vector<std::string>& kept = found->second.passwords;
            for (const std::string& password : passwords) {
                if (std::find(kept.begin(), kept.end(), password) == kept.end()) {
                    kept.push_back(password);
                }
            }
        }
    }
}

std::vector<std::string> QueueSets::passwordsOf(const SetId& set) const {
    std::vector<std::string> passwords;
    if (const auto found = sets.find(set); found != sets.end()) {
        for (const Download* download : found->second.members) {
            for (const std::string& password : members.at(download).passwords) {
                if (std::find(passwords.begin(), passwords.end(), password) == passwords.end()) {
                    passwords.push_back(password);
                }
            }
        }
    }
    return passwords;
}

std::optional<ArchiveSet> QueueSets::arrivedSet(const SetId& id) const {
    const auto found = sets.find(id);
    if (found == sets.end() || !found->second.summary.allArrived()) {
        return std::nullopt;
    }
    return wholeSet(found->second);
}

} // namespace tolvenka::archives
