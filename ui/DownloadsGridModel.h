#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvenka {

class Download;
class DownloadsSet;

// The rows of the downloads grid: each download's link and state caption,
// then one empty row. Rows follow the queue narrowly: downloads that leave
// or join are removed or inserted run by run, and a changed state repaints
// its own row, so the view keeps its selection, current row and scroll
// position.
//
// A row keeps copies of its texts; the download it stands for is read only
// right after the rows have been brought in line with the queue, on the GUI
// thread, when every download the rows name is alive. So a tooltip asked for
// between a download's leaving and the next sync still has its texts.
//
// A row's tooltip, which is also its cells' description for screen readers,
// names the whole link, the target path, the share received of a transfer,
// the time left of a timed wait and the reason of the last failure.
//
// Downloads join the set at its end and may be moved around in it; the rows
// follow a move as a move, so that the selection follows the moved rows.
class DownloadsGridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    // The received share of a transfer, in thousandths, in the state cell
    // of a row that transfers; none elsewhere.
    static constexpr int ProgressRole = Qt::UserRole + 1;

    // Brings the rows in line with the set's members (none for null).
    void syncMembers(const DownloadsSet* set);
    // Reads the state of the downloads with these serial numbers anew; the
    // rows must have been synced since any of them left the set. Numbers
    // without a row are passed over.
    void refreshStates(const std::vector<std::uint64_t>& serials);
    // Reads the state of every row anew.
    void refreshAllStates();

    // The download of a row, null for the empty row; only right after the
    // rows were synced.
    const Download* downloadAt(int row) const;

    // Rows dragged and dropped in the grid: their numbers, and the row they
    // were dropped before (the empty row for the end). The owner moves the
    // downloads; the rows follow at the next sync.
    std::function<void(const std::vector<int>& rows, int before)> onRowsDropped;

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
        std::string link;
        std::string targetPath;
        std::unique_ptr<const std::string> failureReason; // null when none
        std::int64_t waitEndsAt = -1;                     // clock time; -1 when none
        std::uint16_t caption = 0;                        // index into `captions`
        std::int16_t progress = -1;                       // thousandths; -1 when none
    };

    // Whether the rows that stay are in the set's order; downloads join at
    // the end, so otherwise some were moved.
    bool keepsOrderOf(const DownloadsSet& set) const;
    void removeRowsThatLeft(const DownloadsSet* set);
    // Puts the rows in the set's order; every row names a member.
    void followOrderOf(const DownloadsSet& set);
    void insertRowsThatJoined(const DownloadsSet& set);
    int rowOf(std::uint64_t serial) const;
    Row rowFor(const DownloadsSet& set, int index);
    // Whether the caption changed; the other texts follow silently, since
    // they are only asked for on demand.
    bool readState(Row& row);
    static QString description(const Row& row);
    std::uint16_t captionId(const std::string& caption);
    void announceChange(int firstRow, int lastRow);

    std::vector<Row> rows;
    // The few state captions there are, each kept once.
    std::vector<std::string> captions;
};

} // namespace tolvenka
