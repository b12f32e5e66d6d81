#include "widgets/PushButton.h"

#include <QKeyEvent>

namespace tolvenka {

PushButton::PushButton(const QString& text, const QRect& geometry, QWidget* parent)
    : QPushButton(text, parent) {
    setGeometry(geometry);
    setAutoDefault(false);
}

void PushButton::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        modifiers == Qt::NoModifier && !event->isAutoRepeat()) {
        click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

} // namespace tolvenka
