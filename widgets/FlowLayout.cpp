#include "widgets/FlowLayout.h"

#include <QWidget>
#include <algorithm>

namespace tolvenka {

FlowLayout::FlowLayout(QWidget* parent, int spacing)
    : QLayout(parent)
    , gap(spacing) {}

FlowLayout::~FlowLayout() {
    for (QLayoutItem* item : items) {
        delete item;
    }
}

void FlowLayout::addItem(QLayoutItem* item) {
    items.push_back(item);
    invalidate();
}

int FlowLayout::count() const {
    return static_cast<int>(items.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const {
    return index >= 0 && index < count() ? items[static_cast<std::size_t>(index)] : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index) {
    if (index < 0 || index >= count()) {
        return nullptr;
    }
    QLayoutItem* taken = items[static_cast<std::size_t>(index)];
    items.erase(items.begin() + index);
    invalidate();
    return taken;
}

Qt::Orientations FlowLayout::expandingDirections() const {
    return {};
}

bool FlowLayout::hasHeightForWidth() const {
    return true;
}

int FlowLayout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::minimumSize() const {
    QSize widest;
    for (const QLayoutItem* item : items) {
        if (!item->isEmpty()) {
            widest = widest.expandedTo(item->minimumSize());
        }
    }
    const QMargins margins = contentsMargins();
    return widest.grownBy(margins);
}

QSize FlowLayout::sizeHint() const {
    int width = 0;
    int height = 0;
    for (const QLayoutItem* item : items) {
        if (!item->isEmpty()) {
            const QSize hint = item->sizeHint();
            width += (width > 0 ? gap : 0) + hint.width();
            height = std::max(height, hint.height());
        }
    }
    const QMargins margins = contentsMargins();
    return {width + margins.left() + margins.right(), height + margins.top() + margins.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int FlowLayout::arrange(const QRect& rect, bool place) const {
    const QRect room = rect.marginsRemoved(contentsMargins());
    int rowTop = room.top();
    std::size_t rowStart = 0;
    while (rowStart < items.size()) {
        // The items that fit in this row; always one at least.
        int rowWidth = 0;
        int rowHeight = 0;
        std::size_t rowEnd = rowStart;
        for (; rowEnd < items.size(); ++rowEnd) {
            if (items[rowEnd]->isEmpty()) {
                continue;
            }
            const QSize hint = items[rowEnd]->sizeHint();
            const int widthWith = rowWidth + (rowWidth > 0 ? gap : 0) + hint.width();
            if (rowWidth > 0 && widthWith > room.width()) {
                break;
            }
            rowWidth = widthWith;
            rowHeight = std::max(rowHeight, hint.height());
        }
        if (place) {
            int left = room.left();
            for (std::size_t i = rowStart; i < rowEnd; ++i) {
                if (items[i]->isEmpty()) {
                    continue;
                }
                const QSize hint = items[i]->sizeHint();
                items[i]->setGeometry(
                    QRect(QPoint(left, rowTop + (rowHeight - hint.height()) / 2), hint));
                left += hint.width() + gap;
            }
        }
        if (rowHeight > 0) {
            rowTop += rowHeight + gap;
        }
        rowStart = rowEnd;
    }
    const int used = rowTop > room.top() ? rowTop - gap - room.top() : 0;
    return used + contentsMargins().top() + contentsMargins().bottom();
}

} // namespace tolvenka
