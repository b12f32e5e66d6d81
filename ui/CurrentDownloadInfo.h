#pragma once

#include <QGroupBox>
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

class QLabel;

namespace tolvenka {

class Download;
class ElidedLabel;

// A captioned box with the details of one download: source, target, state,
// size, received kilobytes (and their share, where the size is known), speed
// and time left. Being told of a change only
// raises an update level, from any thread; the owner's timer calls `update`
// on the GUI thread, which refreshes exactly the labels the level asks for.
//
// The box is as high as its lines: the seven rows one under the other, or,
// where the box is wide enough, in two columns, the link, the file and the
// state on the left and the figures on the right, four lines high.
//
// The value labels are named after their rows ("from", "to", "state",
// "size", "received", "speed", "time"); a value too long for its label is
// cut in the middle and shown whole as the label's tooltip.
class CurrentDownloadInfo : public QGroupBox {
public:
    explicit CurrentDownloadInfo(QWidget* parent = nullptr);

    // GUI thread. Shows `download` (null: none) from the next update on.
    void setDownload(const Download* download);
    // GUI thread. With downloading stopped and no download shown, the state
    // line says so.
    void setStopped(bool stopped);
    // GUI thread. In how many milliseconds the time left of the timed wait
    // shown reads another second; -1 when no timed wait is shown.
    std::int64_t msUntilTimeLeftChanges() const;
    // GUI thread. Whether the download shown is transferring.
    bool isShowingTransfer() const;
    // GUI thread. The download shown, if it is in a timed wait; else null.
    const Download* shownWait() const;

    // The height of its lines at `width`.
    int heightForWidth(int width) const override;
    bool hasHeightForWidth() const override { return true; }

    // Any thread. The download's state changed.
    void statusChanged();
    // Any thread. Bytes of the download arrived.
    void worked();

    // GUI thread. Applies the level noted since the last update. Hides
    // QWidget::update() on purpose: the labels repaint themselves.
    void update();

    // How the byte figures read.
    static std::string kilobytesText(std::int64_t bytes);
    static std::string speedText(float kilobytesPerSecond);

private:
    enum Level : std::uint8_t { Nothing = 0, Bytes = 1, State = 2, Everything = 3 };
    enum Row { From, To, StateRow, Size, Received, Speed, Time, RowCount };

    void raiseLevel(Level level);
    void updateFromTo();
    void updateState();
    void updateBytes();
    void resetRows(Row first, Row last);
    void setValue(Row row, std::string_view cp1251);
    void resizeEvent(QResizeEvent* event) override;
    bool fitsTwoColumns(int width) const;
    void placeRows();

    std::array<QLabel*, RowCount> captions{};
    std::array<ElidedLabel*, RowCount> values{};
    int valueLeft = 0;
    // Where values start in the right column, from its captions' left.
    int figureValueLeft = 0;
    int rowTop = 0;
    int rowStep = 0;
    // Room under the last row's text for the frame.
    int rowsBelow = 0;
    std::atomic<std::uint8_t> pendingUpdate{Nothing};
    const Download* shownDownload = nullptr;
    bool stopped = false;
};

} // namespace tolvenka
