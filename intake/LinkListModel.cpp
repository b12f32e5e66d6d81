#include "intake/LinkListModel.h"

#include "widgets/WidgetText.h"

#include <QColor>

namespace tolvenka {

void LinkListModel::append(const std::vector<std::string>& links) {
    if (links.empty()) {
        return;
    }
    beginInsertRows({}, count(), count() + static_cast<int>(links.size()) - 1);
    rows.reserve(rows.size() + links.size());
    for (const std::string& link : links) {
        rows.push_back(Row{link});
    }
    endInsertRows();
}

void LinkListModel::clear() {
    beginResetModel();
    std::vector<Row>().swap(rows);
    endResetModel();
}

void LinkListModel::markMissing(int row) {
    Row& marked = rows[static_cast<std::size_t>(row)];
    marked.checked = false;
    marked.missing = true;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::CheckStateRole, Qt::ForegroundRole});
}

int LinkListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant LinkListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) {
        return {};
    }
    const Row& row = rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return toQString(row.link);
    case Qt::CheckStateRole:
        return row.checked ? Qt::Checked : Qt::Unchecked;
    case Qt::ForegroundRole:
        return row.missing ? QVariant(QColor(255, 0, 0)) : QVariant();
    default:
        return {};
    }
}

bool LinkListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= count()) {
        return false;
    }
    rows[static_cast<std::size_t>(index.row())].checked = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags LinkListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

} // namespace tolvenka
