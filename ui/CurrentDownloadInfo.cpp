#include "ui/CurrentDownloadInfo.h"

#include "engine/Download.h"
#include "platform/Clock.h"
#include "support/Cp1251.h"
#include "ui/TransferShare.h"
#include "widgets/ElidedLabel.h"
#include "widgets/LinkText.h"
#include "widgets/WidgetText.h"

#include <QLabel>
#include <algorithm>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int captionLeft = 5;
// Values start here, or further right when a caption in the present font
// is wider.
constexpr int minimumValueLeft = 90;
constexpr int firstRowTop = 20;
// The least room between a row's text and the next.
constexpr int rowGap = 4;

// The rows, top to bottom: the caption and the name of the value label.
struct RowText {
    const char* caption;
    const char* name;
};
constexpr std::array<RowText, 7> rowTexts = {{
    {"Загрузка из:", "from"},
    {"Загрузка в:", "to"},
    {"Состояние:", "state"},
    {"Размер, кБ:", "size"},
    {"Принято, кБ:", "received"},
    {"Скорость, кБ/с:", "speed"},
    {"Время:", "time"},
}};

const QString noValue = QStringLiteral("-");

} // namespace

CurrentDownloadInfo::CurrentDownloadInfo(QWidget* parent)
    : QGroupBox(QString::fromUtf8("Текущая загрузка"), parent) {
    static_assert(rowTexts.size() == RowCount);
    valueLeft = minimumValueLeft;
    for (std::size_t row = 0; row < rowTexts.size(); ++row) {
        const int captionWidth =
            fontMetrics().horizontalAdvance(QString::fromUtf8(rowTexts[row].caption)) + 8;
        valueLeft = std::max(valueLeft, captionLeft + captionWidth);
        if (row >= Size) {
            figureValueLeft = std::max(figureValueLeft, captionWidth);
        }
    }
    // A larger font spaces the rows further apart, and the box grows with
    // them. The rows start below the caption and the frame as the style
    // draws them, and the frame closes below the last.
    const int lineHeight = fontMetrics().height();
    rowStep = lineHeight + rowGap;
    rowTop = std::max(firstRowTop, contentsMargins().top() + rowGap / 2);
    rowsBelow = contentsMargins().bottom() + rowGap / 2;
    for (std::size_t row = 0; row < rowTexts.size(); ++row) {
        captions[row] = new QLabel(QString::fromUtf8(rowTexts[row].caption), this);
        captions[row]->adjustSize();
        auto* value = new ElidedLabel(noValue, this);
        value->setObjectName(QString::fromUtf8(rowTexts[row].name));
        value->resize(value->width(), captions[row]->sizeHint().height());
        values[row] = value;
    }
    resize(width(), heightForWidth(0));
    placeRows();
}

// The figures' column holds the longest figure a transfer shows; the link
// and the file take the rest, which is no narrower.
bool CurrentDownloadInfo::fitsTwoColumns(int width) const {
    const int figureWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000000 (100 %)"));
    const int figureColumn = figureValueLeft + figureWidth;
    return width >= 2 * captionLeft + std::max(valueLeft + figureWidth, figureColumn) +
                        figureColumn + captionLeft;
}

int CurrentDownloadInfo::heightForWidth(int width) const {
    // On the right the four figures, which outnumber the three on the left.
    const int lines = fitsTwoColumns(width) ? RowCount - Size : RowCount;
    return std::max(rowTop + lines * rowStep,
                    rowTop + (lines - 1) * rowStep + values[0]->height() + rowsBelow);
}

void CurrentDownloadInfo::placeRows() {
    const bool twoColumns = fitsTwoColumns(width());
    const int figureWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000000 (100 %)"));
    const int figuresLeft = width() - captionLeft - figureValueLeft - figureWidth;
    for (int row = 0; row < RowCount; ++row) {
        const bool isFigure = twoColumns && row >= Size;
        const int line = isFigure ? row - Size : row;
        const int top = rowTop + line * rowStep;
        const int left = isFigure ? figuresLeft : captionLeft;
        const int valueStart = isFigure ? figuresLeft + figureValueLeft : valueLeft;
        const int valueEnd =
            twoColumns && !isFigure ? figuresLeft - captionLeft : width() - captionLeft;
        const auto index = static_cast<std::size_t>(row);
        captions[index]->move(left, top);
        values[index]->setGeometry(valueStart, top, std::max(0, valueEnd - valueStart),
                                   values[index]->height());
    }
}

void CurrentDownloadInfo::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    placeRows();
}

void CurrentDownloadInfo::setDownload(const Download* download) {
    shownDownload = download;
    pendingUpdate = Everything;
}

void CurrentDownloadInfo::setStopped(bool isStopped) {
    stopped = isStopped;
    pendingUpdate = Everything;
}

std::int64_t CurrentDownloadInfo::msUntilTimeLeftChanges() const {
    if (shownDownload == nullptr || isShowingTransfer()) {
        return -1;
    }
    const std::int64_t endsAt = shownDownload->getWaitEndsAtMs();
    const std::int64_t left = endsAt - platform::clockMs();
    if (endsAt < 0 || left <= 0) {
        return -1;
    }
    // Whole seconds are rounded up, so the text changes as `left` passes a
    // multiple of a second.
    return left % 1000 == 0 ? 1000 : left % 1000;
}

const Download* CurrentDownloadInfo::shownWait() const {
    return msUntilTimeLeftChanges() >= 0 ? shownDownload : nullptr;
}

bool CurrentDownloadInfo::isShowingTransfer() const {
    return shownDownload != nullptr && shownDownload->getState() == Download::State::Downloading;
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
            resetRows(From, Time);
            if (stopped) {
                setValue(StateRow, std::string("Загрузка остановлена"_cp1251));
            }
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
    values[From]->setFullText(readableLink(shownDownload->getLink()));
    setValue(To, shownDownload->getTargetPath());
}

void CurrentDownloadInfo::updateState() {
    setValue(StateRow, shownDownload->getStateCaption());
    // The caption says "Ошибка"; the reason says why.
    const bool failed = shownDownload->getState() == Download::State::Error;
    values[StateRow]->setDescription(failed ? toQString(shownDownload->getFailureReason())
                                            : QString());
}

void CurrentDownloadInfo::updateBytes() {
    const auto speed = static_cast<float>(shownDownload->getSpeed());
    if (!(speed >= 0)) {
        // Between transfers the time is that of the wait under way.
        resetRows(Size, Speed);
        setValue(Time, shownDownload->getWaitTimeLeft());
        return;
    }
    setValue(Size, kilobytesText(shownDownload->getTotalBytes()));
    std::string received = kilobytesText(shownDownload->getReceivedBytes());
    if (const int percent = percentReceived(*shownDownload); percent >= 0) {
        received += " (" + std::to_string(percent) + " %)";
    }
    setValue(Received, received);
    setValue(Speed, speedText(speed));
    setValue(Time, shownDownload->getRemainingTime());
}

void CurrentDownloadInfo::resetRows(Row first, Row last) {
    for (int row = first; row <= last; ++row) {
        values[static_cast<std::size_t>(row)]->setFullText(noValue);
        values[static_cast<std::size_t>(row)]->setDescription(QString());
    }
}

void CurrentDownloadInfo::setValue(Row row, std::string_view cp1251) {
    values[static_cast<std::size_t>(row)]->setFullText(toQString(cp1251));
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
