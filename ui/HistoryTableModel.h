#pragma once

#include "platform/HistoryDatabase.h"

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <deque>
#include <vector>

namespace tolvenka {

// The rows of the window of the history: one record a row, newest first,
// with its file name, size, date of arrival and folder, and those only
// whose name or link holds the filter's text, in any letter case. A row's
// tooltip, which is also its cells' description for screen readers, names
// the link, the whole path, the time of arrival and how long it took.
//
// The records are kept as the history gives them, and a cell's text is
// made when the view asks for it, so that a long history costs its records
// and no more, and the filter goes over them without a copy.
class HistoryTableModel : public QAbstractTableModel {
public:
    enum Column { FileColumn, SizeColumn, DateColumn, FolderColumn, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    // Replaces every record (newest first).
    void setRecords(std::vector<platform::HistoryRecord> records);
    // Records newer than any held (newest first) go on top; one of a path
    // held replaces the record there, as in the history.
    void addNewer(std::vector<platform::HistoryRecord> records);
    // The highest id held; 0 for none.
    std::int64_t newestId() const;
    // Takes out the records with these ids.
    void removeRecords(const std::vector<std::int64_t>& ids);

    void setFilter(const QString& text);

    // The record of a row shown.
    const platform::HistoryRecord& recordAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    bool matches(const platform::HistoryRecord& record) const;
    // Which records the filter lets through; every one without a filter.
    void selectShown();
    static QString description(const platform::HistoryRecord& record);

    // A deque: the records of new arrivals go in front without moving the
    // hundred thousand behind them.
    std::deque<platform::HistoryRecord> records;
    std::vector<std::size_t> shown; // indexes into `records`, in their order
    std::string filter;             // CP1251, in lower case; empty for none
};

} // namespace tolvenka
