#include "widgets/PushButton.h"

#include <QKeyEvent>
#include <QStyleOptionButton>

namespace tolvenka {

PushButton::PushButton(const QString& text, const QRect& geometry, QWidget* parent)
    : PushButton(text, geometry.size(), parent) {
    setGeometry(geometry);
}

PushButton::PushButton(const QString& text, const QSize& leastSize, QWidget* parent)
    : QPushButton(text, parent)
    , leastSize(leastSize) {
    setAutoDefault(false);
}

QSize PushButton::sizeHint() const {
    return captionSize().expandedTo(leastSize);
}

QSize PushButton::minimumSizeHint() const {
    return sizeHint();
}

// The style's size for the caption. The style's own hint would also widen
// a short caption to a common button width, and "..." is meant to be narrow.
QSize PushButton::captionSize() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, option.text);
    option.text.clear();
    option.rect.setSize(text);
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, text, this);
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
