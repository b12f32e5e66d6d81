#include "widgets/ShowMessage.h"

#include "widgets/WidgetText.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace tolvenka {

void showMessage(const std::string& text, QWidget* parent) {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), toQString(text),
                    QMessageBox::Ok, parent);
    box.exec();
}

} // namespace tolvenka
