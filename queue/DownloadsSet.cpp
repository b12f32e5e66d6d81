#include "queue/DownloadsSet.h"

#include "engine/Download.h"
#include "engine/QueueFileLine.h"
#include "platform/Clock.h"
#include "platform/DirectoryLookup.h"
#include "platform/FileSystem.h"
#include "platform/GuiWakeUp.h"
#include "platform/Timer.h"
#include "service/DownloadMaker.h"

#include <algorithm>
#include <deque>
#include <string_view>
#include <unordered_set>

namespace tolvenka {

// Whether a path is taken by a member of the set or by anything on disk. The
// members' targets are looked at as they are when it is made, and must not
// change while it lives; the paths added to it are its own copies.
class DownloadsSet::TakenPaths {
public:
    TakenPaths(const Downloads& downloads, std::size_t more,
               const std::unordered_set<const Download*>& passedOver = {}) {
        paths.reserve(downloads.size() + more);
        for (const std::unique_ptr<Download>& download : downloads) {
            if (passedOver.count(download.get()) == 0) {
                paths.insert(download->getTargetPath());
            }
        }
    }

    bool operator()(const std::string& path) const {
        return paths.count(path) != 0 || Download::isPathTaken(path);
    }

    void add(std::string_view path) { paths.insert(owned.emplace_back(path)); }

private:
    std::unordered_set<std::string_view> paths;
    std::deque<std::string> owned;
};

DownloadsSet::DownloadsSet(int slotCount, int workTimerIntervalMs)
    : currentDownloads(static_cast<std::size_t>(slotCount))
    , workTimer(std::make_unique<platform::Timer>(workTimerIntervalMs, [this] { onWorkTimer(); }))
    , changeNoted(std::make_unique<platform::GuiWakeUp>([this] { onChangeNoted(); })) {
    workTimer->setEnabled(false);
    statusForwarding = [this](Download* download) {
        forwardStatusChange(download);
    };
}

DownloadsSet::~DownloadsSet() {
    changeNoted.reset();
    workTimer.reset();
    // A download that is still current in a slot may be running on its
    // worker, which the program ends before it ends the queue; should one
    // be left, it is given up rather than deleted under the worker's feet.
    for (std::unique_ptr<Download>& download : downloads) {
        if (isCurrent(download.get())) {
            [[maybe_unused]] Download* runningOnItsWorker = download.release();
        }
    }
}

int DownloadsSet::indexOf(const Download* download) const {
    const auto found = std::find_if(downloads.begin(), downloads.end(),
                                    [&](const auto& member) { return member.get() == download; });
    return found == downloads.end() ? -1 : static_cast<int>(found - downloads.begin());
}

Download* DownloadsSet::currentDownload(int slot) const {
    return currentDownloads[static_cast<std::size_t>(slot)].load();
}

int DownloadsSet::slotOf(const Download* download) const {
    for (std::size_t slot = 0; slot < currentDownloads.size(); ++slot) {
        if (currentDownloads[slot].load() == download) {
            return static_cast<int>(slot);
        }
    }
    return -1;
}

bool DownloadsSet::isCurrent(const Download* download) const {
    return slotOf(download) >= 0;
}

bool DownloadsSet::isLeaving(std::size_t index) const {
    return !leavingSerials.empty() && std::find(leavingSerials.begin(), leavingSerials.end(),
                                                serials[index]) != leavingSerials.end();
}

// The removed downloads leave the list before any of them is deleted, so the
// list never holds a deleted download. `picks` sees each index before the
// list moves past it.
template <typename Predicate>
DownloadsSet::Downloads DownloadsSet::takeIdle(Predicate picks) {
    Downloads removed;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < downloads.size(); ++i) {
        if (picks(i) && !isCurrent(downloads[i].get())) {
            removed.push_back(std::move(downloads[i]));
        } else {
            downloads[kept] = std::move(downloads[i]);
            serials[kept] = serials[i];
            ++kept;
        }
    }
    if (kept != downloads.size()) {
        ++layoutChanges;
    }
    downloads.resize(kept);
    serials.resize(kept);
    std::erase_if(leavingSerials, [&](std::uint64_t serial) {
        return std::find(serials.begin(), serials.end(), serial) == serials.end();
    });
    return removed;
}

