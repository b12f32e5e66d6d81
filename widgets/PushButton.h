#pragma once

#include <QPushButton>

namespace tolvenka {

// A push button placed where the form puts it. Enter and keypad Enter press
// it while it has the focus, as Space does; it never becomes a dialog's
// default button, so Enter elsewhere presses nothing.
class PushButton : public QPushButton {
public:
    PushButton(const QString& text, const QRect& geometry, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tolvenka
