#pragma once

#include <QAbstractListModel>
#include <string>
#include <vector>

namespace tolvenka {

// The links of the confirmation dialog: one checkable row per link, checked
// at first. A row whose file the service no longer has is unchecked and
// drawn in red. The model holds the links as given (CP1251); the view asks
// for the rows it paints, so a hundred thousand links cost no widgets.
class LinkListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    // Appends one checked row per link, in order.
    void append(const std::vector<std::string>& links);
    void clear();

    int count() const { return static_cast<int>(rows.size()); }
    const std::string& link(int row) const { return rows[static_cast<std::size_t>(row)].link; }
    bool isChecked(int row) const { return rows[static_cast<std::size_t>(row)].checked; }
    void markMissing(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        std::string link;
        bool checked = true;
        bool missing = false;
    };
    std::vector<Row> rows;
};

} // namespace tolvenka
