#include "intake/TDownloadsListDialog.h"

#include "intake/CheckLinksThread.h"
#include "intake/ShowMessage.h"
#include "intake/TwaitDialog.h"
#include "intake/WidgetText.h"
#include "queue/DownloadsSet.h"
#include "support/Cp1251.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

constexpr int clientWidth = 633;
constexpr int clientHeight = 415;
constexpr int boxStep = 20;
// The room the pad keeps beside its boxes for its scroll bar.
constexpr int boxWidthReserve = 30;
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

QPushButton* placedButton(const QString& text, const QRect& geometry, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    // Enter has no dialog-wide meaning here.
    button->setAutoDefault(false);
    return button;
}

// Ampersands in a link must show as such, not turn into mnemonics.
QString captionFor(const std::string& link) {
    return toQString(link).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

TDownloadsListDialog::TDownloadsListDialog(DownloadsSet& downloadsSet, std::string& targetFolder,
                                           TwaitDialog& waitDialog, QWidget* parent)
    : QDialog(parent)
    , downloadsSet(downloadsSet)
    , targetFolder(targetFolder)
    , waitDialog(waitDialog)
    , folderBrowser(systemFolderBrowser) {
    setWindowTitle(QStringLiteral("Подтверждение списка загрузок"));
    setFixedSize(clientWidth, clientHeight);
    createControls();
}

TDownloadsListDialog::~TDownloadsListDialog() = default;

void TDownloadsListDialog::createControls() {
    placedLabel(QStringLiteral("Снимите флажки напротив файлов, которые загружать не требуется:"),
                8, 8, this);

    checkBoxesPad = new QScrollArea(this);
    checkBoxesPad->setObjectName(QStringLiteral("checkBoxesPad"));
    checkBoxesPad->setGeometry(8, 24, 617, 321);
    checkBoxesPad->setFocusPolicy(Qt::NoFocus); // its boxes take the focus instead
    checkBoxesPad->verticalScrollBar()->setTracking(true);
    padContents = new QWidget;
    padContents->resize(checkBoxesPad->width() - boxWidthReserve, 0);
    checkBoxesPad->setWidget(padContents);

    const QLabel* pathCaption = placedLabel(QStringLiteral("Загрузить в:"), 8, 360, this);
    // The caption may be wider in the UI font than the place made for it.
    path =
        placedLabel(QString(), std::max(pathLeft, pathCaption->geometry().right() + 5), 360, this);
    path->setObjectName(QStringLiteral("path"));

    selectPath = placedButton(QStringLiteral("..."), QRect(600, 352, 27, 25), this);
    selectPath->setObjectName(QStringLiteral("selectPath"));
    createButtonRow();

    connect(selectPath, &QPushButton::clicked, this, [this] { selectPathClick(); });
    connect(checkFiles, &QPushButton::clicked, this, [this] { checkFilesClick(); });
    connect(download, &QPushButton::clicked, this, [this] { downloadClick(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void TDownloadsListDialog::createButtonRow() {
    checkFiles = placedButton(QStringLiteral("Проверить существование файлов"),
                              QRect(8, 384, 201, 25), this);
    checkFiles->setObjectName(QStringLiteral("checkFiles"));
    download = placedButton(QStringLiteral("Загрузить"), QRect(216, 384, 201, 25), this);
    download->setObjectName(QStringLiteral("download"));
    cancel = placedButton(QStringLiteral("Отмена"), QRect(424, 384, 201, 25), this);
    cancel->setObjectName(QStringLiteral("cancel"));

    // The row spans the pad's width; the long caption of the first button
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

void TDownloadsListDialog::setLinks(const std::vector<std::string>& links) {
    const int boxWidth = checkBoxesPad->width() - boxWidthReserve;
    for (const std::string& link : links) {
        if (linkBoxes.size() >= maxLinkBoxes) {
            break;
        }
        auto* box = new QCheckBox(captionFor(link), padContents);
        const int top = static_cast<int>(linkBoxes.size()) * boxStep;
        box->setGeometry(0, top, boxWidth, boxStep);
        box->setChecked(true);
        box->show();
        linkBoxes.push_back(LinkBox{box, link});
    }
    padContents->resize(boxWidth, static_cast<int>(linkBoxes.size()) * boxStep);
    updateTabOrder();
}

void TDownloadsListDialog::setFolderBrowser(FolderBrowser browser) {
    folderBrowser = std::move(browser);
}

void TDownloadsListDialog::showEvent(QShowEvent* event) {
    showFolder(targetFolder);
    QDialog::showEvent(event);
}

void TDownloadsListDialog::done(int result) {
    // A running check reads and marks the boxes: it is cancelled and has
    // ended before they go (checkFilesClick closes the dialog then).
    if (checking) {
        closeAfterCheck = result;
        waitDialog.cancelJob();
        return;
    }
    deleteLinkBoxes();
    QDialog::done(result);
}

void TDownloadsListDialog::keyPressEvent(QKeyEvent* event) {
    // Esc has no dialog-wide meaning here.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
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
    waitDialog.execute(std::make_unique<CheckLinksThread>(waitDialog, linkBoxes));
    checking = false;
    if (const std::optional<int> result = std::exchange(closeAfterCheck, std::nullopt)) {
        done(*result);
    }
}

void TDownloadsListDialog::downloadClick() {
    for (const LinkBox& linkBox : linkBoxes) {
        if (linkBox.box->isChecked()) {
            downloadsSet.add(linkBox.link, shownFolder);
        }
    }
    accept();
}

void TDownloadsListDialog::showFolder(const std::string& folder) {
    shownFolder = folder;
    const QString text = toQString(folder);
    path->setText(path->fontMetrics().elidedText(text, Qt::ElideMiddle, pathRight - pathLeft));
    path->setToolTip(text);
    path->adjustSize();
}

void TDownloadsListDialog::updateTabOrder() {
    if (linkBoxes.empty()) {
        return;
    }
    // New boxes join the focus chain at its end; the boxes come first.
    QWidget::setTabOrder(linkBoxes.back().box, selectPath);
    QWidget::setTabOrder(selectPath, checkFiles);
    QWidget::setTabOrder(checkFiles, download);
    QWidget::setTabOrder(download, cancel);
}

void TDownloadsListDialog::deleteLinkBoxes() {
    for (const LinkBox& linkBox : linkBoxes) {
        delete linkBox.box;
    }
    linkBoxes.clear();
    padContents->resize(padContents->width(), 0);
}

} // namespace tolvenka
