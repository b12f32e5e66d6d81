#pragma once

#include <QPushButton>

namespace tolvenka {

// A push button as large as the form designed it, or larger where its
// caption needs more room in the present font. Placed by a layout, it asks
// for that size and takes no less. Enter and keypad Enter press it while it
// has the focus, as Space does; it never becomes a dialog's default button,
// so Enter elsewhere presses nothing.
class PushButton : public QPushButton {
public:
    // Placed at `geometry`; its size is the least size.
    PushButton(const QString& text, const QRect& geometry, QWidget* parent);
    // For a layout to place.
    PushButton(const QString& text, const QSize& leastSize, QWidget* parent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QSize captionSize() const;

    QSize leastSize;
};

} // namespace tolvenka
