#pragma once

#include <QWidget>

class QCheckBox;
class QSpinBox;
class QTimer;

namespace http {
class SpeedLimit;
}

namespace tolvenka {

class ClipboardWatch;
class UserSettings;

// The row under the buttons: "Скорость не выше, кБ/с:" with its box, and
// "Следить за буфером обмена". Both start as the settings have them, apply
// at once (a limit typed once typing rests for half a second), and are
// written into the settings; the limit once the arrows rest, not at every
// step of a held arrow key.
//
// The controls are named "speedLimit" and "watchClipboard".
class ComfortControls : public QWidget {
public:
    ComfortControls(UserSettings& settings, http::SpeedLimit& limit, ClipboardWatch& watch,
                    QWidget* parent = nullptr);

    QSpinBox* speedBox() const { return speedLimit; }
    QCheckBox* watchBox() const { return watchClipboard; }

    // Writes the limit shown into the settings now, if it changed: the
    // program is closing.
    void keepSpeedLimit();

private:
    void applySpeedLimit(int kilobytesPerSecond);

    UserSettings& settings;
    http::SpeedLimit& limit;
    QSpinBox* speedLimit;
    QCheckBox* watchClipboard;
    QTimer* limitToKeep;
    QTimer* typingRest;
};

} // namespace tolvenka
