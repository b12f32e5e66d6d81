#include "ui/HistoryWindow.h"

#include "platform/FileSystem.h"
#include "queue/ArrivalHistory.h"
#include "support/Cp1251.h"
#include "ui/HistoryTableModel.h"
#include "widgets/PushButton.h"
#include "widgets/Question.h"
#include "widgets/ScreenPlacement.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr QSize designedSize(860, 520);
constexpr QSize buttonSize(145, 25);
constexpr int margin = 8;
constexpr int gap = 7;

} // namespace

HistoryWindow::HistoryWindow(ArrivalHistory& history, QWidget* parent)
    : QDialog(parent, Qt::Window)
    , openOnDesktop([](const QUrl& url) { QDesktopServices::openUrl(url); })
    , history(history) {
    setWindowTitle(QString::fromUtf8("Загруженные файлы"));
    setModal(false);
    buildControls();
    buildActions();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::buildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(gap);

    auto* filterRow = new QHBoxLayout;
    const QString filterCaption = QString::fromUtf8("Найти:");
    auto* caption = new QLabel(filterCaption, this);
    filter = new QLineEdit(this);
    filter->setObjectName(QStringLiteral("filter"));
    filter->setAccessibleName(filterCaption);
    filter->setClearButtonEnabled(true);
    caption->setBuddy(filter);
    filterRow->addWidget(caption);
    filterRow->addWidget(filter, 1);
    layout->addLayout(filterRow);

    model = new HistoryTableModel(this);
    table = new QTableView(this);
    table->setObjectName(QStringLiteral("records"));
    table->setModel(model);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setTabKeyNavigation(false);
    table->setWordWrap(false);
    // A long name keeps its extension in view, a long folder its end.
    table->setTextElideMode(Qt::ElideMiddle);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView& header = *table->horizontalHeader();
    header.setSectionResizeMode(HistoryTableModel::FileColumn, QHeaderView::Stretch);
    header.setSectionResizeMode(HistoryTableModel::FolderColumn, QHeaderView::Stretch);
    const QFontMetrics metrics = table->fontMetrics();
    constexpr int cellPadding = 16;
    table->setColumnWidth(HistoryTableModel::SizeColumn,
                          metrics.horizontalAdvance(QString::fromUtf8("1023,9 МБ")) + cellPadding);
    table->setColumnWidth(HistoryTableModel::DateColumn,
                          metrics.horizontalAdvance(QStringLiteral("00.00.0000 00:00")) +
                              cellPadding);
    layout->addWidget(table, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(gap);
    rowButtons = {addButton("Открыть файл", "openFile", &HistoryWindow::openFiles),
                  addButton("Открыть папку", "openFolder", &HistoryWindow::openFolders),
                  addButton("Удалить из истории", "remove", &HistoryWindow::removeSelected)};
    for (QPushButton* button : rowButtons) {
        buttons->addWidget(button);
    }
    buttons->addWidget(addButton("Очистить историю", "clear", &HistoryWindow::clearHistory));
    buttons->addStretch(1);
    buttons->addWidget(addButton("Закрыть", "close", &HistoryWindow::hide));
    layout->addLayout(buttons);

    connect(filter, &QLineEdit::textChanged, this,
            [this](const QString& text) { model->setFilter(text); });
    const auto showChoice = [this] {
        const bool any = table->selectionModel()->hasSelection();
        for (QPushButton* button : rowButtons) {
            button->setEnabled(any);
        }
        findChild<QPushButton*>(QStringLiteral("clear"))
            ->setEnabled(model->rowCount() > 0 || !filter->text().isEmpty());
    };
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, showChoice);
    connect(model, &QAbstractItemModel::modelReset, this, showChoice);
    connect(model, &QAbstractItemModel::rowsInserted, this, showChoice);
    showChoice();
}

QPushButton* HistoryWindow::addButton(const char* caption, const char* name,
                                      void (HistoryWindow::*act)()) {
    auto* button = new PushButton(QString::fromUtf8(caption), buttonSize, this);
    button->setObjectName(QString::fromUtf8(name));
    connect(button, &QPushButton::clicked, this, [this, act] { (this->*act)(); });
    return button;
}

