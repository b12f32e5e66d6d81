#pragma once

#include <QObject>
#include <QTimer>

namespace tolvenka {

// Stops the text caret's blinking after a while without input, as desktops
// do, so that a window left open and active does not wake the program twice
// a second for nothing; a key, a click or the wheel starts it again.
class CaretRest : public QObject {
public:
    // Watches the input of the whole application; the caret rests after
    // `restAfterMs` without any.
    explicit CaretRest(int restAfterMs = 10'000, QObject* parent = nullptr);
    ~CaretRest() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rest();
    void wake();

    QTimer idle;
    const int flashTime; // the desktop's, restored on input
    bool resting = false;
};

} // namespace tolvenka