Download* DownloadsSet::pickNext(int slot, const std::string& kindName) {
    removeIdleLeavers();
    // Read before the search: a change during it makes the next pick search.
    const std::uint64_t changesSeen = changes.load();
    const std::int64_t now = platform::clockMs();
    Download* chosen = nullptr;
    const bool searchedInVain = fruitlessSearch && fruitlessSearchAt == changesSeen &&
                                fruitlessSearchKind == kindName &&
                                (fruitlessSearchNextDue < 0 || now < fruitlessSearchNextDue);
    if (!searchedInVain) {
        std::int64_t nextDue = -1;
        for (std::size_t index = 0; index < downloads.size() && chosen == nullptr; ++index) {
            Download* download = downloads[index].get();
            if (download->getKindName() != kindName || isLeaving(index)) {
                continue;
            }
            if (download->isDue(now)) {
                chosen = download;
            } else if (const std::int64_t due = download->getRetryAtMs();
                       due >= 0 && !download->isHeld() &&
                       download->getState() == Download::State::Error &&
                       (nextDue < 0 || due < nextDue)) {
                nextDue = due;
            }
        }
        fruitlessSearch = chosen == nullptr;
        fruitlessSearchAt = changesSeen;
        fruitlessSearchKind = kindName;
        fruitlessSearchNextDue = nextDue;
    }
    onCurrentDownloadChange(slot, chosen);
    currentDownloads[static_cast<std::size_t>(slot)] = chosen;
    return chosen;
}

std::int64_t DownloadsSet::nextDueMs(const std::string& kindName) const {
    return fruitlessSearch && fruitlessSearchKind == kindName ? fruitlessSearchNextDue : -1;
}

const Download* DownloadsSet::nextToRetry() const {
    const Download* first = nullptr;
    for (const std::unique_ptr<Download>& download : downloads) {
        const std::int64_t due = download->getRetryAtMs();
        if (due >= 0 && download->getState() == Download::State::Error && !download->isHeld() &&
            !isCurrent(download.get()) && (first == nullptr || due < first->getRetryAtMs())) {
            first = download.get();
        }
    }
    return first;
}

void DownloadsSet::releaseSlot(int slot) {
    currentDownloads[static_cast<std::size_t>(slot)] = nullptr;
}

void DownloadsSet::finishRun(int slot) {
    releaseSlot(slot);
    removeIdleLeavers();
}

void DownloadsSet::waitForWork(std::int64_t deadlineMs) {
    workBell.waitUntil(deadlineMs);
}

void DownloadsSet::wakeWorkers() {
    workBell.ring();
}

void DownloadsSet::changed(bool recordsChanged) {
    ++changes;
    if (recordsChanged) {
        ++recordsChanges;
    }
    workBell.ring();
    changeNoted->request();
}

void DownloadsSet::onChangeNoted() {
    // A transfer that began is reported on every tick until none is left.
    if (isAnyCurrentDownloading()) {
        workTimer->setEnabled(true);
    }
    onChanged();
}

bool DownloadsSet::isAnyCurrentDownloading() const {
    return std::any_of(
        currentDownloads.begin(), currentDownloads.end(), [](const std::atomic<Download*>& entry) {
            const Download* download = entry.load();
            return download != nullptr && download->getState() == Download::State::Downloading;
        });
}

void DownloadsSet::add(const std::vector<std::string>& links, const std::string& folder) {
    if (addLinks(links, folder, nullptr)) {
        onSetChange(this);
    }
}

void DownloadsSet::add(const std::string& link, const std::string& folder) {
    add(std::vector<std::string>{link}, folder);
}

void DownloadsSet::add(const std::string& kindName, const std::string& link,
                       const std::string& folder) {
    if (addLinks({link}, folder, &kindName)) {
        onSetChange(this);
    }
}

