#pragma once

#include <QDialog>

namespace tolvenka {

// A modal dialog that opens centred on the screen every time it is shown,
// fixed at the size its layout asks for and never smaller than designed.
// While shown it grows when its content needs more room (a longer text), and
// it stays inside the screen as far as its content allows. Esc has no
// dialog-wide meaning in it.
class FixedDialog : public QDialog {
public:
    // The designed client size, the least the dialog takes.
    FixedDialog(int clientWidth, int clientHeight, QWidget* parent);

    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QSize neededSize() const;
    void placeCentred(const QSize& size);

    QSize leastSize;
};

} // namespace tolvenka
