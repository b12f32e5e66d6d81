#include "widgets/FixedDialog.h"

#include "widgets/ScreenPlacement.h"

#include <QKeyEvent>

namespace tolvenka {

FixedDialog::FixedDialog(int clientWidth, int clientHeight, QWidget* parent)
    : QDialog(parent)
    , leastSize(clientWidth, clientHeight) {
    setFixedSize(leastSize);
}

// Placed anew at each showing: left to the window system, a dialog shown
// again opens where it was last, shifted by its frame. Placed before it is
// shown, so that a first showing has the window system put the frame there.
void FixedDialog::setVisible(bool visible) {
    if (visible && !isVisible()) {
        ensurePolished();
        placeCentred(neededSize());
    }
    QDialog::setVisible(visible);
}

bool FixedDialog::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::LayoutRequest && isVisible()) {
        const QSize needed = neededSize();
        if (needed.width() > width() || needed.height() > height()) {
            placeCentred(needed.expandedTo(size()));
        }
    }
    return handled;
}

QSize FixedDialog::neededSize() const {
    return leastSize.expandedTo(sizeHint());
}

// Centred as the dialog's position, which names the corner of its frame, so
// that it opens at the same place whether or not its frame is known yet.
void FixedDialog::placeCentred(const QSize& size) {
    QRect centred(QPoint(), size);
    centred.moveCenter(availableArea(*this).center());
    const QMargins frame = windowFrame(*this);
    const QPoint frameCorner(frame.left(), frame.top());
    const QRect clientArea = fittedOnScreen(*this, centred.translated(frameCorner));
    setFixedSize(clientArea.size());
    move(clientArea.topLeft() - frameCorner);
}

void FixedDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tolvenka
