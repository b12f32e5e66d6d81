#include "ui/DownloadsGridModel.h"

#include "engine/Download.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "queue/DownloadsSet.h"
#include "ui/TransferShare.h"
#include "widgets/LinkText.h"
#include "widgets/SizeText.h"
#include "widgets/WidgetText.h"

#include <QMimeData>
#include <QTextDocument>
#include <algorithm>
#include <limits>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace tolvenka {

namespace {

// The row numbers of a drag within the grid, one a line.
const QString rowsMimeType = QStringLiteral("application/x-tolvenka-grid-rows");

// The state caption, and the share received of a transfer, so that the
// text on the bar is also what a screen reader reads; a download that
// stopped with an error says why.
QString stateText(const Download& download) {
    const QString caption = toQString(download.getStateCaption());
    const int percent = percentReceived(download);
    if (percent >= 0) {
        return QStringLiteral("%1 %2 %").arg(caption).arg(percent);
    }
    if (download.getState() == Download::State::Error && !download.isHeld()) {
        if (const std::string reason = download.getFailureReason(); !reason.empty()) {
            return caption + QStringLiteral(": ") + toQString(reason);
        }
    }
    return caption;
}

QString fileNameOf(const Download& download) {
    const std::string_view path = download.getTargetPath();
    return toQString(path.substr(path.rfind('/') + 1));
}

} // namespace

void DownloadsGridModel::syncMembers(const DownloadsSet* set) {
    removeRowsThatLeft(set);
    if (set != nullptr) {
        followOrderOf(*set);
        insertRowsThatJoined(*set);
    }
}

// One walk over the rows and the members side by side: the rows that match
// the members in turn stay, the others left; what is left over of the
// members must have joined since. A member left over that is older than a
// row was moved.
bool DownloadsGridModel::keepsOrderOf(const DownloadsSet& set) const {
    int member = 0;
    std::uint64_t newestRow = 0;
    for (const Row& row : rows) {
        if (member < set.count() && set.serialAt(member) == row.serial) {
            ++member;
        }
        newestRow = std::max(newestRow, row.serial);
    }
    for (; member < set.count(); ++member) {
        if (!rows.empty() && set.serialAt(member) <= newestRow) {
            return false;
        }
    }
    return true;
}

// Members join with serial numbers above every row's, so when as many
// members are as old as the newest row as there are rows, every row is
// still a member. That spares a long queue's moves a search.
bool DownloadsGridModel::noneLeft(const DownloadsSet& set) const {
    if (rows.empty()) {
        return true;
    }
    std::uint64_t newestRow = 0;
    for (const Row& row : rows) {
        newestRow = std::max(newestRow, row.serial);
    }
    std::size_t older = 0;
    for (int member = 0; member < set.count(); ++member) {
        older += set.serialAt(member) <= newestRow ? 1 : 0;
    }
    return older == rows.size();
}

void DownloadsGridModel::removeRowsThatLeft(const DownloadsSet* set) {
    if (set != nullptr && noneLeft(*set)) {
        return;
    }
    std::vector<bool> leaving(rows.size(), true);
    if (set != nullptr && keepsOrderOf(*set)) {
        int member = 0;
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (member < set->count() && set->serialAt(member) == rows[row].serial) {
                leaving[row] = false;
                ++member;
            }
        }
    } else if (set != nullptr) {
        std::unordered_set<std::uint64_t> members;
        members.reserve(static_cast<std::size_t>(set->count()));
        for (int member = 0; member < set->count(); ++member) {
            members.insert(set->serialAt(member));
        }
        for (std::size_t row = 0; row < rows.size(); ++row) {
            leaving[row] = members.count(rows[row].serial) == 0;
        }
    }
    if (!sizesOnDisk.empty()) {
        for (std::size_t row = 0; row < rows.size(); ++row) {
            if (leaving[row]) {
                sizesOnDisk.erase(rows[row].serial);
            }
        }
    }
    // The empty row goes with the last download.
    if (std::find(leaving.begin(), leaving.end(), false) == leaving.end()) {
        if (!rows.empty()) {
            beginRemoveRows({}, 0, static_cast<int>(rows.size()));
            rows.clear();
            endRemoveRows();
        }
        return;
    }
    // From the end, so that the rows before a run keep their numbers.
    for (std::size_t end = rows.size(); end > 0;) {
        if (!leaving[end - 1]) {
            --end;
            continue;
        }
        std::size_t first = end - 1;
        while (first > 0 && leaving[first - 1]) {
            --first;
        }
        beginRemoveRows({}, static_cast<int>(first), static_cast<int>(end - 1));
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(first),
                   rows.begin() + static_cast<std::ptrdiff_t>(end));
        endRemoveRows();
        end = first;
    }
}

