#pragma once

#include <QEvent>
#include <QMargins>
#include <QRect>
#include <functional>

class QWidget;

namespace tolvenka {

// Places a main window on its screen: at its designed bounds where they
// fit, else moved and shrunk into the screen's available area, never below
// what its controls need in the present font, nor beyond the screen. The
// window is placed before the window system has framed it, with a usual
// frame assumed; once it is framed and placed (or shown unframed), it is
// placed once more where its frame is not the one assumed, or where it runs
// off the available area (a place the window system chose itself): a
// thinner frame leaves room for more of the list, a taller one would push
// it off. After that it goes where the user takes it.
//
// GUI thread.
class WindowPlacement {
public:
    // `wrappingRows` is a part of the window whose rows wrap, and take more
    // height, where the window is narrower than it asks; `placed` is called
    // once the window is laid out at its place.
    WindowPlacement(QWidget& window, const QRect& designed, QWidget& wrappingRows,
                    std::function<void()> placed);

    void place();
    // The window's events, as the window got them.
    void follow(QEvent::Type type);

private:
    void settle(bool activated);

    QWidget& window;
    const QRect designed;
    QWidget& wrappingRows;
    std::function<void()> placed;
    bool settled = false;
    QMargins placedWithFrame;
};

} // namespace tolvenka