// Enter and Delete act on the rows chosen while the table has the focus;
// the context menu offers what the buttons below it do to them.
void HistoryWindow::buildActions() {
    const auto rowAction = [this](const char* caption, void (HistoryWindow::*act)()) {
        auto* action = new QAction(QString::fromUtf8(caption), table);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [this, act] { (this->*act)(); });
        table->addAction(action);
        return action;
    };
    QAction* open = rowAction("Открыть файл", &HistoryWindow::openFiles);
    open->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    QAction* openFolder = rowAction("Открыть папку", &HistoryWindow::openFolders);
    QAction* remove = rowAction("Удалить из истории", &HistoryWindow::removeSelected);
    remove->setShortcut(QKeySequence::Delete);
    rowMenu = new QMenu(this);
    rowMenu->addActions({open, openFolder, remove});
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { showRowMenu(position); });
    connect(table, &QAbstractItemView::doubleClicked, this, [this] { openFiles(); });
}

std::optional<std::string>
HistoryWindow::openingTrouble(const platform::HistoryDatabase& database) {
    const auto shown = [](const std::filesystem::path& path) {
        return kestrune::text::fromUtf8(path.string());
    };
    switch (database.opening()) {
    case platform::HistoryDatabase::Opening::SetAside:
        return std::string(
                   "Историю загрузок не удалось прочитать: файл отложен под именем "_cp1251) +
               shown(database.setAsidePath()) + std::string(", начата новая история."_cp1251);
    case platform::HistoryDatabase::Opening::InMemory:
        return std::string("Историю загрузок не удаётся записать в "_cp1251) +
               shown(database.file()) +
               std::string(": загрузки этого запуска в ней не сохранятся."_cp1251);
    default:
        return std::nullopt;
    }
}

void HistoryWindow::showHistory() {
    if (!isVisible()) {
        model->setRecords(history.database().records());
        // Over the middle of the main window, as far as the screen lets it.
        QRect bounds(QPoint(), designedSize);
        bounds.moveCenter(parentWidget() != nullptr ? parentWidget()->geometry().center()
                                                    : availableArea(*this).center());
        setGeometry(fittedOnScreen(*this, bounds));
        show();
        filter->setFocus(Qt::OtherFocusReason);
    }
    raise();
    activateWindow();
}

// A long history is held only while the window is open; minimized with the
// main window, it keeps what it shows.
void HistoryWindow::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) {
        model->setRecords({});
    }
}

void HistoryWindow::showNewArrivals() {
    if (isVisible()) {
        model->addNewer(history.database().records(model->newestId()));
    }
}

std::vector<int> HistoryWindow::selectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : table->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// A file moved away or deleted since it arrived is told, not opened.
void HistoryWindow::openFiles() {
    std::string missing;
    for (const int row : selectedRows()) {
        const std::string& path = model->recordAt(row).path;
        if (platform::fileKindOf(path) == platform::FileKind::Regular) {
            openOnDesktop(QUrl::fromLocalFile(toQString(path)));
        } else if (missing.empty()) {
            missing = path;
        }
    }
    if (!missing.empty()) {
        showMessage(std::string("Файла "_cp1251) + missing +
                        std::string(" больше нет: он перемещён или удалён."_cp1251),
                    this);
    }
}

void HistoryWindow::openFolders() {
    QStringList folders;
    for (const int row : selectedRows()) {
        folders << QFileInfo(toQString(model->recordAt(row).path)).absolutePath();
    }
    folders.removeDuplicates();
    for (const QString& folder : folders) {
        openOnDesktop(QUrl::fromLocalFile(folder));
    }
}

void HistoryWindow::removeSelected() {
    std::vector<std::int64_t> ids;
    for (const int row : selectedRows()) {
        ids.push_back(model->recordAt(row).id);
    }
    if (!ids.empty() && history.database().remove(ids)) {
        model->removeRecords(ids);
    }
}

void HistoryWindow::clearHistory() {
    if (askBeforeGoingAhead(
            QString::fromUtf8("Очистить историю загрузок? Загруженные файлы останутся на месте."),
            QString::fromUtf8("Очистить"), this) &&
        history.database().clear()) {
        model->setRecords({});
    }
}

void HistoryWindow::showRowMenu(const QPoint& position) {
    if (table->selectionModel()->hasSelection()) {
        rowMenu->popup(table->viewport()->mapToGlobal(position));
    }
}

} // namespace tolvenka
