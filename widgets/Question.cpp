#include "widgets/Question.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

namespace tolvenka {

bool askBeforeGoingAhead(const QString& question, const QString& goAhead, QWidget* parent) {
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), question,
                    QMessageBox::NoButton, parent);
    QPushButton* accept = box.addButton(goAhead, QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == accept;
}

} // namespace tolvenka
