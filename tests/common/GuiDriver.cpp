#include "tests/common/GuiDriver.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

namespace testing_helpers {

namespace {

constexpr int pollIntervalMs = 2;

} // namespace

WhenReady::WhenReady(std::function<bool()> ready, std::function<void()> action)
    : ready(std::move(ready))
    , action(std::move(action)) {
    QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
    timer.start(pollIntervalMs);
}

void WhenReady::poll() {
    if (hasFired || !ready()) {
        return;
    }
    // Stopped first: the action may run a modal loop of its own.
    timer.stop();
    hasFired = true;
    action();
}

MessageBoxCloser::MessageBoxCloser() {
    QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
    timer.start(pollIntervalMs);
}

void MessageBoxCloser::poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) {
            continue;
        }
        texts.push_back(box->text().toStdString());
        if (onShown) {
            onShown();
        }
        box->button(QMessageBox::Ok)->click();
    }
}

void clickButton(QWidget& parent, const QString& buttonName) {
    QTest::mouseClick(parent.findChild<QPushButton*>(buttonName), Qt::LeftButton);
}

bool useModally(QDialog& dialog, const std::function<void()>& whileShown) {
    WhenReady user([&] { return dialog.isVisible(); },
                   [&] {
                       whileShown();
                       if (dialog.isVisible()) {
                           clickButton(dialog, QStringLiteral("cancel"));
                       }
                   });
    dialog.exec();
    return user.fired();
}

} // namespace testing_helpers
