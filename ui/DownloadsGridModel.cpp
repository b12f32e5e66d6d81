#include "ui/DownloadsGridModel.h"

#include "engine/Download.h"
#include "queue/DownloadsSet.h"
#include "widgets/WidgetText.h"

namespace tolvenka {

void DownloadsGridModel::rebuild(const DownloadsSet* set) {
    beginResetModel();
    rows.clear();
    if (set != nullptr) {
        rows.reserve(static_cast<std::size_t>(set->count()) + 1);
        for (const Download* download : *set) {
            rows.push_back(Row{download->getLink(), download->getStateCaption()});
        }
    }
    rows.push_back(Row{});
    endResetModel();
}

int DownloadsGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int DownloadsGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant DownloadsGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() ||
        index.row() >= static_cast<int>(rows.size())) {
        return {};
    }
    const Row& row = rows[static_cast<std::size_t>(index.row())];
    return toQString(index.column() == 0 ? row.link : row.state);
}

QVariant DownloadsGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return {};
    }
    return section == 0 ? QString::fromUtf8("Загрузка") : QString::fromUtf8("Состояние");
}

} // namespace tolvenka
