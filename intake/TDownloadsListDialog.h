#pragma once

#include "widgets/FixedDialog.h"

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QGridLayout;
class QLabel;
class QListView;
class QPushButton;

namespace tolvenka {

class ArrivalHistory;
class DownloadsSet;
class ElidedLabel;
class LinkListModel;
class TwaitDialog;

// The modal dialog in which the user confirms the download links found: one
// checkable row per link, checked at first unless the queue holds the link
// unfinished or its file arrived before, with the count of those checked;
// above them, how many links were passed over for want of a file name and
// how many arrived before and are left unchecked; ways to check all those
// still to fetch or uncheck them all (buttons, the list's context menu,
// Ctrl+A) or to check or uncheck a run of them (Shift+click); the target
// folder and a button to choose another; a check that the files still
// exist; and the buttons that queue the checked links or cancel. What it did
// shows in the downloads set and in the target folder; it gives its caller
// no result.
class TDownloadsListDialog : public FixedDialog {
public:
    // Shows the folder browser with a prompt and a start folder; returns the
    // chosen folder, or nothing when the user cancels.
    using FolderBrowser = std::function<std::optional<QString>(
        QWidget* parent, const QString& prompt, const QString& startFolder)>;
    // The system's folder browser.
    static std::optional<QString> systemFolderBrowser(QWidget* parent, const QString& prompt,
                                                      const QString& startFolder);

    // `targetFolder` (CP1251) is read when the dialog shows and replaced by a
    // folder the user chooses that can take files; "Загрузить" refuses a
    // folder that cannot, and queues nothing. `history` tells which files
    // arrived before, wherever they are now.
    TDownloadsListDialog(DownloadsSet& downloadsSet, std::string& targetFolder,
                         TwaitDialog& waitDialog, const ArrivalHistory& history,
                         QWidget* parent = nullptr);
    ~TDownloadsListDialog() override;

    // Adds one row per link, in order, below those already there; a link
    // whose file arrived before (the history holds it, it is in the target
    // folder, or the queue holds its download complete) reads so and starts
    // unchecked. `namelessSkipped` links of the same text were passed over
    // for want of a file name, and `textCut` (CP1251; empty for none) tells
    // that only the start of a long text was searched. Every closing of the
    // dialog removes all rows.
    void setLinks(const std::vector<std::string>& links, std::size_t namelessSkipped = 0,
                  const std::string& textCut = {});

    // Replaces the system's folder browser (tests drive their own).
    void setFolderBrowser(FolderBrowser browser);

protected:
    void showEvent(QShowEvent* event) override;
    // Every way of closing a dialog ends here.
    void done(int result) override;

private:
    void createControls();
    void createList();
    void createChoiceRow();
    void createPathRow();
    void createButtonRow();
    void arrangeControls();
    QGridLayout* arrangeRows();
    void showCounts();
    // Which rows' files arrived, for another folder shown.
    void markArrived();
    void clickRow(int row, bool extendFromLastClick);
    void selectPathClick();
    void checkFilesClick();
    void downloadClick();
    void showFolder(const std::string& folder);

    DownloadsSet& downloadsSet;
    std::string& targetFolder;
    TwaitDialog& waitDialog;
    const ArrivalHistory& history;
    FolderBrowser folderBrowser;

    LinkListModel* links;
    QLabel* skippedLinks;
    QLabel* textCut;
    QLabel* arrivedLinks;
    QLabel* instruction;
    QListView* checkBoxesPad;
    QPushButton* checkAll;
    QPushButton* uncheckAll;
    QLabel* checkedCount;
    QLabel* pathCaption;
    ElidedLabel* path;
    QPushButton* selectPath;
    QPushButton* checkFiles;
    QPushButton* download;
    QPushButton* cancel;

    std::string shownFolder;            // CP1251, exactly as `path` shows it
    std::size_t namelessSkipped = 0;    // links without a file name passed over
    bool checking = false;              // an existence check runs over the rows
    std::optional<int> lastClickedRow;  // where a Shift+click range begins
    std::optional<int> closeAfterCheck; // a close that came during the check
};

} // namespace tolvenka
