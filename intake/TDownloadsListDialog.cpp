#include "intake/TDownloadsListDialog.h"

#include "intake/ArrivedFiles.h"
#include "intake/CheckLinksThread.h"
#include "intake/FolderChoice.h"
#include "intake/LinkListModel.h"
#include "intake/TwaitDialog.h"
#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"
#include "widgets/ElidedLabel.h"
#include "widgets/PushButton.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QAction>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int clientWidth = 633;
constexpr int clientHeight = 415;
constexpr int margin = 8;
constexpr int bottomMargin = 6;
constexpr int gap = 7;
constexpr QSize listSize(617, 321);
constexpr QSize buttonSize(201, 25);
constexpr QSize selectPathSize(27, 25);
constexpr int rowHeight = 20;
// Above and below a row's text, in a font too large for the rows.
constexpr int rowTextPadding = 4;
// The room the list keeps beside its rows for its scroll bar.
constexpr int rowWidthReserve = 30;

// Each row is a check box of the list's width and 20 pixels high, or a line
// of text high in a larger font; a click anywhere on it toggles it, as a
// click on a check box's caption does, and Shift with the click extends it.
class LinkRowDelegate : public QStyledItemDelegate {
public:
    using RowClicked = std::function<void(int row, bool withShift)>;

    LinkRowDelegate(RowClicked rowClicked, QObject* parent)
        : QStyledItemDelegate(parent)
        , rowClicked(std::move(rowClicked)) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        const int listWidth = option.widget != nullptr ? option.widget->width() : 0;
        return {listWidth - rowWidthReserve,
                std::max(rowHeight, option.fontMetrics.height() + rowTextPadding)};
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                option.rect.contains(mouse->position().toPoint())) {
                rowClicked(index.row(), mouse->modifiers().testFlag(Qt::ShiftModifier));
                return true;
            }
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

private:
    RowClicked rowClicked;
};

} // namespace

TDownloadsListDialog::TDownloadsListDialog(DownloadsSet& downloadsSet, std::string& targetFolder,
                                           TwaitDialog& waitDialog, const ArrivalHistory& history,
                                           QWidget* parent)
    : FixedDialog(clientWidth, clientHeight, parent)
    , downloadsSet(downloadsSet)
    , targetFolder(targetFolder)
    , waitDialog(waitDialog)
    , history(history)
    , folderBrowser(systemFolderBrowser) {
    setWindowTitle(QStringLiteral("Подтверждение списка загрузок"));
    createControls();
}

TDownloadsListDialog::~TDownloadsListDialog() = default;

