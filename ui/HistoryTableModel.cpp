#include "ui/HistoryTableModel.h"

#include "engine/Download.h"
#include "support/Cp1251.h"
#include "widgets/LinkText.h"
#include "widgets/SizeText.h"
#include "widgets/WidgetText.h"

#include <QDateTime>
#include <QTextDocument>
#include <algorithm>
#include <unordered_set>

namespace tolvenka {

namespace {

// Whether `text` holds `lowered` (CP1251 in lower case), in any letter case.
bool holdsFolded(std::string_view text, std::string_view lowered) {
    return std::search(text.begin(), text.end(), lowered.begin(), lowered.end(),
                       [](char given, char wanted) {
                           return given == wanted || kestrune::text::toLowerCp1251(given) == wanted;
                       }) != text.end();
}

std::string_view folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string_view()
                                      : std::string_view(path).substr(0, slash);
}

QString dateText(std::int64_t arrivedAt) {
    return QDateTime::fromSecsSinceEpoch(arrivedAt).toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

} // namespace

void HistoryTableModel::setRecords(std::vector<platform::HistoryRecord> newRecords) {
    beginResetModel();
    records.assign(std::make_move_iterator(newRecords.begin()),
                   std::make_move_iterator(newRecords.end()));
    selectShown();
    endResetModel();
}

void HistoryTableModel::addNewer(std::vector<platform::HistoryRecord> newer) {
    if (newer.empty()) {
        return;
    }
    // A file that arrived again at the same path replaced its record. New
    // arrivals are few, so each is looked for in turn.
    const bool replaces = std::any_of(newer.begin(), newer.end(), [&](const auto& record) {
        return std::any_of(records.begin(), records.end(),
                           [&](const auto& old) { return old.path == record.path; });
    });
    if (replaces) {
        std::erase_if(records, [&](const platform::HistoryRecord& old) {
            return std::any_of(newer.begin(), newer.end(),
                               [&](const auto& record) { return old.path == record.path; });
        });
        newer.insert(newer.end(), std::make_move_iterator(records.begin()),
                     std::make_move_iterator(records.end()));
        setRecords(std::move(newer));
        return;
    }
    // Otherwise the records go before the others, and the rows the filter
    // lets through are announced as they go in.
    const std::size_t added = newer.size();
    for (auto record = newer.rbegin(); record != newer.rend(); ++record) {
        records.push_front(std::move(*record));
    }
    for (std::size_t& index : shown) {
        index += added;
    }
    std::vector<std::size_t> shownNewer;
    for (std::size_t index = 0; index < added; ++index) {
        if (matches(records[index])) {
            shownNewer.push_back(index);
        }
    }
    if (!shownNewer.empty()) {
        beginInsertRows({}, 0, static_cast<int>(shownNewer.size()) - 1);
        shown.insert(shown.begin(), shownNewer.begin(), shownNewer.end());
        endInsertRows();
    }
}

std::int64_t HistoryTableModel::newestId() const {
    return records.empty() ? 0 : records.front().id;
}

void HistoryTableModel::removeRecords(const std::vector<std::int64_t>& ids) {
    const std::unordered_set<std::int64_t> removed(ids.begin(), ids.end());
    beginResetModel();
    std::erase_if(records, [&](const platform::HistoryRecord& record) {
        return removed.count(record.id) != 0;
    });
    selectShown();
    endResetModel();
}

void HistoryTableModel::setFilter(const QString& text) {
    std::string lowered = kestrune::text::toLowerCp1251(fromQString(text.trimmed()));
    if (lowered == filter) {
        return;
    }
    // A letter typed on can only narrow what shows: only that is looked at.
    const bool narrows = !filter.empty() && lowered.starts_with(filter);
    beginResetModel();
    filter = std::move(lowered);
    if (narrows) {
        std::erase_if(shown, [&](std::size_t index) { return !matches(records[index]); });
    } else {
        selectShown();
    }
    endResetModel();
}

bool HistoryTableModel::matches(const platform::HistoryRecord& record) const {
    return filter.empty() || holdsFolded(record.fileName, filter) ||
           holdsFolded(record.link, filter);
}

void HistoryTableModel::selectShown() {
    shown.clear();
    shown.reserve(records.size());
    for (std::size_t index = 0; index < records.size(); ++index) {
        if (matches(records[index])) {
            shown.push_back(index);
        }
    }
}

const platform::HistoryRecord& HistoryTableModel::recordAt(int row) const {
    return records[shown[static_cast<std::size_t>(row)]];
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown.size());
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const platform::HistoryRecord& record = recordAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case FileColumn:
            return toQString(record.fileName);
        case SizeColumn:
            return sizeText(record.size);
        case DateColumn:
            return dateText(record.arrivedAt);
        default:
            return toQString(folderOf(record.path));
        }
    case Qt::TextAlignmentRole:
        return index.column() == SizeColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                            : QVariant();
    case Qt::ToolTipRole:
        // A link and a path are anybody's text: shown as they are.
        return Qt::convertFromPlainText(description(record));
    case Qt::AccessibleDescriptionRole:
        return description(record);
    default:
        return {};
    }
}

QString HistoryTableModel::description(const platform::HistoryRecord& record) {
    QString text = QString::fromUtf8("Ссылка: ") + readableLink(record.link) +
                   QString::fromUtf8("\nФайл: ") + toQString(record.path) +
                   QString::fromUtf8("\nЗагружен: ") + dateText(record.arrivedAt);
    if (record.seconds >= 0) {
        text += QString::fromUtf8("\nЗагрузка заняла: ") +
                toQString(Download::formatRemainingTime(record.seconds));
    }
    return text;
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return {};
    }
    switch (section) {
    case FileColumn:
        return QString::fromUtf8("Файл");
    case SizeColumn:
        return QString::fromUtf8("Размер");
    case DateColumn:
        return QString::fromUtf8("Дата");
    default:
        return QString::fromUtf8("Папка");
    }
}

} // namespace tolvenka
