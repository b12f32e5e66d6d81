#pragma once

#include <QLayout>
#include <vector>

namespace tolvenka {

// Lays its widgets out side by side, left to right, each at the size it
// asks for, centred on the height of their row, and goes on in a new row
// below where the width runs out: a row of buttons and options that a
// narrow screen or a large font would otherwise cut. It hints at one row;
// its least width is that of its widest item, and for a width it asks for
// the height its rows take there.
class FlowLayout : public QLayout {
public:
    FlowLayout(QWidget* parent, int spacing);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;

    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Lays the items out in `rect` (margins included), only measuring unless
    // `place`; returns the height used, margins included.
    int arrange(const QRect& rect, bool place) const;

    std::vector<QLayoutItem*> items;
    int gap;
};

} // namespace tolvenka
