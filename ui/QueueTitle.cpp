#include "ui/QueueTitle.h"

#include "ui/DownloadHours.h"
#include "widgets/WidgetText.h"

#include <utility>

namespace tolvenka {

namespace {

const QString programName = QString::fromUtf8("Толвенка");
const QString dash = QString::fromUtf8(" — ");

} // namespace

void QueueTitle::setStopped(bool isStopped) {
    stopped = isStopped;
    changed();
}

void QueueTitle::setScheduleResumesAt(int minuteOfDay) {
    scheduleResumesAt = minuteOfDay;
    changed();
}

void QueueTitle::setTransferShare(int percent) {
    transferShare = percent;
    changed();
}

void QueueTitle::setWait(std::int64_t secondsLeft, const std::string& caption) {
    waitLeft = secondsLeft;
    waitCaption = secondsLeft >= 0 ? toQString(caption) : QString();
    changed();
}

QString QueueTitle::title() const {
    if (stopped || scheduleResumesAt >= 0) {
        return programName + dash + state();
    }
    if (transferShare >= 0) {
        return QString::fromUtf8("%1 %").arg(transferShare) + dash + programName;
    }
    if (waitLeft >= 0) {
        return QString::fromUtf8("Ожидание ") + durationText(waitLeft) + dash + programName;
    }
    return programName;
}

QString QueueTitle::state() const {
    if (stopped) {
        return QString::fromUtf8("остановлено");
    }
    if (scheduleResumesAt >= 0) {
        return QString::fromUtf8("ждёт расписания до ") +
               QString::fromStdString(DownloadHours::timeText(scheduleResumesAt));
    }
    if (transferShare < 0 && waitLeft >= 0) {
        const QString what = waitCaption.isEmpty() ? QString::fromUtf8("Ожидание") : waitCaption;
        return what + QString::fromUtf8(" (ещё ") + durationText(waitLeft) + u')';
    }
    return {};
}

QString QueueTitle::durationText(std::int64_t seconds) {
    const std::int64_t hours = seconds / 3600;
    const auto twoDigits = [](std::int64_t value) {
        return QString::number(value).rightJustified(2, u'0');
    };
    const QString minutesAndSeconds = twoDigits(seconds % 60);
    if (hours > 0) {
        return QString::number(hours) + u':' + twoDigits(seconds / 60 % 60) + u':' +
               minutesAndSeconds;
    }
    return QString::number(seconds / 60) + u':' + minutesAndSeconds;
}

void QueueTitle::changed() {
    QString nowTitle = title();
    QString nowState = state();
    if (nowTitle == shownTitle && nowState == shownState) {
        return;
    }
    shownTitle = std::move(nowTitle);
    shownState = std::move(nowState);
    if (onChange) {
        onChange();
    }
}

} // namespace tolvenka
