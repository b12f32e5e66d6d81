#pragma once

#include <QWidget>
#include <vector>

class QCheckBox;
class QPushButton;

namespace http {
class SpeedLimit;
}

namespace tolvenka {

class ClipboardWatch;
class ComfortControls;
class UserSettings;

// The rows between the input box and the list: "Добавить", "Продолжить
// загрузку", "Остановить загрузку", "Удалять загруженные", "История…" and
// "Настройки…" side by side, each button as wide as designed or as its caption needs;
// below them the speed limit and the watch on the clipboard, which would not
// fit beside them at the designed width. What a row cannot hold on a narrow
// screen or in a large font goes on below. The owner connects the controls.
//
// The controls are named "add", "start", "stop", "deleteWhenComplete",
// "history" and "settings"; the speed limit and the watch as ComfortControls names them.
class CommandRows : public QWidget {
public:
    CommandRows(UserSettings& settings, http::SpeedLimit& limit, ClipboardWatch& watch,
                QWidget* parent);

    QPushButton& addButton() const { return *add; }
    QPushButton& startButton() const { return *start; }
    QPushButton& stopButton() const { return *stop; }
    QPushButton& historyButton() const { return *history; }
    QPushButton& settingsButton() const { return *settings; }
    QCheckBox& deleteWhenCompleteBox() const { return *deleteWhenComplete; }
    ComfortControls& comfortControls() const { return *comfort; }
    // The controls that change the queue or its options, in the order Tab
    // walks them.
    std::vector<QWidget*> queueControls() const;
    // The first and the last control Tab reaches here.
    QWidget* firstInTabOrder() const;
    QWidget* lastInTabOrder() const;

private:
    QPushButton* add;
    QPushButton* start;
    QPushButton* stop;
    QCheckBox* deleteWhenComplete;
    QPushButton* history;
    QPushButton* settings;
    ComfortControls* comfort;
};

} // namespace tolvenka
