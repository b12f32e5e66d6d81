#pragma once

#include <QObject>
#include <functional>

class QPlainTextEdit;
class QSplitter;
class QTimer;

namespace tolvenka {

class UserSettings;

// The height of the input box above the divider, so that the list gets the
// room the box does not need: a few lines while the box is empty, more as
// lines are typed or pasted, up to the room that leaves the list what it
// needs. Where the user drags the divider, the box keeps the place chosen
// as its least height, now and at the next start (in the settings).
//
// GUI thread.
class InputBoxSizing : public QObject {
public:
    // `input` is the first widget of `splitter`, the list's part the second;
    // `listNeeds` is the height that part needs for the rows it should show
    // at the least.
    InputBoxSizing(QPlainTextEdit& input, QSplitter& splitter, UserSettings& settings,
                   std::function<int()> listNeeds);

    // The height that shows `lines` lines of text, a scroll bar under them
    // included where a line is wider than the box.
    int heightShowing(int lines) const;
    // The least height: two lines and the scroll bar a long line brings.
    int leastHeight() const;
    // Sets the divider for the text the box holds now.
    void fit();

private:
    // Lines the box shows at the least: the user's, or a few.
    int restingLines() const;
    int heightShowing(int lines, bool withScrollBar) const;
    void dragged();
    void keepDraggedPlace();

    QPlainTextEdit& input;
    QSplitter& splitter;
    UserSettings& settings;
    std::function<int()> listNeeds;
    QTimer* placeToKeep;
    // As the user dragged the divider, in lines of text; 0 until then.
    int chosenLines;
};

} // namespace tolvenka
