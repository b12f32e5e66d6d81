#pragma once

#include <QLabel>

namespace tolvenka {

// A one-line label for values that may be longer than it is wide, such as
// links and paths: the text is cut in the middle, where the least telling
// part of a path is, and the whole of it shows as a tooltip. In a layout it
// takes the width it is given, whatever its text.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(const QString& text, QWidget* parent);

    void setFullText(const QString& text);
    const QString& fullText() const { return wholeText; }
    // What the value means beyond its text (why a download failed, say):
    // shown in the tooltip and read out by screen readers.
    void setDescription(const QString& description);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString wholeText;
    QString about;
};

} // namespace tolvenka
