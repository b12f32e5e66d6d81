#include "ui/WindowPlacement.h"

#include "widgets/ScreenPlacement.h"

#include <QLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace tolvenka {

WindowPlacement::WindowPlacement(QWidget& window, const QRect& designed, QWidget& wrappingRows,
                                 std::function<void()> placed)
    : window(window)
    , designed(designed)
    , wrappingRows(wrappingRows)
    , placed(std::move(placed)) {}

void WindowPlacement::place() {
    const QRect available = availableArea(window);
    const QMargins frame = windowFrame(window);
    placedWithFrame = frame;
    const QSize room = available.marginsRemoved(frame).size();
    window.setMinimumSize(0, 0);
    // The rows stay as few as the screen's width allows.
    QSize least = window.layout()->totalMinimumSize();
    least.setWidth(
        std::min(std::max(least.width(), wrappingRows.sizeHint().width()), room.width()));
    least.rheight() +=
        wrappingRows.heightForWidth(least.width()) - wrappingRows.minimumSizeHint().height();
    least = least.boundedTo(room);
    window.setMinimumSize(least);
    window.setGeometry(fitOnScreen(designed, least, available, frame));
    window.layout()->activate();
    if (placed) {
        placed();
    }
}

void WindowPlacement::follow(QEvent::Type type) {
    if (!settled && window.isVisible() &&
        (type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowActivate)) {
        settle(type == QEvent::WindowActivate);
    }
}

void WindowPlacement::settle(bool activated) {
    const QWindow* handle = window.windowHandle();
    const bool framed = handle != nullptr && !handle->frameMargins().isNull();
    if (!framed && !activated) {
        return;
    }
    settled = true;
    if (windowFrame(window) != placedWithFrame ||
        !availableArea(window).contains(window.frameGeometry())) {
        place();
    }
}

} // namespace tolvenka