// A layout change, so that the view's selection and current row go with
// the rows they were on.
void DownloadsGridModel::followOrderOf(const DownloadsSet& set) {
    if (keepsOrderOf(set)) {
        return;
    }
    const std::vector<std::size_t> order = oldRowsInOrderOf(set);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(rows.size() + 1,
                              static_cast<int>(rows.size())); // the empty row stays last
    std::vector<Row> reordered;
    reordered.reserve(rows.size());
    for (std::size_t position = 0; position < order.size(); ++position) {
        newRowOf[order[position]] = static_cast<int>(position);
        reordered.push_back(std::move(rows[order[position]]));
    }
    rows = std::move(reordered);
    QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        to << this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// Serial numbers are handed out one after another, so those of the rows
// mostly lie close together: a table over their span finds each row at once,
// where a hash map would cost a long queue an allocation per row. Only when
// removals have spread them thin is the map the smaller.
std::vector<std::size_t> DownloadsGridModel::oldRowsInOrderOf(const DownloadsSet& set) const {
    const auto [lowest, highest] = std::minmax_element(
        rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.serial < b.serial; });
    const std::uint64_t first = rows.empty() ? 0 : lowest->serial;
    const std::uint64_t span = rows.empty() ? 0 : highest->serial - first + 1;
    std::vector<std::size_t> order; // old row numbers, in the new order
    order.reserve(rows.size());
    const auto follow = [&](auto rowOfSerial) {
        for (int member = 0; member < set.count(); ++member) {
            if (const std::optional<std::size_t> row = rowOfSerial(set.serialAt(member))) {
                order.push_back(*row);
            }
        }
    };
    if (span <= 4 * rows.size() + 1024) {
        constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
        std::vector<std::size_t> table(span, none);
        for (std::size_t row = 0; row < rows.size(); ++row) {
            table[rows[row].serial - first] = row;
        }
        follow([&](std::uint64_t serial) -> std::optional<std::size_t> {
            if (serial < first || serial - first >= span || table[serial - first] == none) {
                return std::nullopt;
            }
            return table[serial - first];
        });
    } else {
        std::unordered_map<std::uint64_t, std::size_t> oldRowOf;
        oldRowOf.reserve(rows.size());
        for (std::size_t row = 0; row < rows.size(); ++row) {
            oldRowOf.emplace(rows[row].serial, row);
        }
        follow([&](std::uint64_t serial) -> std::optional<std::size_t> {
            const auto found = oldRowOf.find(serial);
            return found == oldRowOf.end() ? std::nullopt : std::optional(found->second);
        });
    }
    return order;
}

