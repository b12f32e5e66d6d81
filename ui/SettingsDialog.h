#pragma once

#include "ui/DownloadHours.h"

#include <QDialog>

class QCheckBox;
class QTimeEdit;

namespace tolvenka {

// "Настройки": the hours of the day downloads may run in ("Загружать только
// с 01:00 до 07:00") and, where the desktop has a tray, whether closing the
// window leaves the program there ("Сворачивать в трей при закрытии"). It
// shows what it is given and, once accepted, tells what was chosen; the
// choices that seldom change live here, so that the window keeps its height
// for the list.
//
// The controls are named "scheduleOn", "scheduleFrom", "scheduleTo" and
// "closeToTray".
class SettingsDialog : public QDialog {
public:
    SettingsDialog(const DownloadHours& hours, bool closesToTray, bool offersTray,
                   QWidget* parent = nullptr);

    DownloadHours downloadHours() const;
    bool closesToTray() const;

private:
    QCheckBox* scheduleOn;
    QTimeEdit* from;
    QTimeEdit* to;
    QCheckBox* toTray;
};

} // namespace tolvenka
