#include "tests/common/ModalWatcher.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace testing_helpers {

ModalWatcher::ModalWatcher()
    : timer(new QTimer) {
    QObject::connect(timer, &QTimer::timeout, [this] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.append(box->text());
            box->done(QMessageBox::Ok);
        }
    });
    timer->start(5);
}

ModalWatcher::~ModalWatcher() {
    delete timer;
}

} // namespace testing_helpers
