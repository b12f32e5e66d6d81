#include "archives/UnpackQueue.h"

#include "archives/SetUnpacker.h"
#include "archives/UnpackThread.h"
#include "archives/UnpackedSetsRecord.h"
#include "platform/FileSystem.h"
#include "platform/GuiThread.h"
#include "platform/GuiWakeUp.h"

#include <algorithm>

namespace tolvenka::archives {

struct UnpackQueue::Running {
    Job job;
    SetKey key;
    std::vector<std::string> tried;
    std::unique_ptr<UnpackThread> thread;
};

UnpackQueue::UnpackQueue(UnpackedSetsRecord& record, ArrivedSet arrivedSet)
    : record(record)
    , arrivedSet(std::move(arrivedSet))
    , progressWakeUp(std::make_unique<platform::GuiWakeUp>([this] {
        if (running != nullptr) {
            onChange(running->job.set);
        }
    }))
    , self(std::make_shared<UnpackQueue*>(this)) {}

UnpackQueue::~UnpackQueue() {
    // What the thread posts from now on finds no queue.
    self.reset();
    running.reset();
}

void UnpackQueue::setPasswords(std::vector<std::string> passwords) {
    settingsPasswords = std::move(passwords);
}

void UnpackQueue::setFreeSpace(
    std::function<std::optional<std::uint64_t>(const std::string&)> query) {
    freeSpace = std::move(query);
}

void UnpackQueue::add(const SetId& set, std::vector<std::string> passwords) {
    if (const Status* status = statusOf(set);
        status != nullptr &&
        (status->stage == Stage::Waiting || status->stage == Stage::Unpacking ||
         status->stage == Stage::NeedsPassword)) {
        return;
    }
    enqueue(Job{set, std::move(passwords), std::nullopt});
}

void UnpackQueue::provide(const SetId& set, std::string password) {
    const auto asked = awaitingAnswer.find(set);
    if (asked == awaitingAnswer.end()) {
        return;
    }
    Job job{set, std::move(asked->second), std::move(password)};
    awaitingAnswer.erase(asked);
    enqueue(std::move(job));
}

void UnpackQueue::decline(const SetId& set) {
    const auto status = statuses.find(set);
    if (status != statuses.end() && status->second.stage == Stage::NeedsPassword) {
        // The answer may still come later, from the user's own choice.
        status->second.stage = Stage::NotUnpacked;
        onChange(set);
    }
}

const UnpackQueue::Status* UnpackQueue::statusOf(const SetId& set) const {
    const auto found = statuses.find(set);
    return found == statuses.end() ? nullptr : &found->second;
}

std::optional<double> UnpackQueue::progressOf(const SetId& set) const {
    if (running == nullptr || running->job.set != set) {
        return std::nullopt;
    }
    const std::int64_t total = running->thread->bytesTotal();
    const std::int64_t done = running->thread->bytesDone();
    return total <= 0
               ? 0.0
               : std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
}

const SetId* UnpackQueue::unpacking() const {
    return running == nullptr ? nullptr : &running->job.set;
}

void UnpackQueue::enqueue(Job job) {
    setStatus(job.set, Stage::Waiting);
    waiting.push_back(std::move(job));
    scheduleStep();
}

// One set a step, each step a turn of the event loop of its own: the many
// sets a long queue holds at start are looked at without holding the window.
void UnpackQueue::scheduleStep() {
    if (stepPosted || running != nullptr || waiting.empty()) {
        return;
    }
    stepPosted = true;
    platform::post([queue = std::weak_ptr<UnpackQueue*>(self)] {
        if (const std::shared_ptr<UnpackQueue*> alive = queue.lock()) {
            (*alive)->stepPosted = false;
            (*alive)->step();
        }
    });
}

void UnpackQueue::step() {
    if (running != nullptr || waiting.empty()) {
        return;
    }
    Job job = std::move(waiting.front());
    waiting.pop_front();
    std::optional<ArchiveSet> set = arrivedSet(job.set);
    std::optional<SetKey> key = set ? SetKey::of(*set) : std::nullopt;
    if (key && !record.isUnpacked(*key)) {
        start(std::move(job), std::move(*set), std::move(*key));
    } else if (key || (set && record.isUnpacked(SetKey::named(*set)))) {
        // Unpacked before; or its parts are gone since, as they go to the
        // trash after their set unpacked.
        setStatus(job.set, Stage::Unpacked);
    } else {
        // No longer whole: it is added again once a part arrives anew.
        statuses.erase(job.set);
        onChange(job.set);
    }
    scheduleStep();
}

void UnpackQueue::start(Job job, ArchiveSet set, SetKey key) {
    const std::string folder = job.set.folder();
    if (clearedFolders.insert(folder).second) {
        SetUnpacker::removeLeftovers(folder);
    }
    auto unpacking = std::make_unique<Running>();
    unpacking->tried = passwordsFor(job);
    unpacking->key = std::move(key);
    UnpackRequest request{std::move(set), folder, unpacking->tried, freeSpace,
                          [wakeUp = progressWakeUp.get()](std::int64_t, std::int64_t) {
                              // The unpacking thread: the GUI thread reads
                              // the figures when it repaints.
                              wakeUp->request();
                          }};
    unpacking->job = std::move(job);
    running = std::move(unpacking);
    running->thread = std::make_unique<UnpackThread>(
        std::move(request), [queue = std::weak_ptr<UnpackQueue*>(self)](UnpackOutcome outcome) {
            // The unpacking thread: the outcome goes over to the GUI thread.
            platform::post([queue, outcome = std::move(outcome)]() mutable {
                if (const std::shared_ptr<UnpackQueue*> alive = queue.lock()) {
                    (*alive)->finish(std::move(outcome));
                }
            });
        });
    setStatus(running->job.set, Stage::Unpacking);
}

void UnpackQueue::finish(UnpackOutcome outcome) {
    if (running == nullptr) {
        return;
    }
    const std::unique_ptr<Running> done = std::move(running);
    // Its thread has handed the outcome over and is ending.
    done->thread.reset();
    const SetId& set = done->job.set;
    switch (outcome.result) {
    case UnpackOutcome::Result::Unpacked:
        finishUnpacked(*done, outcome);
        break;
    case UnpackOutcome::Result::NeedsPassword:
        awaitingAnswer[set] = done->job.ownPasswords;
        setStatus(set, Stage::NeedsPassword, outcome.reason);
        break;
    case UnpackOutcome::Result::Cancelled:
        statuses.erase(set);
        onChange(set);
        break;
    case UnpackOutcome::Result::Failed:
    case UnpackOutcome::Result::UnsupportedEncryption:
        setStatus(set, Stage::NotUnpacked, outcome.reason);
        break;
    }
    if (outcome.result != UnpackOutcome::Result::Cancelled) {
        onFinished(set, outcome);
    }
    if (outcome.result == UnpackOutcome::Result::NeedsPassword) {
        onPasswordNeeded(set, outcome.setName);
    }
    scheduleStep();
}

void UnpackQueue::finishUnpacked(const Running& done, const UnpackOutcome& outcome) {
    record.markUnpacked(done.key, outcome);
    awaitingAnswer.erase(done.job.set);
    setStatus(done.job.set, Stage::Unpacked);
    if (outcome.passwordIndex >= 0 &&
        static_cast<std::size_t>(outcome.passwordIndex) < done.tried.size()) {
        const std::string& password = done.tried[static_cast<std::size_t>(outcome.passwordIndex)];
        if (std::find(settingsPasswords.begin(), settingsPasswords.end(), password) ==
            settingsPasswords.end()) {
            onPasswordWorked(password);
        }
    }
    // Only now: the set is whole in its place, every entry checked.
    if (trashParts) {
        for (const std::string& part : outcome.partPaths) {
            if (!platform::moveToTrash(part)) {
                onNotTrashed(part);
            }
        }
    }
}

std::vector<std::string> UnpackQueue::passwordsFor(const Job& job) const {
    std::vector<std::string> passwords;
    const auto take = [&](const std::string& password) {
        if (!password.empty() &&
            std::find(passwords.begin(), passwords.end(), password) == passwords.end()) {
            passwords.push_back(password);
        }
    };
    if (job.answer) {
        take(*job.answer);
    }
    std::for_each(job.ownPasswords.begin(), job.ownPasswords.end(), take);
    std::for_each(settingsPasswords.begin(), settingsPasswords.end(), take);
    return passwords;
}

void UnpackQueue::setStatus(const SetId& set, Stage stage, std::string reason) {
    statuses[set] = Status{stage, std::move(reason)};
    onChange(set);
}

} // namespace tolvenka::archives