// Every row left names a member now, in the same order.
void DownloadsGridModel::insertRowsThatJoined(const DownloadsSet& set) {
    std::size_t row = 0;
    for (int member = 0; member < set.count();) {
        if (row < rows.size() && rows[row].serial == set.serialAt(member)) {
            ++row;
            ++member;
            continue;
        }
        int runEnd = member;
        while (runEnd < set.count() &&
               (row == rows.size() || set.serialAt(runEnd) != rows[row].serial)) {
            ++runEnd;
        }
        const int first = static_cast<int>(row);
        const int count = runEnd - member;
        // The first downloads bring the empty row.
        beginInsertRows({}, first, first + count - (rows.empty() ? 0 : 1));
        if (row == rows.size()) {
            // A load or an add: the rows are made in place, so a long queue
            // is never held twice while it joins.
            if (rows.empty()) {
                rows.reserve(static_cast<std::size_t>(count));
            }
            for (int index = member; index < runEnd; ++index) {
                rows.push_back(Row{set.serialAt(index), set.at(index)});
            }
        } else {
            std::vector<Row> joined;
            joined.reserve(static_cast<std::size_t>(count));
            for (int index = member; index < runEnd; ++index) {
                joined.push_back(Row{set.serialAt(index), set.at(index)});
            }
            rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(row),
                        std::make_move_iterator(joined.begin()),
                        std::make_move_iterator(joined.end()));
        }
        endInsertRows();
        row += static_cast<std::size_t>(count);
        member = runEnd;
    }
}

void DownloadsGridModel::refreshStates(const std::vector<std::uint64_t>& serials) {
    for (const std::uint64_t serial : serials) {
        if (const int row = rowOf(serial); row >= 0) {
            announceChange(row, row);
        }
    }
}

// The rows are in the queue's order, which the user may change, so the row
// is looked for; the running one is usually near the top.
int DownloadsGridModel::rowOf(std::uint64_t serial) const {
    const auto found = std::find_if(rows.begin(), rows.end(),
                                    [&](const Row& row) { return row.serial == serial; });
    return found == rows.end() ? -1 : static_cast<int>(found - rows.begin());
}

// The view repaints only the rows it shows, so one announcement for them
// all costs no more than a few rows' worth.
void DownloadsGridModel::refreshAllStates() {
    if (!rows.empty()) {
        announceChange(0, static_cast<int>(rows.size()) - 1);
    }
}

// A state changes with the size a transfer tells and with the name a file
// arrives under.
void DownloadsGridModel::announceChange(int firstRow, int lastRow) {
    emit dataChanged(index(firstRow, FileColumn), index(lastRow, StateColumn), {Qt::DisplayRole});
}

Qt::ItemFlags DownloadsGridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid()) {
        return flags | Qt::ItemIsDropEnabled; // between rows
    }
    if (downloadAt(index.row()) != nullptr) {
        flags |= Qt::ItemIsDragEnabled;
    }
    return flags | Qt::ItemIsDropEnabled;
}

Qt::DropActions DownloadsGridModel::supportedDropActions() const {
    return Qt::MoveAction;
}

QStringList DownloadsGridModel::mimeTypes() const {
    return {rowsMimeType};
}

// The drag carries serial numbers, never reused: a row number could name
// another download by the time of the drop.
QMimeData* DownloadsGridModel::mimeData(const QModelIndexList& indexes) const {
    std::vector<int> dragged;
    for (const QModelIndex& index : indexes) {
        dragged.push_back(index.row());
    }
    std::sort(dragged.begin(), dragged.end());
    dragged.erase(std::unique(dragged.begin(), dragged.end()), dragged.end());
    QByteArray text;
    for (const int row : dragged) {
        if (downloadAt(row) != nullptr) {
            text += QByteArray::number(
                        static_cast<qulonglong>(rows[static_cast<std::size_t>(row)].serial)) +
                    '\n';
        }
    }
    auto* data = new QMimeData;
    data->setData(rowsMimeType, text);
    return data;
}

