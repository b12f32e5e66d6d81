#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QUrl;

namespace platform {
class HistoryDatabase;
}

namespace tolvenka {

class ArrivalHistory;
class HistoryTableModel;

// "Загруженные файлы": the history of arrivals as a table of file name,
// size, date and folder, newest first, with a filter ("Найти:") over the
// names and links, and the actions "Открыть файл", "Открыть папку",
// "Удалить из истории" (the records only; the files stay) and "Очистить
// историю" (after a question), as buttons and, the first three, in the
// rows' context menu. Enter and a double click open the files, Delete takes
// the records out; Tab goes from the filter to the table and on along the
// buttons; each row describes itself to screen readers as its tooltip does.
// It is not modal: the main window goes on meanwhile.
//
// The controls are named "filter", "records", "openFile", "openFolder",
// "remove", "clear" and "close".
class HistoryWindow : public QDialog {
public:
    HistoryWindow(ArrivalHistory& history, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // What to tell the user, once, of a history file that could not be read
    // (set aside, a new one made) or cannot be written (kept for this run
    // only); nothing when it opened well. CP1251.
    static std::optional<std::string> openingTrouble(const platform::HistoryDatabase& database);

    // Reads the history anew and shows the window, or raises it.
    void showHistory();
    // Files arrived: while the window shows, their records go on top.
    void showNewArrivals();

    // Hands a file or folder to the desktop, which opens it with the user's
    // program for it; tests put a recorder here.
    std::function<void(const QUrl&)> openOnDesktop;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void buildControls();
    void buildActions();
    QPushButton* addButton(const char* caption, const char* name, void (HistoryWindow::*act)());
    // The rows chosen, as records' rows of the model.
    std::vector<int> selectedRows() const;
    void openFiles();
    void openFolders();
    void removeSelected();
    void clearHistory();
    void showRowMenu(const QPoint& position);

    ArrivalHistory& history;
    HistoryTableModel* model;
    QLineEdit* filter;
    QTableView* table;
    QMenu* rowMenu;
    std::vector<QPushButton*> rowButtons; // those that act on the rows chosen
};

} // namespace tolvenka
