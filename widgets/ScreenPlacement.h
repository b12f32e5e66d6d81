#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

// Placing windows so that they fit the screen, frame included.
namespace tolvenka {

// Where a window of client area `designed` goes in a screen's `available`
// area when the window system frames it with `frame`: where designed if the
// framed window fits there; otherwise moved, and if need be shrunk, until
// the whole frame (the caption bar and its close box with it) is inside,
// though never below `least`. Returns the client area.
QRect fitOnScreen(const QRect& designed, const QSize& least, const QRect& available,
                  const QMargins& frame);

// The frame the window system draws around the window `window`. Until it
// has been shown the frame may not be known, and then a usual caption bar
// and border are assumed.
QMargins windowFrame(const QWidget& window);

// The available area (without panels and docks) of the screen the window
// `window` is on.
QRect availableArea(const QWidget& window);

// fitOnScreen for the window `window` on its screen, no smaller than its
// layout allows.
QRect fittedOnScreen(const QWidget& window, const QRect& designed);

} // namespace tolvenka
