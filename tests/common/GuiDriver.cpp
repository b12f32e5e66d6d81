#include "tests/common/GuiDriver.h"

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QLabel>
#include <QListView>
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
        if (box == nullptr || !box->isVisible() || box->button(QMessageBox::Ok) == nullptr) {
            continue;
        }
        texts.push_back(box->text().toStdString());
        if (onShown) {
            onShown();
        }
        box->button(QMessageBox::Ok)->click();
    }
}

QuestionAnswerer::QuestionAnswerer(QString answer)
    : answer(std::move(answer)) {
    QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
    timer.start(pollIntervalMs);
}

void QuestionAnswerer::poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible() || box->button(QMessageBox::Ok) != nullptr) {
            continue;
        }
        const auto caption = [](const QAbstractButton* button) {
            return button != nullptr ? button->text() : QString();
        };
        asked.push_back(
            Question{box->text(), caption(box->defaultButton()), caption(box->escapeButton())});
        if (answer.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Escape);
            continue;
        }
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == answer) {
                button->click();
            }
        }
    }
}

QString shownValue(const QWidget& parent, const QString& name) {
    const auto* label = parent.findChild<QLabel*>(name);
    return label->toolTip().isEmpty() ? label->text() : label->toolTip();
}

void clickButton(QWidget& parent, const QString& buttonName) {
    QTest::mouseClick(parent.findChild<QPushButton*>(buttonName), Qt::LeftButton);
}

bool useModally(QDialog& dialog, const std::function<void()>& whileShown) {
    // Once it is the active window, as the user meets it: the window system
    // makes it so an event after it shows.
    WhenReady user([&] { return dialog.isActiveWindow(); },
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

namespace testing_helpers {

LinkRows::LinkRows(const QWidget& dialog)
    : view(dialog.findChild<QListView*>(QStringLiteral("checkBoxesPad"))) {}

int LinkRows::count() const {
    return view->model()->rowCount();
}

QString LinkRows::text(int row) const {
    return view->model()->index(row, 0).data().toString();
}

bool LinkRows::isChecked(int row) const {
    return view->model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

bool LinkRows::isRed(int row) const {
    return view->model()->index(row, 0).data(Qt::ForegroundRole).value<QColor>() ==
           QColor(255, 0, 0);
}

QRect LinkRows::rect(int row) const {
    return view->visualRect(view->model()->index(row, 0));
}

void LinkRows::click(int row, Qt::KeyboardModifiers modifiers) const {
    view->scrollTo(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                      rect(row).topLeft() + QPoint(6, 10));
}

QStringList LinkRows::texts() const {
    QStringList all;
    for (int row = 0; row < count(); ++row) {
        all << text(row);
    }
    return all;
}

} // namespace testing_helpers
