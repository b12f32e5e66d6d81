#pragma once

#include <QStyledItemDelegate>

namespace tolvenka {

// Draws a cell that has a share done (the model's progress role, in
// thousandths) as a progress bar with the cell's text on it; other cells as
// usual, a text too long for them cut at its end, where a reason goes on.
class ProgressCellDelegate : public QStyledItemDelegate {
public:
    ProgressCellDelegate(int progressRole, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    const int progressRole;
};

} // namespace tolvenka