bool DownloadsSet::addLinks(const std::vector<std::string>& links, const std::string& folder,
                            const std::string* kindName) {
    // The targets of the queue, looked up once for the whole batch (a worker
    // changes one only through the GUI thread, so none changes meanwhile).
    TakenPaths taken(downloads, links.size());
    const PathTaken isTaken = [&](const std::string& path) {
        return taken(path);
    };
    Download::NextFreeNumbers nextNumbers;
    bool added = false;
    for (const std::string& link : links) {
        std::unique_ptr<Download> download = downloadMaker().createDownload(
            kindName != nullptr ? *kindName : downloadMaker().kindOf(link), link, folder, isTaken,
            &nextNumbers);
        if (download != nullptr) {
            taken.add(download->getTargetPath());
            append(std::move(download));
            added = true;
        }
    }
    return added;
}

void DownloadsSet::add(std::unique_ptr<Download> download) {
    if (download == nullptr) {
        return;
    }
    append(std::move(download));
    onSetChange(this);
}

void DownloadsSet::clearComplete() {
    removeAllIn(Download::State::Complete);
}

void DownloadsSet::clearNotFound() {
    removeAllIn(Download::State::NotFound);
}

bool DownloadsSet::clearAll() {
    const bool anySlotBusy =
        std::any_of(currentDownloads.begin(), currentDownloads.end(),
                    [](const std::atomic<Download*>& entry) { return entry.load() != nullptr; });
    if (anySlotBusy) {
        return false;
    }
    Downloads removed = std::move(downloads);
    downloads.clear();
    serials.clear();
    leavingSerials.clear();
    ++layoutChanges;
    changed();
    onSetChange(this);
    // The last first, after the announcement.
    while (!removed.empty()) {
        removed.pop_back();
    }
    return true;
}

void DownloadsSet::remove(const std::vector<const Download*>& leavers) {
    const std::unordered_set<const Download*> removed(leavers.begin(), leavers.end());
    const auto isRemoved = [&](std::size_t index) {
        return removed.count(downloads[index].get()) != 0;
    };
    bool marked = false;
    for (std::size_t index = 0; index < downloads.size(); ++index) {
        if (isRemoved(index) && isCurrent(downloads[index].get()) && !isLeaving(index)) {
            // Its worker's run ends soon, back in Queued; the end of that
            // run removes it.
            leavingSerials.push_back(serials[index]);
            ++layoutChanges;
            downloads[index]->abort();
            marked = true;
        }
    }
    const Downloads removedNow = takeIdle(isRemoved);
    if (!removedNow.empty() || marked) {
        changed();
    }
    onSetChange(this);
}

void DownloadsSet::retryStopped() {
    requeueIdle([](const Download& download) {
        return download.getState() == Download::State::Error && !download.isHeld();
    });
}

void DownloadsSet::hold(const std::vector<const Download*>& chosen) {
    for (const std::size_t index : indexesOf(chosen)) {
        Download& download = *downloads[index];
        if (download.isHeld() || download.getState() == Download::State::Complete ||
            download.getState() == Download::State::NotFound) {
            continue;
        }
        download.setHeld(true);
        // Its worker's run ends soon, back in the queue, where it stays.
        if (isCurrent(&download)) {
            download.abort();
        }
    }
}

void DownloadsSet::release(const std::vector<const Download*>& chosen) {
    for (const std::size_t index : indexesOf(chosen)) {
        Download& download = *downloads[index];
        if (!download.isHeld()) {
            continue;
        }
        download.setHeld(false);
        if (download.hasStoppedWithError() && !isCurrent(&download)) {
            download.requeue();
        }
    }
}

std::vector<std::size_t> DownloadsSet::indexesOf(const std::vector<const Download*>& chosen) const {
    const std::unordered_set<const Download*> wanted(chosen.begin(), chosen.end());
    std::vector<std::size_t> indexes;
    for (std::size_t index = 0; index < downloads.size(); ++index) {
        if (wanted.count(downloads[index].get()) != 0) {
            indexes.push_back(index);
        }
    }
    return indexes;
}