std::optional<QString> TDownloadsListDialog::systemFolderBrowser(QWidget* parent,
                                                                 const QString& prompt,
                                                                 const QString& startFolder) {
    const QString folder =
        QFileDialog::getExistingDirectory(parent, prompt, startFolder, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

void TDownloadsListDialog::createControls() {
    skippedLinks = new QLabel(this);
    skippedLinks->setObjectName(QStringLiteral("skippedLinks"));
    skippedLinks->setContentsMargins(0, 0, 0, 3);
    skippedLinks->hide();
    textCut = new QLabel(this);
    textCut->setObjectName(QStringLiteral("textCut"));
    textCut->setContentsMargins(0, 0, 0, 3);
    textCut->hide();
    arrivedLinks = new QLabel(this);
    arrivedLinks->setObjectName(QStringLiteral("arrivedLinks"));
    arrivedLinks->setContentsMargins(0, 0, 0, 3);
    arrivedLinks->hide();
    instruction = new QLabel(
        QStringLiteral("Снимите флажки напротив файлов, которые загружать не требуется:"), this);
    createList();
    createChoiceRow();
    createPathRow();
    createButtonRow();
    arrangeControls();

    setTabOrder(checkBoxesPad, checkAll);
    setTabOrder(checkAll, uncheckAll);
    setTabOrder(uncheckAll, selectPath);
    setTabOrder(selectPath, checkFiles);
    setTabOrder(checkFiles, download);
    setTabOrder(download, cancel);

    connect(selectPath, &QPushButton::clicked, this, [this] { selectPathClick(); });
    connect(checkFiles, &QPushButton::clicked, this, [this] { checkFilesClick(); });
    connect(download, &QPushButton::clicked, this, [this] { downloadClick(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void TDownloadsListDialog::createList() {
    links = new LinkListModel(this);
    checkBoxesPad = new QListView(this);
    checkBoxesPad->setObjectName(QStringLiteral("checkBoxesPad"));
    checkBoxesPad->setMinimumSize(listSize);
    checkBoxesPad->setModel(links);
    checkBoxesPad->setItemDelegate(new LinkRowDelegate(
        [this](int row, bool withShift) { clickRow(row, withShift); }, checkBoxesPad));
    // All rows are alike, so the list measures one, not a hundred thousand.
    checkBoxesPad->setUniformItemSizes(true);
    checkBoxesPad->setTextElideMode(Qt::ElideMiddle);
    checkBoxesPad->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    checkBoxesPad->verticalScrollBar()->setTracking(true);
    // Rows are checked, not selected: the current one only shows the focus.
    checkBoxesPad->setSelectionMode(QAbstractItemView::NoSelection);
    checkBoxesPad->setTabKeyNavigation(false);
}

// "Отметить все", "Снять все" and the count of checked links; the two are
// also in the list's context menu, and Ctrl+A anywhere in the dialog checks
// all. Checking all passes over the links whose files arrived before or are
// missing: a second copy is fetched only when asked for one by one.
void TDownloadsListDialog::createChoiceRow() {
    checkAll = new PushButton(QStringLiteral("Отметить все"), buttonSize, this);
    checkAll->setObjectName(QStringLiteral("checkAll"));
    uncheckAll = new PushButton(QStringLiteral("Снять все"), buttonSize, this);
    uncheckAll->setObjectName(QStringLiteral("uncheckAll"));
    checkedCount = new QLabel(this);
    checkedCount->setObjectName(QStringLiteral("checkedCount"));
    checkedCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* checkAllAction = new QAction(checkAll->text(), checkBoxesPad);
    checkAllAction->setShortcut(QKeySequence::SelectAll);
    auto* uncheckAllAction = new QAction(uncheckAll->text(), checkBoxesPad);
    checkBoxesPad->addActions({checkAllAction, uncheckAllAction});
    checkBoxesPad->setContextMenuPolicy(Qt::ActionsContextMenu);

    const auto checkAllRows = [this] {
        links->checkAllToFetch();
    };
    const auto uncheckAllRows = [this] {
        links->uncheckAll();
    };
    connect(checkAll, &QPushButton::clicked, this, checkAllRows);
    connect(checkAllAction, &QAction::triggered, this, checkAllRows);
    connect(uncheckAll, &QPushButton::clicked, this, uncheckAllRows);
    connect(uncheckAllAction, &QAction::triggered, this, uncheckAllRows);

    const auto countChanged = [this] {
        showCounts();
    };
    connect(links, &QAbstractItemModel::dataChanged, this, countChanged);
    connect(links, &QAbstractItemModel::rowsInserted, this, countChanged);
    connect(links, &QAbstractItemModel::modelReset, this, countChanged);
    showCounts();
}

void TDownloadsListDialog::createPathRow() {
    pathCaption = new QLabel(QStringLiteral("Загрузить в:"), this);
    path = new ElidedLabel(QString(), this);
    path->setObjectName(QStringLiteral("path"));
    selectPath = new PushButton(QStringLiteral("..."), selectPathSize, this);
    selectPath->setObjectName(QStringLiteral("selectPath"));
}

void TDownloadsListDialog::createButtonRow() {
    checkFiles = new PushButton(QStringLiteral("Проверить существование файлов"), buttonSize, this);
    checkFiles->setObjectName(QStringLiteral("checkFiles"));
    download = new PushButton(QStringLiteral("Загрузить"), buttonSize, this);
    download->setObjectName(QStringLiteral("download"));
    cancel = new PushButton(QStringLiteral("Отмена"), buttonSize, this);
    cancel->setObjectName(QStringLiteral("cancel"));
}

// The instruction, the list, then the rows below it; a control whose text
// needs more room than designed pushes the others and widens the dialog.
void TDownloadsListDialog::arrangeControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, bottomMargin);
    layout->setSpacing(0);
    layout->addWidget(textCut);
    layout->addWidget(skippedLinks);
    layout->addWidget(arrivedLinks);
    layout->addWidget(instruction);
    layout->addSpacing(2);
    layout->addWidget(checkBoxesPad, 1);
    layout->addSpacing(gap);
    layout->addLayout(arrangeRows());
}

// Three columns that the two rows of buttons share, the folder between them.
QGridLayout* TDownloadsListDialog::arrangeRows() {
    auto* rows = new QGridLayout;
    rows->setSpacing(gap);
    rows->addWidget(checkAll, 0, 0);
    rows->addWidget(uncheckAll, 0, 1);
    rows->addWidget(checkedCount, 0, 2);

    auto* pathRow = new QHBoxLayout;
    pathRow->setSpacing(0);
    pathRow->addWidget(pathCaption);
    pathRow->addSpacing(5);
    pathRow->addWidget(path, 1);
    pathRow->addSpacing(gap + 1);
    pathRow->addWidget(selectPath);
    rows->addLayout(pathRow, 1, 0, 1, 3);

    rows->addWidget(checkFiles, 2, 0);
    rows->addWidget(download, 2, 1);
    rows->addWidget(cancel, 2, 2);
    for (int column = 0; column < 3; ++column) {
        rows->setColumnStretch(column, 1);
    }
    return rows;
}

void TDownloadsListDialog::showCounts() {
    checkedCount->setText(
        QStringLiteral("Отмечено: %1 из %2").arg(links->checkedCount()).arg(links->count()));
    const int arrived = links->arrivedUncheckedCount();
    arrivedLinks->setText(QStringLiteral("Уже загружены, не отмечены: %1.").arg(arrived));
    arrivedLinks->setVisible(arrived > 0);
}

// A click toggles the row; with Shift, every row from the one clicked last
// takes the state the clicked row takes.
void TDownloadsListDialog::clickRow(int row, bool extendFromLastClick) {
    const bool checked = !links->isChecked(row);
    const int from = extendFromLastClick && lastClickedRow ? *lastClickedRow : row;
    links->setChecked(std::min(from, row), std::max(from, row), checked);
    lastClickedRow = row;
}

void TDownloadsListDialog::setLinks(const std::vector<std::string>& newLinks, std::size_t nameless,
                                    const std::string& cutNote) {
    // A link the queue already holds and has not finished, or whose file
    // arrived, would only be fetched twice: it is offered, but not ticked.
    std::vector<bool> checked = downloadsSet.holdsUnfinished(newLinks);
    checked.flip();
    const int first = links->count();
    links->append(newLinks, checked);
    shownFolder = targetFolder;
    links->setArrived(first, arrivedFiles(downloadsSet, history, newLinks, shownFolder));
    namelessSkipped += nameless;
    skippedLinks->setText(
        QStringLiteral("Пропущены ссылки без имени файла: %1.").arg(namelessSkipped));
    skippedLinks->setVisible(namelessSkipped > 0);
    if (!cutNote.empty()) {
        textCut->setText(toQString(cutNote + "."));
        textCut->show();
    }
}

void TDownloadsListDialog::markArrived() {
    std::vector<std::string> all;
    all.reserve(static_cast<std::size_t>(links->count()));
    for (int row = 0; row < links->count(); ++row) {
        all.push_back(links->link(row));
    }
    links->setArrived(0, arrivedFiles(downloadsSet, history, all, shownFolder));
}

void TDownloadsListDialog::setFolderBrowser(FolderBrowser browser) {
    folderBrowser = std::move(browser);
}

void TDownloadsListDialog::showEvent(QShowEvent* event) {
    showFolder(targetFolder);
    FixedDialog::showEvent(event);
    // Every opening starts on the first link, so that Space there toggles a
    // link rather than pressing whichever button was used last.
    checkBoxesPad->setCurrentIndex(links->index(0));
    checkBoxesPad->scrollToTop();
    checkBoxesPad->setFocus(Qt::OtherFocusReason);
}

void TDownloadsListDialog::done(int result) {
    // A running check reads and marks the rows: it is cancelled and has
    // ended before they go (checkFilesClick closes the dialog then).
    if (checking) {
        closeAfterCheck = result;
        waitDialog.cancelJob();
        return;
    }
    links->clear();
    lastClickedRow.reset();
    namelessSkipped = 0;
    skippedLinks->hide();
    textCut->hide();
    arrivedLinks->hide();
    FixedDialog::done(result);
}

void TDownloadsListDialog::selectPathClick() {
    const std::optional<QString> chosen =
        folderBrowser(this, QStringLiteral("Выберите каталог:"), toQString(shownFolder));
    if (!chosen || chosen->isEmpty()) {
        return;
    }
    // A folder that cannot take the files is not remembered.
    if (const std::optional<std::string> folder = acceptableFolder(*chosen, this)) {
        targetFolder = *folder;
        showFolder(targetFolder);
        markArrived();
    }
}

void TDownloadsListDialog::checkFilesClick() {
    checking = true;
    waitDialog.execute(std::make_unique<CheckLinksThread>(waitDialog, *links));
    checking = false;
    if (const std::optional<int> result = std::exchange(closeAfterCheck, std::nullopt)) {
        done(*result);
    }
}

void TDownloadsListDialog::downloadClick() {
    std::vector<std::string> chosen;
    for (int row = 0; row < links->count(); ++row) {
        if (links->isChecked(row)) {
            chosen.push_back(links->link(row));
        }
    }
    // Before anything is queued: seven rows that all fail tell less than
    // one message.
    if (!chosen.empty() && !folderTakesDownloads(shownFolder, this)) {
        return;
    }
    downloadsSet.add(chosen, shownFolder);
    accept();
}

void TDownloadsListDialog::showFolder(const std::string& folder) {
    shownFolder = folder;
    path->setFullText(toQString(folder));
}

} // namespace tolvenka
