#include "ui/DownloadsGridModel.h"

#include "engine/Download.h"
#include "queue/DownloadsSet.h"
#include "widgets/LinkText.h"
#include "widgets/WidgetText.h"

#include <QTextDocument>
#include <algorithm>
#include <utility>

namespace tolvenka {

namespace {

constexpr int stateColumn = 1;

} // namespace

void DownloadsGridModel::syncMembers(const DownloadsSet* set) {
    removeRowsThatLeft(set);
    if (set != nullptr) {
        insertRowsThatJoined(*set);
    }
}

// Both the rows and the set are in ascending order of serial numbers, so
// one walk over both finds the rows whose download has left.
void DownloadsGridModel::removeRowsThatLeft(const DownloadsSet* set) {
    const int members = set == nullptr ? 0 : set->count();
    std::vector<bool> leaving(rows.size(), false);
    int member = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        while (member < members && set->serialAt(member) < rows[row].serial) {
            ++member;
        }
        leaving[row] = member == members || set->serialAt(member) != rows[row].serial;
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
        beginInsertRows({}, first, first + count - 1);
        if (row == rows.size()) {
            // A load or an add: the rows are made in place, so a long queue
            // is never held twice while it joins.
            if (rows.empty()) {
                rows.reserve(static_cast<std::size_t>(count));
            }
            for (int index = member; index < runEnd; ++index) {
                rows.push_back(rowFor(set, index));
            }
        } else {
            std::vector<Row> joined;
            joined.reserve(static_cast<std::size_t>(count));
            for (int index = member; index < runEnd; ++index) {
                joined.push_back(rowFor(set, index));
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

DownloadsGridModel::Row DownloadsGridModel::rowFor(const DownloadsSet& set, int index) {
    const Download* download = set.at(index);
    Row row{set.serialAt(index), download, download->getLink(), {}, {}, 0};
    readState(row);
    return row;
}

void DownloadsGridModel::refreshStates(const std::vector<std::uint64_t>& serials) {
    for (const std::uint64_t serial : serials) {
        const auto found = std::lower_bound(
            rows.begin(), rows.end(), serial,
            [](const Row& row, std::uint64_t wanted) { return row.serial < wanted; });
        if (found != rows.end() && found->serial == serial && readState(*found)) {
            const int row = static_cast<int>(found - rows.begin());
            announceChange(row, row);
        }
    }
}

// Changed rows are announced run by run.
void DownloadsGridModel::refreshAllStates() {
    int runStart = -1;
    for (std::size_t row = 0; row <= rows.size(); ++row) {
        const bool changed = row < rows.size() && readState(rows[row]);
        if (changed && runStart < 0) {
            runStart = static_cast<int>(row);
        } else if (!changed && runStart >= 0) {
            announceChange(runStart, static_cast<int>(row) - 1);
            runStart = -1;
        }
    }
}

bool DownloadsGridModel::readState(Row& row) {
    // Compared first: most reads change nothing, and a copy would allocate.
    if (const std::string& path = row.download->getTargetPath(); path != row.targetPath) {
        row.targetPath = path;
    }
    // Most downloads never failed, so most rows keep no reason at all.
    if (std::string reason = row.download->getFailureReason(); reason.empty()) {
        row.failureReason.reset();
    } else if (!row.failureReason || *row.failureReason != reason) {
        row.failureReason = std::make_unique<const std::string>(std::move(reason));
    }
    const std::uint16_t caption = captionId(row.download->getStateCaption());
    const bool changed = caption != row.caption;
    row.caption = caption;
    return changed;
}

std::uint16_t DownloadsGridModel::captionId(const std::string& caption) {
    const auto known = std::find(captions.begin(), captions.end(), caption);
    if (known != captions.end()) {
        return static_cast<std::uint16_t>(known - captions.begin());
    }
    captions.push_back(caption);
    return static_cast<std::uint16_t>(captions.size() - 1);
}

void DownloadsGridModel::announceChange(int firstRow, int lastRow) {
    emit dataChanged(index(firstRow, stateColumn), index(lastRow, stateColumn), {Qt::DisplayRole});
}

int DownloadsGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows.size()) + 1;
}

int DownloadsGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
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
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? readableLink(row.link) : toQString(captions[row.caption]);
    case Qt::ToolTipRole:
        // A link is anybody's text: shown as it is, never as markup.
        return Qt::convertFromPlainText(description(row));
    case Qt::AccessibleDescriptionRole:
        return description(row);
    default:
        return {};
    }
}

QString DownloadsGridModel::description(const Row& row) {
    QString text = QString::fromUtf8("Ссылка: ") + readableLink(row.link) +
                   QString::fromUtf8("\nФайл: ") + toQString(row.targetPath);
    if (row.failureReason) {
        text += QString::fromUtf8("\nПоследняя ошибка: ") + toQString(*row.failureReason);
    }
    return text;
}

QVariant DownloadsGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return {};
    }
    return section == 0 ? QString::fromUtf8("Загрузка") : QString::fromUtf8("Состояние");
}

} // namespace tolvenka
