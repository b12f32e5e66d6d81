#pragma once

#include "intake/LinkBox.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QScrollArea;

namespace tolvenka {

class DownloadsSet;
class TwaitDialog;

// The modal dialog in which the user confirms the download links found: one
// check box per link, all checked at first; the target folder and a button
// to choose another; a check that the files still exist; and the buttons
// that queue the checked links or cancel. What it did shows in the downloads
// set and in the target folder; it gives its caller no result.
class TDownloadsListDialog : public QDialog {
public:
    // Shows the folder browser with a prompt and a start folder; returns the
    // chosen folder, or nothing when the user cancels.
    using FolderBrowser = std::function<std::optional<QString>(
        QWidget* parent, const QString& prompt, const QString& startFolder)>;

    // `targetFolder` (CP1251) is read when the dialog shows and replaced by a
    // folder the user chooses.
    TDownloadsListDialog(DownloadsSet& downloadsSet, std::string& targetFolder,
                         TwaitDialog& waitDialog, QWidget* parent = nullptr);
    ~TDownloadsListDialog() override;

    // A page may list millions of links; a box per link past this many
    // would freeze the program, so the rest are left out.
    static constexpr std::size_t maxLinkBoxes = 10'000;

    // Adds one checked box per link, in order, below those already there,
    // up to `maxLinkBoxes`. Every closing of the dialog removes all boxes.
    void setLinks(const std::vector<std::string>& links);

    // Replaces the system's folder browser (tests drive their own).
    void setFolderBrowser(FolderBrowser browser);

protected:
    void showEvent(QShowEvent* event) override;
    // Every way of closing a dialog ends here.
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void createButtonRow();
    void selectPathClick();
    void checkFilesClick();
    void downloadClick();
    void showFolder(const std::string& folder);
    void updateTabOrder();
    void deleteLinkBoxes();

    DownloadsSet& downloadsSet;
    std::string& targetFolder;
    TwaitDialog& waitDialog;
    FolderBrowser folderBrowser;

    QScrollArea* checkBoxesPad;
    QWidget* padContents; // the boxes' parent inside the pad
    QLabel* path;
    QPushButton* selectPath;
    QPushButton* checkFiles;
    QPushButton* download;
    QPushButton* cancel;

    std::vector<LinkBox> linkBoxes;
    std::string shownFolder;            // CP1251, exactly as `path` shows it
    bool checking = false;              // an existence check runs over the boxes
    std::optional<int> closeAfterCheck; // a close that came during the check
};

} // namespace tolvenka
