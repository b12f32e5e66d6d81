#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QDialog;
class QWidget;

namespace testing_helpers {

// Runs an action on the GUI thread once a condition holds, from whichever
// event loop is running then, modal ones included. That is how a test acts
// as the user of a dialog whose exec() it is blocked in.
class WhenReady {
public:
    WhenReady(std::function<bool()> ready, std::function<void()> action);
    bool fired() const { return hasFired; }

private:
    void poll();

    std::function<bool()> ready;
    std::function<void()> action;
    bool hasFired = false;
    QTimer timer;
};

// The whole text of the label named `name` among `parent`'s children: its
// tooltip when the label shows the text cut short, else what it shows.
QString shownValue(const QWidget& parent, const QString& name);

// Clicks the push button named `buttonName` among `parent`'s children.
void clickButton(QWidget& parent, const QString& buttonName);

// Shows `dialog` modally, runs `whileShown` from inside its event loop once
// the dialog is active, and closes it with its button named "cancel" unless
// `whileShown` closed it. Returns whether `whileShown` ran.
bool useModally(QDialog& dialog, const std::function<void()>& whileShown);

// Presses OK on every message box with an OK button that shows, and keeps
// their texts (UTF-8).
class MessageBoxCloser {
public:
    MessageBoxCloser();

    std::vector<std::string> texts;
    // Runs as each message box shows, before it is closed.
    std::function<void()> onShown;

private:
    void poll();

    QTimer timer;
};

// Answers every question that shows (a message box without an OK button)
// with the button captioned `answer`, or with Escape while `answer` is
// empty, and keeps what was asked.
class QuestionAnswerer {
public:
    explicit QuestionAnswerer(QString answer = {});

    struct Question {
        QString text;
        QString defaultButton;
        QString escapeButton;
    };
    std::vector<Question> asked;
    QString answer;

private:
    void poll();

    QTimer timer;
};

} // namespace testing_helpers

class QListView;

namespace testing_helpers {

// The confirmation dialog's list of links, read and clicked as the user
// would: one row per link, with its check mark, colour and caption.
class LinkRows {
public:
    explicit LinkRows(const QWidget& dialog);

    int count() const;
    QString text(int row) const;
    bool isChecked(int row) const;
    bool isRed(int row) const;
    // Where the row is drawn, in the list's viewport.
    QRect rect(int row) const;
    // Clicks the row's check mark, with `modifiers` held.
    void click(int row, Qt::KeyboardModifiers modifiers = {}) const;
    QStringList texts() const;

    QListView* view;
};

} // namespace testing_helpers
