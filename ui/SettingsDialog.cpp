#include "ui/SettingsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tolvenka {

namespace {

QTimeEdit* timeEdit(int minuteOfDay, const char* name, const char* spokenName, QWidget* parent) {
    auto* edit = new QTimeEdit(QTime(minuteOfDay / 60, minuteOfDay % 60), parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setAccessibleName(QString::fromUtf8(spokenName));
    edit->setDisplayFormat(QStringLiteral("HH:mm"));
    // The hours go round: 23:59 is followed by 00:00.
    edit->setWrapping(true);
    return edit;
}

int minuteOf(const QTimeEdit& edit) {
    return edit.time().hour() * 60 + edit.time().minute();
}

} // namespace

SettingsDialog::SettingsDialog(const DownloadHours& hours, bool closesToTray, bool offersTray,
                               QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Настройки"));
    auto* layout = new QVBoxLayout(this);

    auto* scheduleRow = new QHBoxLayout;
    scheduleOn = new QCheckBox(QString::fromUtf8("Загружать только с"), this);
    scheduleOn->setObjectName(QStringLiteral("scheduleOn"));
    scheduleOn->setChecked(hours.enabled);
    from = timeEdit(hours.from, "scheduleFrom", "Загружать с", this);
    to = timeEdit(hours.to, "scheduleTo", "Загружать до", this);
    auto* until = new QLabel(QString::fromUtf8("до"), this);
    until->setBuddy(to);
    for (QWidget* time : {static_cast<QWidget*>(from), static_cast<QWidget*>(to)}) {
        time->setEnabled(hours.enabled);
        connect(scheduleOn, &QCheckBox::toggled, time, &QWidget::setEnabled);
    }
    scheduleRow->addWidget(scheduleOn);
    scheduleRow->addWidget(from);
    scheduleRow->addWidget(until);
    scheduleRow->addWidget(to);
    scheduleRow->addStretch(1);
    layout->addLayout(scheduleRow);

    toTray = new QCheckBox(QString::fromUtf8("Сворачивать в трей при закрытии"), this);
    toTray->setObjectName(QStringLiteral("closeToTray"));
    toTray->setChecked(closesToTray);
    toTray->setVisible(offersTray);
    layout->addWidget(toTray);
    layout->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* accept = buttons->addButton(QString::fromUtf8("ОК"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromUtf8("Отмена"), QDialogButtonBox::RejectRole);
    accept->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setSizeGripEnabled(false);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

DownloadHours SettingsDialog::downloadHours() const {
    return DownloadHours{scheduleOn->isChecked(), minuteOf(*from), minuteOf(*to)};
}

bool SettingsDialog::closesToTray() const {
    return toTray->isChecked();
}

} // namespace tolvenka