bool DownloadsSet::move(const std::vector<const Download*>& chosen, Move where) {
    std::vector<std::size_t> moved = indexesOf(chosen);
    if (moved.empty()) {
        return false;
    }
    const std::size_t rest = downloads.size() - moved.size();
    const std::vector<std::uint64_t> before = serials;
    switch (where) {
    case Move::ToTop:
        reorder(moved, 0);
        break;
    case Move::ToBottom:
        reorder(moved, rest);
        break;
    case Move::Up: {
        // Each steps over the one above it, unless that one moves too and
        // could not step: a run at the top stays where it is.
        std::size_t firstFree = 0;
        for (const std::size_t index : moved) {
            if (index > firstFree) {
                std::swap(downloads[index], downloads[index - 1]);
                std::swap(serials[index], serials[index - 1]);
            }
            firstFree = index > firstFree ? index : index + 1;
        }
        break;
    }
    case Move::Down: {
        std::size_t lastFree = downloads.size() - 1;
        for (auto index = moved.rbegin(); index != moved.rend(); ++index) {
            if (*index < lastFree) {
                std::swap(downloads[*index], downloads[*index + 1]);
                std::swap(serials[*index], serials[*index + 1]);
            }
            lastFree = *index < lastFree ? *index : *index - 1;
        }
        break;
    }
    }
    if (serials == before) {
        return false;
    }
    ++layoutChanges;
    changed();
    onSetChange(this);
    return true;
}

bool DownloadsSet::moveBefore(const std::vector<const Download*>& chosen, int index) {
    const std::vector<std::size_t> moved = indexesOf(chosen);
    if (moved.empty()) {
        return false;
    }
    const std::size_t target = static_cast<std::size_t>(std::clamp(index, 0, count()));
    // The place among the members that stay.
    const auto movedAbove = static_cast<std::size_t>(
        std::lower_bound(moved.begin(), moved.end(), target) - moved.begin());
    const std::vector<std::uint64_t> before = serials;
    reorder(moved, target - movedAbove);
    if (serials == before) {
        return false;
    }
    changed();
    onSetChange(this);
    return true;
}

void DownloadsSet::reorder(const std::vector<std::size_t>& moved, std::size_t before) {
    Downloads reordered;
    std::vector<std::uint64_t> reorderedSerials;
    reordered.reserve(downloads.size());
    reorderedSerials.reserve(serials.size());
    const auto take = [&](std::size_t index) {
        reordered.push_back(std::move(downloads[index]));
        reorderedSerials.push_back(serials[index]);
    };
    std::size_t next = 0; // into `moved`
    std::size_t stayed = 0;
    for (std::size_t index = 0; index <= downloads.size(); ++index) {
        if (stayed == before) {
            for (const std::size_t movedIndex : moved) {
                take(movedIndex);
            }
            ++stayed; // never equal again
        }
        if (index == downloads.size()) {
            break;
        }
        if (next < moved.size() && moved[next] == index) {
            ++next;
            continue;
        }
        take(index);
        ++stayed;
    }
    downloads = std::move(reordered);
    serials = std::move(reorderedSerials);
    ++layoutChanges;
}

int DownloadsSet::moveToFolder(const std::vector<const Download*>& chosen,
                               const std::string& folder) {
    std::vector<Download*> movers;
    for (const std::size_t index : indexesOf(chosen)) {
        Download* download = downloads[index].get();
        if (!isCurrent(download) && download->getState() != Download::State::Complete) {
            movers.push_back(download);
        }
    }
    // Their old targets are about to change, so the test holds its own
    // copies of their new ones only.
    TakenPaths taken(downloads, movers.size(),
                     std::unordered_set<const Download*>(movers.begin(), movers.end()));
    Download::NextFreeNumbers nextNumbers;
    for (Download* download : movers) {
        const std::string_view path = download->getTargetPath();
        const std::string name(path.substr(path.rfind('/') + 1));
        std::string target = Download::firstFreePath(
            folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name, taken,
            &nextNumbers);
        taken.add(target);
        download->retarget(std::move(target));
    }
    if (!movers.empty()) {
        changed();
        onSetChange(this);
    }
    return static_cast<int>(movers.size());
}

std::vector<bool> DownloadsSet::holdsUnfinished(const std::vector<std::string>& links) const {
    return holds(links, [](Download::State state) {
        return state != Download::State::Complete && state != Download::State::NotFound;
    });
}

std::vector<bool> DownloadsSet::holdsComplete(const std::vector<std::string>& links) const {
    return holds(links, [](Download::State state) { return state == Download::State::Complete; });
}

