#include "widgets/ElidedLabel.h"

namespace tolvenka {

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent)
    : QLabel(parent) {
    // As wide as it is placed: the text is cut to the width, not the other
    // way round.
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
    setFullText(text);
}

void ElidedLabel::setFullText(const QString& text) {
    wholeText = text;
    // A screen reader reads the whole text, not what fits.
    setAccessibleName(wholeText);
    elide();
}

void ElidedLabel::setDescription(const QString& description) {
    if (description == about) {
        return;
    }
    about = description;
    setAccessibleDescription(about);
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    const QString shown = fontMetrics().elidedText(wholeText, Qt::ElideMiddle, width());
    setText(shown);
    QStringList tip;
    if (shown != wholeText) {
        tip << wholeText;
    }
    if (!about.isEmpty()) {
        tip << about;
    }
    setToolTip(tip.join(QLatin1Char('\n')));
}

} // namespace tolvenka
