#pragma once

#include "intake/ArrivedFiles.h"

#include <QAbstractListModel>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvenka {

// The links of the confirmation dialog: one checkable row per link. A row
// whose file the service no longer has is unchecked and drawn in red; one
// whose file arrived before says so after its link, with the date where it
// is known ("— уже загружен 12.03.2025"). The
// model holds the links as given (CP1251) and shows them readable; the view
// asks for the rows it paints, so a hundred thousand links cost no widgets.
// It keeps count of the checked rows and of the arrived ones left
// unchecked, so the counts cost nothing however many rows there are, and it
// changes a run of rows with one announcement, not one per row.
class LinkListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    // Appends one row per link, in order, checked or not.
    void append(const std::vector<std::string>& links, bool checked = true);
    // Appends one row per link, in order, checked where `checked` says so.
    void append(const std::vector<std::string>& links, const std::vector<bool>& checked);
    // Which rows' files arrived before, one a row from row `first` on: a
    // row that turns so is unchecked, and one that no longer is, checked
    // again, unless it came unchecked or its file is missing.
    void setArrived(int first, const std::vector<EarlierArrival>& arrived);
    void clear();

    int count() const { return static_cast<int>(rows.size()); }
    int checkedCount() const { return checkedRows; }
    // Rows whose files arrived before and that are not checked.
    int arrivedUncheckedCount() const { return arrivedUnchecked; }
    const std::string& link(int row) const { return rows[static_cast<std::size_t>(row)].link; }
    bool isChecked(int row) const { return rows[static_cast<std::size_t>(row)].checked; }
    bool hasArrived(int row) const { return rows[static_cast<std::size_t>(row)].arrived; }
    // Checks or unchecks rows `first` to `last`, both included and valid.
    void setChecked(int first, int last, bool checked);
    // Checks every row but those whose files arrived before or are
    // missing, which stay as they are.
    void checkAllToFetch();
    void uncheckAll();
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
        // Seconds since the epoch, 0 when not known: four bytes keep a row
        // as small as it was, and a hundred thousand of them are walked at
        // each "Отметить все"; they last until 2106.
        std::uint32_t arrivedAt = 0;
        // Appended unchecked: its link is queued already.
        bool cameUnchecked = false;
    };

    void check(Row& row, bool checked);

    std::vector<Row> rows;
    int checkedRows = 0;
    int arrivedUnchecked = 0;
};

} // namespace tolvenka
