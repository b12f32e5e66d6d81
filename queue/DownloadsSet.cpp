#include "queue/DownloadsSet.h"

#include "engine/Download.h"
#include "engine/QueueFileLine.h"
#include "http/Url.h"
#include "platform/DirectoryLookup.h"
#include "platform/FileSystem.h"
#include "platform/Timer.h"
#include "service/DownloadMaker.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

namespace tolvenka {

DownloadsSet::DownloadsSet(int slotCount, int workTimerIntervalMs)
    : currentDownloads(static_cast<std::size_t>(slotCount))
    , workTimer(std::make_unique<platform::Timer>(workTimerIntervalMs, [this] { onWorkTimer(); })) {
}

DownloadsSet::~DownloadsSet() {
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
bool DownloadsSet::removeIdle(Predicate picks) {
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
    downloads.resize(kept);
    serials.resize(kept);
    std::erase_if(leavingSerials, [&](std::uint64_t serial) {
        return !std::binary_search(serials.begin(), serials.end(), serial);
    });
    return !removed.empty();
}

Download* DownloadsSet::pickNext(int slot, const std::string& kindName) {
    removeIdleLeavers();
    // Read before the search: a change during it makes the next pick search.
    const std::uint64_t changesSeen = changes.load();
    Download* chosen = nullptr;
    const bool searchedInVain =
        fruitlessSearch && fruitlessSearchAt == changesSeen && fruitlessSearchKind == kindName;
    if (!searchedInVain) {
        const auto next = std::find_if(downloads.begin(), downloads.end(), [&](const auto& d) {
            return d->getState() == Download::State::Queued && d->getKindName() == kindName &&
                   !isLeaving(static_cast<std::size_t>(&d - downloads.data()));
        });
        chosen = next == downloads.end() ? nullptr : next->get();
        fruitlessSearch = chosen == nullptr;
        fruitlessSearchAt = changesSeen;
        fruitlessSearchKind = kindName;
    }
    onCurrentDownloadChange(slot, chosen);
    currentDownloads[static_cast<std::size_t>(slot)] = chosen;
    return chosen;
}

void DownloadsSet::releaseSlot(int slot) {
    currentDownloads[static_cast<std::size_t>(slot)] = nullptr;
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
    // The targets of the queue, looked up once for the whole batch. The
    // paths are the downloads' own, which nothing changes during this call
    // (a worker changes one only through the GUI thread).
    std::unordered_set<std::string_view> targets;
    targets.reserve(downloads.size() + links.size());
    for (const std::unique_ptr<Download>& download : downloads) {
        targets.insert(download->getTargetPath());
    }
    const PathTaken isTaken = [&](const std::string& path) {
        return targets.count(path) != 0 || Download::isPathTaken(path);
    };
    bool added = false;
    for (const std::string& link : links) {
        std::unique_ptr<Download> download = downloadMaker().createDownload(
            kindName != nullptr ? *kindName : downloadMaker().kindOf(link), link, folder, isTaken);
        if (download != nullptr) {
            targets.insert(download->getTargetPath());
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
    // The last first, each out of the list before it is deleted.
    while (!downloads.empty()) {
        const std::unique_ptr<Download> last = std::move(downloads.back());
        downloads.pop_back();
        serials.pop_back();
    }
    leavingSerials.clear();
    ++changes;
    onSetChange(this);
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
            // Its worker's run ends soon, back in Queued; the next pick or
            // work tick after the slot lets go removes it.
            leavingSerials.push_back(serials[index]);
            downloads[index]->abort();
            marked = true;
        }
    }
    if (removeIdle(isRemoved) || marked) {
        ++changes;
    }
    onSetChange(this);
}

void DownloadsSet::retryStopped() {
    requeueIdle(
        [](const Download& download) { return download.getState() == Download::State::Error; });
}

std::vector<bool> DownloadsSet::holdsUnfinished(const std::vector<std::string>& links) const {
    // One link however its scheme and host are written.
    std::unordered_set<std::string> unfinished;
    for (const std::unique_ptr<Download>& download : downloads) {
        const Download::State state = download->getState();
        if (state != Download::State::Complete && state != Download::State::NotFound) {
            unfinished.insert(http::Url::comparableForm(download->getLink()));
        }
    }
    std::vector<bool> held(links.size(), false);
    if (!unfinished.empty()) {
        for (std::size_t i = 0; i < links.size(); ++i) {
            held[i] = unfinished.count(http::Url::comparableForm(links[i])) != 0;
        }
    }
    return held;
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
    clearAll();
    std::string kindName;
    std::string recordEnd;
    platform::DirectoryLookup folders;
    while (in) {
        readQueueFileLine(in, kindName);
        if (std::unique_ptr<Download> download =
                downloadMaker().loadDownload(kindName, in, folders)) {
            append(std::move(download));
        }
        readQueueFileLine(in, recordEnd);
    }
    return in;
}

void DownloadsSet::save(std::ostream& out) const {
    for (std::size_t index = 0; index < downloads.size(); ++index) {
        if (!isLeaving(index)) {
            downloads[index]->save(out);
        }
    }
}

void DownloadsSet::append(std::unique_ptr<Download> download) {
    download->onStatusChange = [this](Download* changed) {
        forwardStatusChange(changed);
    };
    downloads.push_back(std::move(download));
    serials.push_back(nextSerial++);
    ++changes;
}

void DownloadsSet::forwardStatusChange(Download* download) {
    ++changes;
    if (onStatusChange) {
        onStatusChange(download, slotOf(download));
    }
}

void DownloadsSet::removeAllIn(Download::State state) {
    if (removeIdle([&](std::size_t index) { return downloads[index]->getState() == state; })) {
        ++changes;
    }
    onSetChange(this);
}

void DownloadsSet::removeIdleLeavers() {
    if (leavingSerials.empty()) {
        return;
    }
    if (removeIdle([&](std::size_t index) { return isLeaving(index); })) {
        ++changes;
        onSetChange(this);
    }
}

void DownloadsSet::onWorkTimer() {
    removeIdleLeavers();
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
