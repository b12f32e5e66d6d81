#include "widgets/ScreenPlacement.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace tolvenka {

namespace {

// A caption bar and border as most desktops draw them.
constexpr QMargins usualFrame(4, 40, 4, 4);

// `framed` moved into `available` as far as its size allows; a frame too
// large keeps its top left corner inside, where the caption bar begins.
QRect movedInside(QRect framed, const QRect& available) {
    if (framed.right() > available.right()) {
        framed.moveRight(available.right());
    }
    if (framed.bottom() > available.bottom()) {
        framed.moveBottom(available.bottom());
    }
    if (framed.left() < available.left()) {
        framed.moveLeft(available.left());
    }
    if (framed.top() < available.top()) {
        framed.moveTop(available.top());
    }
    return framed;
}

} // namespace

QRect fitOnScreen(const QRect& designed, const QSize& least, const QRect& available,
                  const QMargins& frame) {
    const QSize room = available.marginsRemoved(frame).size();
    const QSize size = designed.size().boundedTo(room).expandedTo(least);
    const QRect framed(designed.topLeft() - QPoint(frame.left(), frame.top()), size.grownBy(frame));
    return movedInside(framed, available).marginsRemoved(frame);
}

QMargins windowFrame(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    if (handle != nullptr && !handle->frameMargins().isNull()) {
        return handle->frameMargins();
    }
    return usualFrame;
}

QRect availableArea(const QWidget& window) {
    return window.screen()->availableGeometry();
}

QRect fittedOnScreen(const QWidget& window, const QRect& designed) {
    return fitOnScreen(designed, window.minimumSizeHint(), availableArea(window),
                       windowFrame(window));
}

} // namespace tolvenka
