#include "ui/CurrentDownloadInfo.h"

#include "engine/Download.h"
#include "intake/WidgetText.h"

#include <QLabel>
#include <cmath>

namespace tolvenka {

namespace {

constexpr int captionLeft = 5;
// Values start here, or further right when a caption in the present font
// is wider.
constexpr int minimumValueLeft = 90;
constexpr int rowHeight = 20;
constexpr int firstRowTop = 20;

const QString noValue = QStringLiteral("-");

} // namespace

CurrentDownloadInfo::CurrentDownloadInfo(QWidget* parent)
    : QGroupBox(QString::fromUtf8("Текущая загрузка"), parent) {
    setFixedHeight(Height);
    valueLeft = minimumValueLeft;
    for (const char* caption : {"Загрузка из:", "Загрузка в:", "Состояние:", "Размер, кБ:",
                                "Принято, кБ:", "Скорость, кБ/с:", "Время:"}) {
        valueLeft =
            std::max(valueLeft,
                     captionLeft + fontMetrics().horizontalAdvance(QString::fromUtf8(caption)) + 8);
    }
    fromLabel = addRow(firstRowTop, "Загрузка из:");
    toLabel = addRow(firstRowTop + rowHeight, "Загрузка в:");
    stateLabel = addRow(firstRowTop + 2 * rowHeight, "Состояние:");
    sizeLabel = addRow(firstRowTop + 3 * rowHeight, "Размер, кБ:");
    receivedLabel = addRow(firstRowTop + 4 * rowHeight, "Принято, кБ:");
    speedLabel = addRow(firstRowTop + 5 * rowHeight, "Скорость, кБ/с:");
    timeLabel = addRow(firstRowTop + 6 * rowHeight, "Время:");
}

QLabel* CurrentDownloadInfo::addRow(int top, const char* caption) {
    auto* captionLabel = new QLabel(QString::fromUtf8(caption), this);
    captionLabel->move(captionLeft, top);
    captionLabel->adjustSize();
    auto* value = new QLabel(noValue, this);
    value->setGeometry(valueLeft, top, width() - valueLeft - captionLeft,
                       captionLabel->sizeHint().height());
    return value;
}

void CurrentDownloadInfo::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    for (QLabel* value :
         {fromLabel, toLabel, stateLabel, sizeLabel, receivedLabel, speedLabel, timeLabel}) {
        value->resize(std::max(0, width() - valueLeft - captionLeft), value->height());
    }
}

void CurrentDownloadInfo::setDownload(const Download* download) {
    shownDownload = download;
    pendingUpdate = Everything;
}

void CurrentDownloadInfo::statusChanged() {
    raiseLevel(State);
}

void CurrentDownloadInfo::worked() {
    raiseLevel(Bytes);
}

void CurrentDownloadInfo::raiseLevel(Level level) {
    std::uint8_t current = pendingUpdate.load();
    while (current < level && !pendingUpdate.compare_exchange_weak(current, level)) {
    }
}

void CurrentDownloadInfo::update() {
    const std::uint8_t level = pendingUpdate.exchange(Nothing);
    if (shownDownload == nullptr) {
        if (level != Nothing) {
            resetAll();
        }
        return;
    }
    if (level >= Everything) {
        updateFromTo();
    }
    if (level >= State) {
        updateState();
    }
    if (level >= Bytes) {
        updateBytes();
    }
}

void CurrentDownloadInfo::updateFromTo() {
    fromLabel->setText(toQString(shownDownload->getLink()));
    toLabel->setText(toQString(shownDownload->getTargetPath()));
}

void CurrentDownloadInfo::updateState() {
    stateLabel->setText(toQString(shownDownload->getStateCaption()));
}

void CurrentDownloadInfo::updateBytes() {
    const auto speed = static_cast<float>(shownDownload->getSpeed());
    if (!(speed >= 0)) {
        for (QLabel* value : {sizeLabel, receivedLabel, speedLabel, timeLabel}) {
            value->setText(noValue);
        }
        return;
    }
    sizeLabel->setText(toQString(kilobytesText(shownDownload->getTotalBytes())));
    receivedLabel->setText(toQString(kilobytesText(shownDownload->getReceivedBytes())));
    speedLabel->setText(toQString(speedText(speed)));
    timeLabel->setText(toQString(shownDownload->getRemainingTime()));
}

void CurrentDownloadInfo::resetAll() {
    for (QLabel* value :
         {fromLabel, toLabel, stateLabel, sizeLabel, receivedLabel, speedLabel, timeLabel}) {
        value->setText(noValue);
    }
}

QString CurrentDownloadInfo::valueText(int row) const {
    const QLabel* values[] = {fromLabel,     toLabel,    stateLabel, sizeLabel,
                              receivedLabel, speedLabel, timeLabel};
    return values[row]->text();
}

std::string CurrentDownloadInfo::kilobytesText(std::int64_t bytes) {
    // Truncates toward zero, so an unknown size (-1) reads 0.
    return std::to_string(bytes / 1024);
}

std::string CurrentDownloadInfo::speedText(float kilobytesPerSecond) {
    // One digit after the point, cut off, not rounded.
    const auto whole = static_cast<std::int64_t>(kilobytesPerSecond);
    const auto tenths = static_cast<std::int64_t>(kilobytesPerSecond * 10) % 10;
    return std::to_string(whole) + "." + std::to_string(tenths);
}

} // namespace tolvenka
