#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

namespace tolvenka {

class DownloadsSet;

// The rows of the downloads grid: each download's link and state caption as
// they stood at the last rebuild, then one empty row. The model keeps copies
// of the texts, never the downloads, so a download deleted between two
// rebuilds cannot be read; texts become QStrings only for the rows painted.
class DownloadsGridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    // One model reset: the rows of `set`, or none for null.
    void rebuild(const DownloadsSet* set);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Row {
        std::string link;
        std::string state;
    };
    std::vector<Row> rows{Row{}};
};

} // namespace tolvenka
