#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace tolvenka {

class Download;
class DownloadsSet;

// The rows of the downloads grid: each download's file name (as it arrived,
// "name (1).ext" too), its size once known and its state caption (with the
// share received of a transfer, and the reason of a failure), then one empty
// row; an empty queue has no rows at all. Rows follow the queue narrowly: downloads that leave
// or join are removed or inserted run by run, and a changed state repaints
// its own row, so the view keeps its selection, current row and scroll
// position.
//
// A row only names its download, whose texts and state are read when the
// view asks for them, on the GUI thread: a long queue's rows cost a few
// bytes each and nothing to make. So the rows of downloads that leave must
// go while the downloads are still whole: `removeRowsThatLeft` when the set
// announces a removal, which it does before it deletes them.
//
// A row's tooltip, which is also its cells' description for screen readers,
// names the whole link, the target path, the share received of a transfer,
// the time left of a timed wait and the reason of the last failure, whole.
//
// Downloads join the set at its end and may be moved around in it; the rows
// follow a move as a move, so that the selection follows the moved rows.
class DownloadsGridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    enum Column { FileColumn, SizeColumn, StateColumn, ColumnCount };

    // The received share of a transfer, in thousandths, in the state cell
    // of a row that transfers; none elsewhere.
    static constexpr int ProgressRole = Qt::UserRole + 1;

    // Brings the rows in line with the set's members (none for null).
    void syncMembers(const DownloadsSet* set);
    // Removes the rows of downloads that are no longer members; the others
    // follow at the next sync.
    void removeRowsThatLeft(const DownloadsSet* set);
    // The state of the downloads with these serial numbers changed: their
    // rows are repainted. Numbers without a row are passed over.
    void refreshStates(const std::vector<std::uint64_t>& serials);
    // Any row's state may have changed: every row is repainted.
    void refreshAllStates();

    // The download of a row, null for the empty row.
    const Download* downloadAt(int row) const;

    // Rows dragged and dropped in the grid: their downloads, taken when the
    // drag began (so rows that change during the drag move no other
    // download), and the download they were dropped before (null for the
    // end). The owner moves the downloads; the rows follow at the next sync.
    std::function<void(const std::vector<const Download*>& dropped, const Download* before)>
        onRowsDropped;

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Row {
        std::uint64_t serial;
        const Download* download;
    };

    // Whether the rows that stay are in the set's order; downloads join at
    // the end, so otherwise some were moved.
    bool keepsOrderOf(const DownloadsSet& set) const;
    bool noneLeft(const DownloadsSet& set) const;
    // Puts the rows in the set's order; every row names a member.
    void followOrderOf(const DownloadsSet& set);
    // The rows' present numbers in the set's order, passing over members
    // without a row.
    std::vector<std::size_t> oldRowsInOrderOf(const DownloadsSet& set) const;
    void insertRowsThatJoined(const DownloadsSet& set);
    int rowOf(std::uint64_t serial) const;
    static QString description(const Download& download);
    std::int64_t sizeOf(const Row& row) const;
    void announceChange(int firstRow, int lastRow);

    std::vector<Row> rows;
    // The sizes of the files of complete downloads, by serial number, read
    // from the disk when their rows are first shown: only the rows ever
    // shown cost an entry, and only once.
    mutable std::unordered_map<std::uint64_t, std::int64_t> sizesOnDisk;
};

} // namespace tolvenka
