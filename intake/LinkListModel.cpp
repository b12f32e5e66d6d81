#include "intake/LinkListModel.h"

#include "widgets/LinkText.h"

#include <QColor>
#include <QDateTime>
#include <algorithm>
#include <limits>

namespace tolvenka {

namespace {

QString arrivedText(std::int64_t arrivedAt) {
    const QString text = QString::fromUtf8(" — уже загружен");
    if (arrivedAt <= 0) {
        return text;
    }
    return text + u' ' +
           QDateTime::fromSecsSinceEpoch(arrivedAt).toString(QStringLiteral("dd.MM.yyyy"));
}

} // namespace

void LinkListModel::append(const std::vector<std::string>& links, bool checked) {
    append(links, std::vector<bool>(links.size(), checked));
}

void LinkListModel::append(const std::vector<std::string>& links,
                           const std::vector<bool>& checked) {
    if (links.empty()) {
        return;
    }
    beginInsertRows({}, count(), count() + static_cast<int>(links.size()) - 1);
    rows.reserve(rows.size() + links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
        rows.push_back(Row{.link = links[i], .checked = checked[i], .cameUnchecked = !checked[i]});
        checkedRows += checked[i] ? 1 : 0;
    }
    endInsertRows();
}

void LinkListModel::setArrived(int first, const std::vector<EarlierArrival>& arrived) {
    int firstChanged = -1;
    int lastChanged = -1;
    for (std::size_t i = 0; i < arrived.size() && first + static_cast<int>(i) < count(); ++i) {
        const int at = first + static_cast<int>(i);
        Row& row = rows[static_cast<std::size_t>(at)];
        const bool wasArrived = row.arrived;
        const std::uint32_t wasAt = row.arrivedAt;
        if (wasArrived != arrived[i].arrived) {
            arrivedUnchecked += (arrived[i].arrived ? 1 : -1) * (row.checked ? 0 : 1);
            row.arrived = arrived[i].arrived;
            check(row, !row.arrived && !row.missing && !row.cameUnchecked);
        }
        row.arrivedAt = arrived[i].arrived
                            ? static_cast<std::uint32_t>(std::clamp<std::int64_t>(
                                  arrived[i].at, 0, std::numeric_limits<std::uint32_t>::max()))
                            : 0;
        if (wasArrived != row.arrived || wasAt != row.arrivedAt) {
            firstChanged = firstChanged < 0 ? at : firstChanged;
            lastChanged = at;
        }
    }
    if (firstChanged >= 0) {
        emit dataChanged(index(firstChanged), index(lastChanged),
                         {Qt::DisplayRole, Qt::ToolTipRole, Qt::CheckStateRole});
    }
}

void LinkListModel::clear() {
    beginResetModel();
    std::vector<Row>().swap(rows);
    checkedRows = 0;
    arrivedUnchecked = 0;
    endResetModel();
}

void LinkListModel::check(Row& row, bool checked) {
    if (row.checked != checked) {
        row.checked = checked;
        checkedRows += checked ? 1 : -1;
        arrivedUnchecked += row.arrived ? (checked ? -1 : 1) : 0;
    }
}

void LinkListModel::setChecked(int first, int last, bool checked) {
    for (int row = first; row <= last; ++row) {
        check(rows[static_cast<std::size_t>(row)], checked);
    }
    emit dataChanged(index(first), index(last), {Qt::CheckStateRole});
}

void LinkListModel::checkAllToFetch() {
    if (rows.empty()) {
        return;
    }
    for (Row& row : rows) {
        if (!row.arrived && !row.missing) {
            check(row, true);
        }
    }
    emit dataChanged(index(0), index(count() - 1), {Qt::CheckStateRole});
}

void LinkListModel::uncheckAll() {
    if (!rows.empty()) {
        setChecked(0, count() - 1, false);
    }
}

void LinkListModel::markMissing(int row) {
    Row& marked = rows[static_cast<std::size_t>(row)];
    check(marked, false);
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
        return row.arrived ? readableLink(row.link) + arrivedText(row.arrivedAt)
                           : readableLink(row.link);
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
    setChecked(index.row(), index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags LinkListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

} // namespace tolvenka