std::vector<bool> DownloadsSet::holds(const std::vector<std::string>& links,
                                      const std::function<bool(Download::State)>& inState) const {
    // One file however its link is spelt.
    const DownloadMaker& maker = downloadMaker();
    std::unordered_set<std::string> held;
    for (const std::unique_ptr<Download>& download : downloads) {
        if (inState(download->getState())) {
            held.insert(maker.identityOf(download->getLink()));
        }
    }
    std::vector<bool> holds(links.size(), false);
    if (!held.empty()) {
        for (std::size_t i = 0; i < links.size(); ++i) {
            holds[i] = held.count(maker.identityOf(links[i])) != 0;
        }
    }
    return holds;
}

void DownloadsSet::retry(const std::vector<const Download*>& chosen) {
    const std::unordered_set<const Download*> retried(chosen.begin(), chosen.end());
    requeueIdle([&](const Download& download) { return retried.count(&download) != 0; });
}

// Only a download that no slot holds is between runs, where it may be queued
// again; the download itself refuses any but a stopped or missing one.
template <typename Predicate>
void DownloadsSet::requeueIdle(Predicate picks) {
    for (const std::unique_ptr<Download>& download : downloads) {
        if (picks(*download) && !isCurrent(download.get())) {
            download->requeue();
        }
    }
}

std::istream& DownloadsSet::load(std::istream& in) {
    adopt(readRecords(in));
    return in;
}

DownloadsSet::Downloads DownloadsSet::readRecords(std::istream& in) {
    Downloads loaded;
    std::string kindName;
    std::string recordEnd;
    platform::DirectoryLookup folders;
    while (in) {
        readQueueFileLine(in, kindName);
        if (std::unique_ptr<Download> download =
                downloadMaker().loadDownload(kindName, in, folders)) {
            loaded.push_back(std::move(download));
        }
        readQueueFileLine(in, recordEnd);
    }
    return loaded;
}

void DownloadsSet::adopt(Downloads loaded) {
    clearAll();
    downloads.reserve(loaded.size());
    serials.reserve(loaded.size());
    for (std::unique_ptr<Download>& download : loaded) {
        join(std::move(download));
    }
    // One change for them all.
    if (!loaded.empty()) {
        changed();
    }
}

void DownloadsSet::save(std::ostream& out) const {
    save(out, 0, count());
}

void DownloadsSet::save(std::ostream& out, int from, int to) const {
    for (auto index = static_cast<std::size_t>(from); index < static_cast<std::size_t>(to);
         ++index) {
        if (!isLeaving(index)) {
            downloads[index]->save(out);
        }
    }
}

void DownloadsSet::append(std::unique_ptr<Download> download) {
    join(std::move(download));
    changed();
}

void DownloadsSet::join(std::unique_ptr<Download> download) {
    download->onStatusChange = statusForwarding;
    downloads.push_back(std::move(download));
    serials.push_back(nextSerial++);
    ++layoutChanges;
}

void DownloadsSet::fileArrived(Download& download, const Download::ArrivedFile& file) {
    onFileArrived(&download, file);
}

void DownloadsSet::forwardStatusChange(Download* download) {
    changed(download->takeRecordChange());
    if (onStatusChange) {
        onStatusChange(download, slotOf(download));
    }
}

void DownloadsSet::removeAllIn(Download::State state) {
    const Downloads removed =
        takeIdle([&](std::size_t index) { return downloads[index]->getState() == state; });
    if (!removed.empty()) {
        changed();
    }
    onSetChange(this);
}

void DownloadsSet::removeIdleLeavers() {
    if (leavingSerials.empty()) {
        return;
    }
    const Downloads removed = takeIdle([&](std::size_t index) { return isLeaving(index); });
    if (!removed.empty()) {
        changed();
        onSetChange(this);
    }
}

void DownloadsSet::onWorkTimer() {
    removeIdleLeavers();
    if (!isAnyCurrentDownloading()) {
        workTimer->setEnabled(false);
        return;
    }
    if (!onWork) {
        return;
    }
    for (int slot = 0; slot < slotCount(); ++slot) {
        Download* download = currentDownload(slot);
        if (download != nullptr && download->getState() == Download::State::Downloading) {
            onWork(download, slot);
        }
    }
}

} // namespace tolvenka
