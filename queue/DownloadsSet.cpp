#include "queue/DownloadsSet.h"

#include "engine/Download.h"
#include "engine/QueueFile.h"
#include "platform/Timer.h"
#include "service/DownloadMaker.h"

#include <algorithm>

namespace tolvenka {

DownloadsSet::DownloadsSet(int slotCount, int workTimerIntervalMs)
    : currentDownloads(static_cast<std::size_t>(slotCount))
    , workTimer(std::make_unique<platform::Timer>(workTimerIntervalMs, [this] { onWorkTimer(); })) {
}

DownloadsSet::~DownloadsSet() {
    // A download still current in a slot is left alone: its worker may be
    // running it.
    clearAll();
    workTimer.reset();
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

Download* DownloadsSet::pickNext(int slot, const std::string& kindName) {
    const auto next = std::find_if(downloads.begin(), downloads.end(), [&](const Download* d) {
        return d->getState() == Download::State::Queued && d->getKindName() == kindName;
    });
    Download* chosen = next == downloads.end() ? nullptr : *next;
    onCurrentDownloadChange(slot, chosen);
    currentDownloads[static_cast<std::size_t>(slot)] = chosen;
    return chosen;
}

void DownloadsSet::releaseSlot(int slot) {
    currentDownloads[static_cast<std::size_t>(slot)] = nullptr;
}

void DownloadsSet::add(const std::string& link, const std::string& folder) {
    add(downloadMaker().kindOf(link), link, folder);
}

void DownloadsSet::add(const std::string& kindName, const std::string& link,
                       const std::string& folder) {
    Download* download = downloadMaker().createDownload(kindName, link, folder);
    if (download == nullptr) {
        return;
    }
    append(download);
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
    while (!downloads.empty()) {
        Download* last = downloads.back();
        downloads.pop_back();
        delete last;
    }
    onSetChange(this);
    return true;
}

std::istream& DownloadsSet::load(std::istream& in) {
    clearAll();
    std::string kindName;
    std::string recordEnd;
    while (in) {
        readQueueFileLine(in, kindName);
        if (Download* download = downloadMaker().loadDownload(kindName, in)) {
            append(download);
        }
        readQueueFileLine(in, recordEnd);
    }
    return in;
}

void DownloadsSet::save(std::ostream& out) const {
    for (const Download* download : downloads) {
        download->save(out);
    }
}

void DownloadsSet::append(Download* download) {
    downloads.push_back(download);
    download->onStatusChange = [this](Download* changed) {
        forwardStatusChange(changed);
    };
}

void DownloadsSet::forwardStatusChange(Download* download) {
    if (onStatusChange) {
        onStatusChange(download, slotOf(download));
    }
}

// The removed downloads leave the list before any of them is deleted, so the
// list never holds a deleted download.
void DownloadsSet::removeAllIn(Download::State state) {
    std::vector<Download*> removed;
    std::erase_if(downloads, [&](Download* download) {
        const bool remove = download->getState() == state && !isCurrent(download);
        if (remove) {
            removed.push_back(download);
        }
        return remove;
    });
    for (Download* download : removed) {
        delete download;
    }
    onSetChange(this);
}

void DownloadsSet::onWorkTimer() {
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
