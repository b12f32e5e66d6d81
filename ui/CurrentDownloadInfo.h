#pragma once

#include <QGroupBox>
#include <atomic>
#include <cstdint>
#include <string>

class QLabel;

namespace tolvenka {

class Download;

// A captioned box with the details of one download: source, target, state,
// size, received kilobytes, speed and time left. Being told of a change only
// raises an update level, from any thread; the owner's timer calls `update`
// on the GUI thread, which refreshes exactly the labels the level asks for.
class CurrentDownloadInfo : public QGroupBox {
public:
    static constexpr int Height = 160;

    explicit CurrentDownloadInfo(QWidget* parent = nullptr);

    // GUI thread. Shows `download` (null: none) from the next update on.
    void setDownload(const Download* download);
    const Download* getDownload() const { return shownDownload; }

    // Any thread. The download's state changed.
    void statusChanged();
    // Any thread. Bytes of the download arrived.
    void worked();

    // GUI thread. Applies the level noted since the last update. Hides
    // QWidget::update() on purpose: the labels repaint themselves.
    void update();

    // The value texts, by row: source, target, state, size, received, speed,
    // time.
    QString valueText(int row) const;

    // How the byte figures read.
    static std::string kilobytesText(std::int64_t bytes);
    static std::string speedText(float kilobytesPerSecond);

private:
    enum Level : std::uint8_t { Nothing = 0, Bytes = 1, State = 2, Everything = 3 };

    QLabel* addRow(int top, const char* caption);
    void raiseLevel(Level level);
    void updateFromTo();
    void updateState();
    void updateBytes();
    void resetAll();
    void resizeEvent(QResizeEvent* event) override;

    QLabel* fromLabel;
    QLabel* toLabel;
    QLabel* stateLabel;
    QLabel* sizeLabel;
    QLabel* receivedLabel;
    QLabel* speedLabel;
    QLabel* timeLabel;
    int valueLeft;
    std::atomic<std::uint8_t> pendingUpdate{Nothing};
    const Download* shownDownload = nullptr;
};

} // namespace tolvenka
