#include "ui/QueueStatusLine.h"

#include "engine/Download.h"
#include "queue/DownloadsSet.h"

#include <QLocale>
#include <algorithm>
#include <array>

namespace tolvenka {

namespace {

const QString separator = QString::fromUtf8(" · ");

bool isStillToCome(Download::State state) {
    return state != Download::State::Complete && state != Download::State::NotFound;
}

} // namespace

QueueStatusLine::QueueStatusLine(QWidget* parent)
    : ElidedLabel(QString(), parent) {
    setObjectName(QStringLiteral("queueStatus"));
    showText();
}

void QueueStatusLine::showQueue(const DownloadsSet* set) {
    left = 0;
    bytesLeft = 0;
    if (set != nullptr) {
        for (const std::unique_ptr<Download>& download : *set) {
            if (!isStillToCome(download->getState())) {
                continue;
            }
            ++left;
            const std::int64_t size = download->getTotalBytes();
            if (size > 0) {
                bytesLeft += size - std::clamp<std::int64_t>(download->getReceivedBytes(), 0, size);
            }
        }
    }
    showText();
}

void QueueStatusLine::showState(const QString& state) {
    queueState = state;
    showText();
}

void QueueStatusLine::showText() {
    QString text = QString::fromUtf8("В очереди: %1").arg(left);
    if (bytesLeft > 0) {
        text += separator + sizeText(bytesLeft);
    }
    if (!queueState.isEmpty()) {
        text += separator + queueState;
    }
    if (text != fullText()) {
        setFullText(text);
    }
}

QString QueueStatusLine::sizeText(std::int64_t bytes) {
    static const std::array<const char*, 5> units = {"Б", "кБ", "МБ", "ГБ", "ТБ"};
    auto value = static_cast<double>(std::max<std::int64_t>(bytes, 0));
    std::size_t unit = 0;
    // Rounded, "1024 кБ" would read where "1,0 МБ" is meant.
    while (value >= 1023.5 && unit + 1 < units.size()) {
        value /= 1024;
        ++unit;
    }
    const int decimals = unit > 0 && value < 9.95 ? 1 : 0;
    QLocale russian(QLocale::Russian);
    russian.setNumberOptions(QLocale::OmitGroupSeparator);
    return russian.toString(value, 'f', decimals) + u' ' + QString::fromUtf8(units[unit]);
}

} // namespace tolvenka