// The view is told nothing was dropped, so that it never removes the rows
// it dragged: the queue moves them, and the rows follow.
bool DownloadsGridModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                      const QModelIndex& parent) {
    if (action != Qt::MoveAction || data == nullptr || !data->hasFormat(rowsMimeType) ||
        !onRowsDropped) {
        return false;
    }
    std::vector<std::uint64_t> serials;
    for (const QByteArray& line : data->data(rowsMimeType).split('\n')) {
        bool isNumber = false;
        if (const qulonglong serial = line.toULongLong(&isNumber); isNumber) {
            serials.push_back(serial);
        }
    }
    std::sort(serials.begin(), serials.end());
    // One walk over the rows, however many were dragged; a dragged download
    // that left meanwhile has no row any more.
    std::vector<const Download*> dropped;
    for (const Row& row : rows) {
        if (std::binary_search(serials.begin(), serials.end(), row.serial)) {
            dropped.push_back(row.download);
        }
    }
    const int dropRow = parent.isValid() ? parent.row() : row;
    if (!dropped.empty()) {
        onRowsDropped(dropped, downloadAt(dropRow));
    }
    return false;
}

int DownloadsGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || rows.empty() ? 0 : static_cast<int>(rows.size()) + 1;
}

int DownloadsGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

const Download* DownloadsGridModel::downloadAt(int row) const {
    return row >= 0 && row < static_cast<int>(rows.size())
               ? rows[static_cast<std::size_t>(row)].download
               : nullptr;
}

QVariant DownloadsGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (index.row() >= static_cast<int>(rows.size())) {
        // The empty row after the last download.
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    }
    const Row& row = rows[static_cast<std::size_t>(index.row())];
    const Download& download = *row.download;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case FileColumn:
            return fileNameOf(download);
        case SizeColumn:
            return sizeText(sizeOf(row));
        default:
            return stateText(download);
        }
    case Qt::TextAlignmentRole:
        return index.column() == SizeColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                            : QVariant();
    case Qt::ToolTipRole:
        // A link is anybody's text: shown as it is, never as markup.
        return Qt::convertFromPlainText(description(download));
    case Qt::AccessibleDescriptionRole:
        return description(download);
    case ProgressRole: {
        const int progress = index.column() == StateColumn ? permilleReceived(download) : -1;
        return progress >= 0 ? QVariant(progress) : QVariant();
    }
    default:
        return {};
    }
}

// A transfer tells the size it announced; a file that arrived is as large as
// it is on the disk.
std::int64_t DownloadsGridModel::sizeOf(const Row& row) const {
    switch (row.download->getState()) {
    case Download::State::Downloading:
        return row.download->getTotalBytes();
    case Download::State::Complete: {
        const auto [known, added] = sizesOnDisk.try_emplace(row.serial, 0);
        if (added) {
            known->second = platform::fileSizeOf(std::string(row.download->getTargetPath()));
        }
        return known->second;
    }
    default:
        return -1;
    }
}

QString DownloadsGridModel::description(const Download& download) {
    QString text = QString::fromUtf8("Ссылка: ") + readableLink(download.getLink()) +
                   QString::fromUtf8("\nФайл: ") + toQString(download.getTargetPath());
    if (const int percent = percentReceived(download); percent >= 0) {
        text += QString::fromUtf8("\nПринято: %1 %").arg(percent);
    }
    if (const std::int64_t waitEndsAt = download.getWaitEndsAtMs(); waitEndsAt >= 0) {
        const std::int64_t leftMs = std::max<std::int64_t>(0, waitEndsAt - platform::clockMs());
        text += QString::fromUtf8("\nОсталось ждать: ") +
                toQString(Download::formatRemainingTime((leftMs + 999) / 1000));
    }
    if (const std::string reason = download.getFailureReason(); !reason.empty()) {
        text += QString::fromUtf8("\nПоследняя ошибка: ") + toQString(reason);
    }
    return text;
}

QVariant DownloadsGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return {};
    }
    switch (section) {
    case FileColumn:
        return QString::fromUtf8("Файл");
    case SizeColumn:
        return QString::fromUtf8("Размер");
    default:
        return QString::fromUtf8("Состояние");
    }
}

} // namespace tolvenka
