#include "ui/InputBoxSizing.h"

#include "ui/UserSettings.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace tolvenka {

namespace {

// An empty box: a line to type in and one to spare; it grows with the text.
constexpr int leastLineCount = 2;
constexpr int placeKeptAfterMs = 500;

} // namespace

InputBoxSizing::InputBoxSizing(QPlainTextEdit& input, QSplitter& splitter, UserSettings& settings,
                               std::function<int()> listNeeds)
    : QObject(&splitter)
    , input(input)
    , splitter(splitter)
    , settings(settings)
    , listNeeds(std::move(listNeeds))
    , placeToKeep(new QTimer(this))
    , chosenLines(settings.inputLines()) {
    placeToKeep->setSingleShot(true);
    placeToKeep->setInterval(placeKeptAfterMs);
    connect(placeToKeep, &QTimer::timeout, this, [this] { keepDraggedPlace(); });
    // Only the user moves the divider by hand; the program sets its sizes.
    connect(&splitter, &QSplitter::splitterMoved, this, [this] { dragged(); });
    connect(input.document(), &QTextDocument::blockCountChanged, this, [this] { fit(); });
}

int InputBoxSizing::heightShowing(int lines) const {
    // A line wider than the box brings the scroll bar, which takes a line's
    // room of its own.
    const bool scrolls = input.document()->size().width() + 2 * input.document()->documentMargin() >
                         input.viewport()->width();
    return heightShowing(lines, scrolls);
}

int InputBoxSizing::leastHeight() const {
    return heightShowing(leastLineCount, true);
}

int InputBoxSizing::heightShowing(int lines, bool withScrollBar) const {
    const int frame = 2 * input.frameWidth();
    const int margins = 2 * static_cast<int>(std::ceil(input.document()->documentMargin()));
    return lines * input.fontMetrics().lineSpacing() + margins + frame +
           (withScrollBar ? input.horizontalScrollBar()->sizeHint().height() : 0);
}

int InputBoxSizing::restingLines() const {
    return std::max(chosenLines, leastLineCount);
}

// The box grows with its text up to where the list would show less than it
// needs, but never shrinks below its resting height for it.
void InputBoxSizing::fit() {
    const int room = splitter.height() - splitter.handleWidth();
    const int resting = heightShowing(restingLines());
    const int wanted = heightShowing(std::max(input.blockCount(), restingLines()));
    const int height = std::max(resting, std::min(wanted, room - listNeeds()));
    if (height != input.height() || splitter.sizes().value(1) != room - height) {
        splitter.setSizes({height, std::max(0, room - height)});
    }
}

// The place is taken in whole lines, so that it holds in another font, and
// written once the divider rests.
void InputBoxSizing::dragged() {
    const int lineSpacing = input.fontMetrics().lineSpacing();
    const int text = input.height() - heightShowing(0, false);
    chosenLines = std::max((text + lineSpacing / 2) / lineSpacing, leastLineCount);
    placeToKeep->start();
}

void InputBoxSizing::keepDraggedPlace() {
    settings.setInputLines(chosenLines);
}

} // namespace tolvenka
