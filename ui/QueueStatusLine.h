#pragma once

#include "widgets/ElidedLabel.h"

#include <cstdint>

namespace tolvenka {

class DownloadsSet;

// The line under the list that tells the whole queue at a glance: how many
// downloads are still to come and how much of them is left to receive, of
// the sizes known so far, then what the queue does, if anything is to be
// said: "В очереди: 12 · 1,4 ГБ · остановлено". It is read again when the
// queue changes, never on a timer of its own. One line, whatever the room:
// where the line is cut, its whole text is the tooltip.
//
// GUI thread. Named "queueStatus".
class QueueStatusLine : public ElidedLabel {
public:
    explicit QueueStatusLine(QWidget* parent = nullptr);

    // Reads the queue's figures again (null: none).
    void showQueue(const DownloadsSet* set);
    // What the queue does, in the status line's words; empty for nothing.
    void showState(const QString& state);

    // Bytes in the largest unit of 1024 that keeps the figure at 1 or more,
    // rounded, with a decimal comma below 10: "0 Б", "900 Б", "1,4 ГБ",
    // "350 МБ".
    static QString sizeText(std::int64_t bytes);

private:
    void showText();

    int left = 0;
    std::int64_t bytesLeft = 0;
    QString queueState;
};

} // namespace tolvenka
