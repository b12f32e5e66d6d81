#pragma once

class QMessageBox;
class QWidget;

namespace tolvenka {

class Download;

// The question a close request of the user's asks while a transfer runs,
// for the service cannot resume one and what arrived would be lost:
// "Идёт загрузка «f.zip» (принято 48 %). Выйти? Принятое будет потеряно.",
// with "Выйти" and "Не выходить", the default. A close that never asks
// dismisses it.
//
// GUI thread.
class TransferCloseQuestion {
public:
    // Asks over `parent` and waits for the answer: true to leave.
    bool ask(const Download& download, QWidget& parent);
    bool isOpen() const { return open != nullptr; }
    // Answers "Не выходить" for the user.
    void dismiss();

private:
    QMessageBox* open = nullptr;
};

} // namespace tolvenka
