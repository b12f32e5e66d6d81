#include "widgets/FixedDialog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace tolvenka {

FixedDialog::FixedDialog(int clientWidth, int clientHeight, QWidget* parent)
    : QDialog(parent) {
    setFixedSize(clientWidth, clientHeight);
}

void FixedDialog::showEvent(QShowEvent* event) {
    // Placed anew at each showing: left to the window system, a dialog
    // shown again opens where it was last, shifted by its frame.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

void FixedDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace tolvenka
