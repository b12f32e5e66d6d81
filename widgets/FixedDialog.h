#pragma once

#include <QDialog>

namespace tolvenka {

// A modal dialog of fixed size that opens centred on the screen every time
// it is shown. Esc has no dialog-wide meaning in it.
class FixedDialog : public QDialog {
public:
    FixedDialog(int clientWidth, int clientHeight, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tolvenka
