#include "ui/TransferCloseQuestion.h"

#include "engine/Download.h"
#include "ui/TransferShare.h"
#include "widgets/WidgetText.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstdint>

namespace tolvenka {

bool TransferCloseQuestion::ask(const Download& download, QWidget& parent) {
    const int percent = percentReceived(download);
    const std::int64_t received = std::max<std::int64_t>(0, download.getReceivedBytes());
    const QString share = percent >= 0 ? QString::fromUtf8("%1 %").arg(percent)
                                       : QString::fromUtf8("%1 кБ").arg(received / 1024);
    QMessageBox question(QMessageBox::Question, QGuiApplication::applicationDisplayName(),
                         QString::fromUtf8("Идёт загрузка «%1» (принято %2). Выйти? Принятое "
                                           "будет потеряно.")
                             .arg(QFileInfo(toQString(download.getTargetPath())).fileName(), share),
                         QMessageBox::NoButton, &parent);
    QPushButton* leave = question.addButton(QString::fromUtf8("Выйти"), QMessageBox::AcceptRole);
    QPushButton* stay =
        question.addButton(QString::fromUtf8("Не выходить"), QMessageBox::RejectRole);
    question.setDefaultButton(stay);
    question.setEscapeButton(stay);
    open = &question;
    question.exec();
    open = nullptr;
    return question.clickedButton() == leave;
}

void TransferCloseQuestion::dismiss() {
    if (open != nullptr) {
        open->reject();
    }
}

} // namespace tolvenka
