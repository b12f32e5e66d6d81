#include "ui/CaretRest.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>

namespace tolvenka {

CaretRest::CaretRest(int restAfterMs, QObject* parent)
    : QObject(parent)
    , flashTime(QGuiApplication::styleHints()->cursorFlashTime()) {
    idle.setSingleShot(true);
    idle.setInterval(restAfterMs);
    connect(&idle, &QTimer::timeout, this, [this] { rest(); });
    QCoreApplication::instance()->installEventFilter(this);
    idle.start();
}

CaretRest::~CaretRest() {
    wake();
}

bool CaretRest::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::InputMethod:
        wake();
        idle.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CaretRest::rest() {
    resting = true;
    // A flash time of 0 shows the caret steadily.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
}

void CaretRest::wake() {
    if (resting) {
        resting = false;
        QGuiApplication::styleHints()->setCursorFlashTime(flashTime);
    }
}

} // namespace tolvenka
