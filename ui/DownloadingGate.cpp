#include "ui/DownloadingGate.h"

#include "engine/SimpleDownloadThread.h"
#include "ui/ScheduleWatch.h"
#include "ui/UserSettings.h"

namespace tolvenka {

DownloadingGate::DownloadingGate(UserSettings& settings, platform::WallClock& clock)
    : settings(settings)
    , schedule(std::make_unique<ScheduleWatch>(clock, settings.downloadHours())) {
    schedule->onChange = [this] {
        apply();
        onChange();
    };
}

DownloadingGate::~DownloadingGate() = default;

void DownloadingGate::attach(SimpleDownloadThread* started) {
    worker = started;
    if (worker != nullptr && !isOpen()) {
        worker->pause();
    }
}

void DownloadingGate::stop() {
    settings.setStopped(true);
    apply();
    onChange();
}

void DownloadingGate::resume() {
    settings.setStopped(false);
    apply();
    onChange();
}

bool DownloadingGate::isStoppedByUser() const {
    return settings.isStopped();
}

bool DownloadingGate::waitsForSchedule() const {
    return schedule->holdsBack();
}

const DownloadHours& DownloadingGate::downloadHours() const {
    return schedule->hours();
}

void DownloadingGate::setDownloadHours(const DownloadHours& hours) {
    settings.setDownloadHours(hours);
    schedule->setHours(hours);
    onChange();
}

void DownloadingGate::apply() {
    if (worker == nullptr) {
        return;
    }
    if (isOpen()) {
        worker->resume();
    } else {
        worker->pause();
    }
}

} // namespace tolvenka
