#pragma once

#include <QAbstractListModel>
#include <string>
#include <vector>

namespace tolvenka {

// The links of the confirmation dialog: one checkable row per link. A row
// whose file the service no longer has is unchecked and drawn in red; one
// whose file arrived before says so after its link. The
// model holds the links as given (CP1251) and shows them readable; the view
// asks for the rows it paints, so a hundred thousand links cost no widgets.
// It keeps count of the checked rows, so the count costs nothing however
// many rows there are, and it changes a run of rows with one announcement,
// not one per row.
class LinkListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    // Appends one row per link, in order, checked or not.
    void append(const std::vector<std::string>& links, bool checked = true);
    // Appends one row per link, in order, checked where `checked` says so.
    void append(const std::vector<std::string>& links, const std::vector<bool>& checked);
    // Which rows' files arrived before, one flag a row from row `first` on:
    // a row that turns so is unchecked, and one that no longer is, checked
    // again, unless it came unchecked or its file is missing.
    void setArrived(int first, const std::vector<bool>& arrived);
    void clear();

    int count() const { return static_cast<int>(rows.size()); }
    int checkedCount() const { return checkedRows; }
    const std::string& link(int row) const { return rows[static_cast<std::size_t>(row)].link; }
    bool isChecked(int row) const { return rows[static_cast<std::size_t>(row)].checked; }
    bool hasArrived(int row) const { return rows[static_cast<std::size_t>(row)].arrived; }
    // Checks or unchecks rows `first` to `last`, both included and valid.
    void setChecked(int first, int last, bool checked);
    void setAllChecked(bool checked);
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
        bool arrived = false;
        // Appended unchecked: its link is queued already.
        bool cameUnchecked = false;
    };

    void check(Row& row, bool checked);

    std::vector<Row> rows;
    int checkedRows = 0;
};

} // namespace tolvenka
