#include "ui/OwnClipboardText.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tolvenka {

namespace {

QString& lastPut() {
    static QString text;
    return text;
}

} // namespace

void OwnClipboardText::put(const QString& text) {
    // Known before the clipboard tells of the change, which it may do at once.
    lastPut() = text;
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

bool OwnClipboardText::isOwn(const QString& text) {
    return QGuiApplication::clipboard()->ownsClipboard() ||
           (!lastPut().isNull() && text == lastPut());
}

} // namespace tolvenka
