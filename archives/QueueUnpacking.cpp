#include "archives/QueueUnpacking.h"

#include "support/Cp1251.h"

#include <cmath>

namespace tolvenka::archives {

using namespace kestrune::text::literals;

QueueUnpacking::QueueUnpacking(const DownloadsSet& queue, UnpackedSetsRecord& record,
                               Options options)
    : sets(queue)
    , unpacks(record, [this](const SetId& set) { return sets.arrivedSet(set); }) {
    setOptions(std::move(options));
    sets.onSetChange = [this](const SetId& set) {
        rowsChanged(set);
    };
    sets.onAllArrived = [this](const SetId& set) {
        unpacks.add(set, sets.passwordsOf(set));
    };
    sets.onPartGone = [this](const SetId& set) {
        if (const QueueSets::Summary* summary = sets.summaryOf(set)) {
            onIncomplete(summary->name, ArchiveSet::missingPartsText(summary->missing));
        }
    };
    unpacks.onChange = [this](const SetId& set) {
        rowsChanged(set);
    };
    unpacks.onFinished = [this](const SetId&, const UnpackOutcome& outcome) {
        if (outcome.unpacked()) {
            onUnpacked(outcome);
        }
    };
    unpacks.onPasswordNeeded = [this](const SetId& set, const std::string& name) {
        onPasswordNeeded(set, name);
    };
    unpacks.onPasswordWorked = [this](const std::string& password) {
        onPasswordWorked(password);
    };
}

QueueUnpacking::~QueueUnpacking() = default;

void QueueUnpacking::setOptions(Options options) {
    unpacks.setPasswords(std::move(options.passwords));
    unpacks.setTrashAfterUnpacking(options.trashAfterUnpacking);
    unpacks.setFreeSpace(std::move(options.freeSpace));
}

std::optional<std::string> QueueUnpacking::captionOf(const Download* download) const {
    const SetId* set = sets.setOf(download);
    if (set == nullptr) {
        return std::nullopt;
    }
    return captionOf(*set);
}

// An unpacking, its end, and a failure while the set is still whole speak
// for the set; otherwise its parts do.
std::string QueueUnpacking::captionOf(const SetId& set) const {
    const QueueSets::Summary* summary = sets.summaryOf(set);
    const UnpackQueue::Status* status = unpacks.statusOf(set);
    if (status != nullptr) {
        switch (status->stage) {
        case UnpackQueue::Stage::Unpacking: {
            const double share = unpacks.progressOf(set).value_or(0.0);
            return std::string("Распаковка "_cp1251) +
                   std::to_string(static_cast<int>(std::floor(share * 100.0))) + " %";
        }
        case UnpackQueue::Stage::Unpacked:
            return std::string("Распакован"_cp1251);
        case UnpackQueue::Stage::NotUnpacked:
        case UnpackQueue::Stage::NeedsPassword:
            if (summary == nullptr || summary->allArrived()) {
                return std::string("Не распакован: "_cp1251) + status->reason;
            }
            break;
        case UnpackQueue::Stage::Waiting:
            break;
        }
    }
    return summary == nullptr ? std::string() : summary->caption();
}

std::optional<double> QueueUnpacking::progressOf(const Download* download) const {
    const SetId* set = sets.setOf(download);
    return set == nullptr ? std::nullopt : unpacks.progressOf(*set);
}

std::string QueueUnpacking::nameOf(const SetId& set) const {
    const QueueSets::Summary* summary = sets.summaryOf(set);
    return summary != nullptr ? summary->name : set.name;
}

void QueueUnpacking::rowsChanged(const SetId& set) {
    const std::vector<std::uint64_t> serials = sets.serialsOf(set);
    if (!serials.empty()) {
        onRowsChange(serials);
    }
}

} // namespace tolvenka::archives
