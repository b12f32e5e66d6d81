#include "intake/TDownloadsListDialog.h"

#include "intake/CheckLinksThread.h"
#include "intake/LinkListModel.h"
#include "intake/TwaitDialog.h"
#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"
#include "widgets/ElidedLabel.h"
#include "widgets/PushButton.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int clientWidth = 633;
constexpr int clientHeight = 415;
constexpr int rowHeight = 20;
// The room the list keeps beside its rows for its scroll bar.
constexpr int rowWidthReserve = 30;
constexpr int pathLeft = 80;
constexpr int pathRight = 592; // just short of the "..." button

std::optional<QString> systemFolderBrowser(QWidget* parent, const QString& prompt,
                                           const QString& startFolder) {
    const QString folder =
        QFileDialog::getExistingDirectory(parent, prompt, startFolder, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

// A label sized to its text at the given place.
QLabel* placedLabel(const QString& text, int left, int top, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// Each row is a check box of the list's width and 20 pixels high; a click
// anywhere on it toggles it, as a click on a check box's caption does.
class LinkRowDelegate : public QStyledItemDelegate {
public:
    LinkRowDelegate(int rowWidth, QObject* parent)
        : QStyledItemDelegate(parent)
        , rowWidth(rowWidth) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {rowWidth, rowHeight};
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                option.rect.contains(mouse->position().toPoint())) {
                const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
                return model->setData(index, checked ? Qt::Unchecked : Qt::Checked,
                                      Qt::CheckStateRole);
            }
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

private:
    int rowWidth;
};

} // namespace

TDownloadsListDialog::TDownloadsListDialog(DownloadsSet& downloadsSet, std::string& targetFolder,
                                           TwaitDialog& waitDialog, QWidget* parent)
    : FixedDialog(clientWidth, clientHeight, parent)
    , downloadsSet(downloadsSet)
    , targetFolder(targetFolder)
    , waitDialog(waitDialog)
    , folderBrowser(systemFolderBrowser) {
    setWindowTitle(QStringLiteral("Подтверждение списка загрузок"));
    createControls();
}

TDownloadsListDialog::~TDownloadsListDialog() = default;

void TDownloadsListDialog::createControls() {
    placedLabel(QStringLiteral("Снимите флажки напротив файлов, которые загружать не требуется:"),
                8, 8, this);

    links = new LinkListModel(this);
    checkBoxesPad = new QListView(this);
    checkBoxesPad->setObjectName(QStringLiteral("checkBoxesPad"));
    checkBoxesPad->setGeometry(8, 24, 617, 321);
    checkBoxesPad->setModel(links);
    checkBoxesPad->setItemDelegate(
        new LinkRowDelegate(checkBoxesPad->width() - rowWidthReserve, checkBoxesPad));
    // All rows are alike, so the list measures one, not a hundred thousand.
    checkBoxesPad->setUniformItemSizes(true);
    checkBoxesPad->setTextElideMode(Qt::ElideMiddle);
    checkBoxesPad->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    checkBoxesPad->verticalScrollBar()->setTracking(true);
    // Rows are checked, not selected: the current one only shows the focus.
    checkBoxesPad->setSelectionMode(QAbstractItemView::NoSelection);
    checkBoxesPad->setTabKeyNavigation(false);

    const QLabel* pathCaption = placedLabel(QStringLiteral("Загрузить в:"), 8, 360, this);
    // The caption may be wider in the UI font than the place made for it.
    const int left = std::max(pathLeft, pathCaption->geometry().right() + 5);
    path = new ElidedLabel(QString(), this);
    path->setObjectName(QStringLiteral("path"));
    path->setGeometry(left, 360, pathRight - left, pathCaption->height());

    selectPath = new PushButton(QStringLiteral("..."), QRect(600, 352, 27, 25), this);
    selectPath->setObjectName(QStringLiteral("selectPath"));
    createButtonRow();

    setTabOrder(checkBoxesPad, selectPath);
    setTabOrder(selectPath, checkFiles);
    setTabOrder(checkFiles, download);
    setTabOrder(download, cancel);

    connect(selectPath, &QPushButton::clicked, this, [this] { selectPathClick(); });
    connect(checkFiles, &QPushButton::clicked, this, [this] { checkFilesClick(); });
    connect(download, &QPushButton::clicked, this, [this] { downloadClick(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void TDownloadsListDialog::createButtonRow() {
    checkFiles = new PushButton(QStringLiteral("Проверить существование файлов"),
                                QRect(8, 384, 201, 25), this);
    checkFiles->setObjectName(QStringLiteral("checkFiles"));
    download = new PushButton(QStringLiteral("Загрузить"), QRect(216, 384, 201, 25), this);
    download->setObjectName(QStringLiteral("download"));
    cancel = new PushButton(QStringLiteral("Отмена"), QRect(424, 384, 201, 25), this);
    cancel->setObjectName(QStringLiteral("cancel"));

    // The row spans the list's width; the long caption of the first button
    // may need more than a third of it in the UI font, and then takes it
    // from the other two.
    const int checkFilesWidth = std::max(checkFiles->width(), checkFiles->sizeHint().width());
    if (checkFilesWidth > checkFiles->width()) {
        const int rowLeft = checkFiles->x();
        const int rowRight = cancel->geometry().right();
        const int gap = download->x() - checkFiles->geometry().right() - 1;
        const int otherWidth = (rowRight - rowLeft + 1 - checkFilesWidth - 2 * gap) / 2;
        checkFiles->resize(checkFilesWidth, checkFiles->height());
        download->setGeometry(checkFiles->geometry().right() + 1 + gap, download->y(), otherWidth,
                              download->height());
        cancel->setGeometry(rowRight + 1 - otherWidth, cancel->y(), otherWidth, cancel->height());
    }
}

void TDownloadsListDialog::setLinks(const std::vector<std::string>& newLinks) {
    links->append(newLinks);
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
    FixedDialog::done(result);
}

void TDownloadsListDialog::selectPathClick() {
    const std::optional<QString> chosen =
        folderBrowser(this, QStringLiteral("Выберите каталог:"), toQString(shownFolder));
    if (!chosen || chosen->isEmpty()) {
        return;
    }
    const QByteArray utf8 = chosen->toUtf8();
    const std::string_view name(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    // The program keeps folders in CP1251, one to a line of the queue file; a
    // name it cannot hold, or one with a line break in it, would be stored
    // garbled and its downloads would go elsewhere.
    if (!kestrune::text::isCp1251Representable(name) || kestrune::text::hasControlByte(name)) {
        showMessage(std::string("В имени выбранного каталога есть символы, которые программа не "
                                "может сохранить. Выберите другой каталог."_cp1251),
                    this);
        return;
    }
    targetFolder = fromQString(*chosen);
    showFolder(targetFolder);
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
    downloadsSet.add(chosen, shownFolder);
    accept();
}

void TDownloadsListDialog::showFolder(const std::string& folder) {
    shownFolder = folder;
    path->setFullText(toQString(folder));
}

} // namespace tolvenka
