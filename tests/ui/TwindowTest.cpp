#include "ui/Twindow.h"

#include "engine/Download.h"
#include "queue/QueueFileReading.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "tests/common/GuiDriver.h"
#include "tests/common/LoopbackServer.h"
#include "tests/common/QtPrinters.h"
#include "tests/common/TestHelpers.h"
#include "tools/service-sim/ServiceSim.h"
#include "ui/DownloadsGridModel.h"
#include "ui/DownloadsSetPanel.h"
#include "ui/HandOverLinks.h"
#include "ui/HistoryWindow.h"
#include "ui/LinkListener.h"
#include "ui/Main.h"
#include "ui/SettingsDialog.h"
#include "widgets/ElidedLabel.h"
#include "widgets/WidgetText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDate>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimeEdit>
#include <QTimer>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

using servicesim::Step;
using testing_helpers::MessageBoxCloser;
using testing_helpers::pumpFor;
using testing_helpers::pumpUntil;
using testing_helpers::readFile;
using testing_helpers::TempDir;
using tolvenka::Twindow;

namespace {

// The text of `widget` if it is a caption (a label, a button or a check box)
// that does not show whole: its text needs more room than it has, or it
// reaches out of its parent. Labels of values that are cut on purpose, with
// the whole text as a tooltip, are not captions.
std::optional<QString> cutCaption(const QWidget& widget) {
    QString text;
    QRect room;
    const QStyle& style = *widget.style();
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (dynamic_cast<const tolvenka::ElidedLabel*>(label) != nullptr) {
            return std::nullopt;
        }
        text = label->text();
        room = label->contentsRect();
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(&widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        text = option.text = button->text();
        const bool isCheckBox = qobject_cast<const QCheckBox*>(button) != nullptr;
        room = style.subElementRect(isCheckBox ? QStyle::SE_CheckBoxContents
                                               : QStyle::SE_PushButtonContents,
                                    &option, button);
    } else {
        return std::nullopt;
    }
    const auto* label = qobject_cast<const QLabel*>(&widget);
    const QSize needed = label != nullptr && label->wordWrap()
                             ? widget.fontMetrics()
                                   .boundingRect(QRect(0, 0, room.width(), QWIDGETSIZE_MAX),
                                                 Qt::TextWordWrap | Qt::TextShowMnemonic, text)
                                   .size()
                             : widget.fontMetrics().size(Qt::TextShowMnemonic, text);
    const bool inside = widget.parentWidget()->rect().contains(widget.geometry());
    if (needed.width() > room.width() || needed.height() > room.height() || !inside) {
        return text;
    }
    return std::nullopt;
}

// The captions shown in the window `window` that are cut.
QStringList cutCaptions(const QWidget& window) {
    QStringList cut;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        if (widget->isVisible()) {
            if (const std::optional<QString> text = cutCaption(*widget)) {
                cut << *text;
            }
        }
    }
    return cut;
}

// The confirmation dialogs that open, each as the rows it showed (and the
// line about links without a file name of the last one), each cancelled as
// soon as it is seen, or a while after `whileOpen` ran in it.
class OfferedLinks {
public:
    explicit OfferedLinks(QDialog& dialog) {
        QObject::connect(&poll, &QTimer::timeout, [this, &dialog] {
            if (answering || QApplication::activeModalWidget() != &dialog) {
                return;
            }
            shown.push_back(testing_helpers::LinkRows(dialog).texts());
            const auto* skipped = dialog.findChild<QLabel*>(QStringLiteral("skippedLinks"));
            skippedLine = skipped->isVisible() ? skipped->text() : QString();
            if (!whileOpen) {
                dialog.reject();
                return;
            }
            answering = true;
            std::exchange(whileOpen, nullptr)();
            QTimer::singleShot(300, &dialog, [this, &dialog] {
                answering = false;
                dialog.reject();
            });
        });
        poll.start(5);
    }

    std::vector<QStringList> shown;
    QString skippedLine;
    std::function<void()> whileOpen;

private:
    QTimer poll;
    bool answering = false;
};

// Another program puts `text` on the clipboard.
void copy(const std::string& text) {
    QApplication::clipboard()->setText(QString::fromStdString(text));
}

// The program as main() builds it, in a folder of its own, against a
// simulated service.
class MainWindow : public ::testing::Test {
protected:
    MainWindow() {
        tolvenka::setServiceHost(sim.host());
        // Settings and a history of its own, whatever tests ran before in
        // this process.
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(folder.file("config")));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(folder.file("data")));
        maker.emplace();
        state.emplace();
        state->targetFolder = folder.path() + "/";
    }
    ~MainWindow() override {
        closeWindow();
        state.reset();
        maker.reset();
        tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
        qputenv("XDG_CONFIG_HOME", configHome);
        qputenv("XDG_DATA_HOME", dataHome);
    }

    // Offers a small file and returns its link.
    std::string fileLink(const std::string& id, std::vector<Step> script = {}) {
        servicesim::FileSpec spec;
        spec.id = id;
        spec.name = "file" + id + ".zip";
        spec.script = std::move(script);
        return sim.addFile(spec);
    }

    // Queues a file (by default of 50 MB at 1 MB/s) that comes with no
    // countdown; returns its link.
    std::string queueSlowFile(const std::string& name = "big.bin", std::uint64_t size = 50'000'000,
                              std::uint64_t bytesPerSecond = 1'000'000) {
        servicesim::FileSpec spec;
        spec.id = "9";
        spec.name = name;
        spec.size = size;
        spec.bytesPerSecond = bytesPerSecond;
        spec.script = {Step::countdown("-5")};
        const std::string link = sim.addFile(spec);
        state->downloadsSet.add(link, state->targetFolder);
        return link;
    }

    QPlainTextEdit* inputBox() const {
        return window->findChild<QPlainTextEdit*>(QStringLiteral("input"));
    }

    // With the wall clock of the schedule `clock`, if given.
    Twindow& openWindow(testing_helpers::FakeWallClock* clock = nullptr) {
        window.emplace(*state, queueFile, nullptr, std::unique_ptr<platform::WallClock>(clock));
        window->show();
        return *window;
    }

    QString statusLine() const {
        return window->findChild<tolvenka::ElidedLabel*>(QStringLiteral("queueStatus"))->fullText();
    }

    std::string settingsText() const {
        return readFile(folder.file("config/tolvenka/tolvenka.conf"));
    }

    // Closes as a termination signal does, and waits for the worker to end.
    void closeWindow() {
        if (window) {
            window->closeWithoutAsking();
            EXPECT_TRUE(pumpUntil([&] { return !window->isVisible(); }, 10'000));
            window.reset();
        }
    }

    // Runs "Добавить" with `text` in the input box; returns the links of the
    // confirmation dialog if it opened (it is then cancelled), and keeps its
    // line about links without a file name in `skippedLine`.
    std::optional<QStringList> addText(const QString& text) {
        inputBox()->setPlainText(text);
        OfferedLinks offered(state->DownloadsListDialog);
        testing_helpers::clickButton(*window, QStringLiteral("add"));
        skippedLine = offered.skippedLine;
        if (offered.shown.empty()) {
            return std::nullopt;
        }
        return offered.shown.back();
    }

    // Closes the window, as the close box or SIGTERM does, once `ready`
    // holds, while "Добавить" runs with `text` and `inDialog` acts in the
    // confirmation dialog. Returns whether the program then ended cleanly.
    bool closeWhileAdding(const std::string& text, const std::function<bool()>& ready,
                          const std::function<void()>& inDialog = {}) {
        openWindow();
        testing_helpers::WhenReady user([&] { return state->DownloadsListDialog.isVisible(); },
                                        [&] {
                                            if (inDialog) {
                                                inDialog();
                                            }
                                        });
        testing_helpers::WhenReady closer(ready, [&] { window->close(); });
        inputBox()->setPlainText(QString::fromStdString(text));
        testing_helpers::clickButton(*window, QStringLiteral("add"));
        const bool ended = pumpUntil([&] { return !window->isVisible(); }, 10'000);
        window.reset();
        return closer.fired() && ended;
    }

    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    TempDir folder;
    const std::string queueFile = folder.file("downloads.txt");
    servicesim::ServiceSim sim;
    std::optional<tolvenka::DownloadMaker> maker;
    std::optional<tolvenka::Main> state;
    std::optional<Twindow> window;
    QString skippedLine;
};

} // namespace

TEST_F(MainWindow, FirstStartWithoutAQueueFileSavesTheDefaultsAtClose) {
    state->targetFolder = tolvenka::defaultTargetFolder();
    auto& shown = openWindow();
    EXPECT_TRUE(window->findChild<QCheckBox*>(QStringLiteral("deleteWhenComplete"))->isChecked());
    EXPECT_NE(shown.findChild<QWidget*>(QStringLiteral("slot0")), nullptr);
    closeWindow();
    EXPECT_EQ(readFile(queueFile), "1\r\n" + tolvenka::defaultTargetFolder() + "\r\n");
}

TEST_F(MainWindow, NoCaptionOfTheWindowOrTheDialogsIsCutInALargerFont) {
    const QFont systemFont = QApplication::font();
    for (const int points : {11, 14}) {
        QFont font = systemFont;
        font.setPointSize(points);
        QApplication::setFont(font);
        // Built in that font, as at a start.
        state.emplace();
        state->targetFolder = folder.path() + "/";
        openWindow();
        EXPECT_EQ(cutCaptions(*window), QStringList()) << points;

        auto& links = state->DownloadsListDialog;
        links.setLinks({fileLink(std::to_string(points))});
        EXPECT_TRUE(testing_helpers::useModally(
            links, [&] { EXPECT_EQ(cutCaptions(links), QStringList()) << points; }));

        // The wait dialog grows for a progress text longer than the first.
        auto& wait = state->waitDialog;
        wait.show();
        wait.setInfo(std::string(kestrune::text::fromUtf8("Проверка ссылки 100000 из 100000...")));
        QApplication::processEvents();
        EXPECT_EQ(cutCaptions(wait), QStringList()) << points;
        wait.hide();
        closeWindow();
    }
    QApplication::setFont(systemFont);
}

TEST_F(MainWindow, TheCaptionNamesTheServiceWithACapital) {
    EXPECT_EQ(Twindow::inputCaption("rapidshare.com"),
              std::string(kestrune::text::fromUtf8(
                  "Введите ссылку на файл на Rapidshare.com, список таких ссылок или адрес "
                  "страницы со списком:")));
}

TEST_F(MainWindow, TheInputBoxWrapsNoLinkAndShowsAScrollBarOnlyForWhatIsHidden) {
    openWindow();
    QPlainTextEdit& input = *inputBox();
    const auto shows = [](const QScrollBar* bar) {
        QApplication::processEvents();
        return bar->isVisible();
    };
    EXPECT_FALSE(shows(input.horizontalScrollBar()));
    EXPECT_FALSE(shows(input.verticalScrollBar()));
    const QString longLink = QString::fromStdString(fileLink("1")) + QString(200, u'x');
    input.setPlainText(longLink);
    EXPECT_TRUE(shows(input.horizontalScrollBar()));
    EXPECT_EQ(input.document()->lineCount(), 1);
    EXPECT_EQ(input.document()->firstBlock().layout()->lineCount(), 1) << "not wrapped";
    input.setPlainText(QStringLiteral("a\n").repeated(40));
    EXPECT_FALSE(shows(input.horizontalScrollBar()));
    EXPECT_TRUE(shows(input.verticalScrollBar()));
}

TEST_F(MainWindow, TextWithoutAnyAddressSaysSo) {
    openWindow();
    MessageBoxCloser messages;
    EXPECT_FALSE(addText(QStringLiteral("no links here")));
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Не найдены ссылки."});
}

TEST_F(MainWindow, DownloadLinksGoStraightToTheDialogAndOtherAddressesAreDropped) {
    const std::string link = fileLink("5");
    openWindow();
    const auto shown = addText(QString::fromStdString("see http://example.com/ and " + link));
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, QStringList{QString::fromStdString(link)});
    for (const auto& request : sim.requests()) {
        EXPECT_NE(request.target, "/list") << "no page is loaded";
    }
}

TEST_F(MainWindow, OneOtherAddressIsLoadedAsAPageOfLinks) {
    const std::string first = fileLink("7");
    const std::string second = fileLink("8");
    sim.addPage("/page", "<a href=\"" + first +
                             "\">one</a> <a href=\"http://example.com/x\">x</a> " + second);
    openWindow();
    const auto shown = addText(QString::fromStdString("http://" + sim.host() + "/page"));
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, (QStringList{QString::fromStdString(first), QString::fromStdString(second)}));

    // A page that cannot be loaded is not a page without links.
    MessageBoxCloser messages;
    EXPECT_FALSE(addText(QString::fromStdString("http://" + sim.host() + "/gone")));
    EXPECT_EQ(messages.texts,
              std::vector<std::string>{"Не удалось загрузить страницу: сервер вернул ошибку 404."});
}

// Links without a file name, with or without the "/" after the number, are
// told in the dialog, before the choice; alone, in a message instead.
TEST_F(MainWindow, LinksWithLettersReachTheDialogWholeAndNamelessOnesAreCountedThere) {
    openWindow();
    MessageBoxCloser messages;
    const std::string files = "http://" + sim.host() + "/files/";
    const std::string withLetters = files + "6/Годовой_отчёт_日本.pdf";
    const auto shown =
        addText(QString::fromStdString(withLetters + " " + files + "7/ " + files + "7/ " + files +
                                       "8/.. " + files + "4011 http://example.com/"));
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, QStringList{QString::fromStdString(withLetters)});
    EXPECT_EQ(skippedLine, QString::fromUtf8("Пропущены ссылки без имени файла: 3."));
    EXPECT_TRUE(messages.texts.empty());

    // Without a link to offer, instead of the dialog; such a link is no page.
    for (const std::string& alone : {files + "9/", files + "4011"}) {
        EXPECT_FALSE(addText(QString::fromStdString(alone)));
        EXPECT_EQ(messages.texts.back(), "Пропущены ссылки без имени файла: 1.");
    }
    EXPECT_TRUE(sim.requests().empty());
    ASSERT_TRUE(addText(QString::fromStdString(withLetters)));
    EXPECT_TRUE(skippedLine.isEmpty());
}

TEST_F(MainWindow, EachFileIsOfferedOnceAtItsFirstPlace) {
    const std::string first = fileLink("7");
    const std::string second = fileLink("8");
    sim.addPage("/page", "<a href=\"" + first + "\">" + first + "</a> <a href=\"" + second + "\">" +
                             second + "</a>");
    openWindow();
    const auto shown = addText(QString::fromStdString("http://" + sim.host() + "/page"));
    ASSERT_TRUE(shown);
    EXPECT_EQ(*shown, (QStringList{QString::fromStdString(first), QString::fromStdString(second)}));
    // The same link with its scheme in capitals is the same link too.
    const auto typed =
        addText(QString::fromStdString(second + " " + first + " HTTP" + second.substr(4)));
    ASSERT_TRUE(typed);
    EXPECT_EQ(*typed, (QStringList{QString::fromStdString(second), QString::fromStdString(first)}));
}

TEST_F(MainWindow, TabWalksTheControlsAndEnterPressesTheFocusedButton) {
    openWindow();
    QApplication::setActiveWindow(&*window);
    QTest::keyClick(inputBox(), Qt::Key_Tab);
    EXPECT_TRUE(inputBox()->toPlainText().isEmpty()) << "no tab is typed";
    auto* add = qobject_cast<QPushButton*>(QApplication::focusWidget());
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add->text(), QStringLiteral("Добавить"));

    window->findChild<QPushButton*>(QStringLiteral("stop"))->setFocus();
    for (const char* next : {"deleteWhenComplete", "history", "settings"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), QString::fromUtf8(next));
    }

    auto* grid = window->findChild<QTableView*>(QStringLiteral("grid"));
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), grid) << "Tab leaves the grid";

    MessageBoxCloser messages;
    QTest::keyClick(add, Qt::Key_Return);
    EXPECT_TRUE(pumpUntil([&] { return !messages.texts.empty(); }));
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Не найдены ссылки."});
}

// What arrived is kept: offered again in another spelling, after its file
// was deleted too, it reads so with its date; "История…" lists it, finds it
// by a part of its name, and puts what arrives meanwhile on top.
TEST_F(MainWindow, WhatArrivedIsKeptInTheHistoryAndItsWindowShowsIt) {
    state->downloadsSet.add(fileLink("5", {Step::countdown("-5")}), state->targetFolder);
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return state->downloadsSet.count() == 0; }, 10'000));
    ASSERT_TRUE(std::filesystem::remove(folder.file("file5.zip")));
    const auto shown =
        addText(QString::fromStdString("HTTP://" + sim.host() + "/files/005/%66ile5.zip"));
    ASSERT_TRUE(shown);
    ASSERT_EQ(shown->size(), 1);
    const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    EXPECT_TRUE((*shown)[0].endsWith(QString::fromUtf8(" — уже загружен ") + today))
        << (*shown)[0].toStdString();

    testing_helpers::clickButton(*window, QStringLiteral("history"));
    auto* history = window->findChild<tolvenka::HistoryWindow*>();
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(history->windowTitle(), QString::fromUtf8("Загруженные файлы"));
    const QAbstractItemModel& records =
        *history->findChild<QTableView*>(QStringLiteral("records"))->model();
    ASSERT_EQ(records.rowCount(), 1);
    EXPECT_EQ(records.data(records.index(0, 0)).toString(), QStringLiteral("file5.zip"));
    auto* filter = history->findChild<QLineEdit*>(QStringLiteral("filter"));
    EXPECT_EQ(history->focusWidget(), filter);
    QTest::keyClicks(filter, QStringLiteral("FILE6"));
    EXPECT_EQ(records.rowCount(), 0);
    filter->clear();
    state->downloadsSet.add(fileLink("6", {Step::countdown("-5")}), state->targetFolder);
    EXPECT_TRUE(pumpUntil(
        [&] {
            return records.rowCount() == 2 &&
                   records.data(records.index(0, 0)).toString() == QStringLiteral("file6.zip");
        },
        10'000));
}

TEST_F(MainWindow, TwoOtherAddressesAreNoDownloadLinksAndNothingIsLoaded) {
    openWindow();
    MessageBoxCloser messages;
    EXPECT_FALSE(addText(QString::fromStdString(sim.listUrl() + " " + sim.listUrl())));
    EXPECT_EQ(messages.texts, std::vector<std::string>{"Не найдены ссылки на закачки."});
    EXPECT_TRUE(sim.requests().empty());
}

TEST_F(MainWindow, ClosingDuringATransferWaitsForTheWorkerAndStoresQueue) {
    const std::string link = queueSlowFile();
    openWindow();
    ASSERT_TRUE(
        pumpUntil([&] { return (*state->downloadsSet.begin())->getReceivedBytes() > 0; }, 10'000));
    // The row shows the share received, and says it.
    const QAbstractItemModel& rows =
        *window->findChild<QTableView*>(QStringLiteral("grid"))->model();
    const QModelIndex stateCell = rows.index(0, tolvenka::DownloadsGridModel::StateColumn);
    ASSERT_TRUE(pumpUntil([&] { return rows.data(stateCell, Qt::UserRole + 1).toInt() > 0; }));
    EXPECT_TRUE(rows.data(stateCell, Qt::AccessibleDescriptionRole)
                    .toString()
                    .contains(QRegularExpression(QString::fromUtf8("\\nПринято: \\d+ %"))));

    window->closeWithoutAsking(); // as SIGTERM does
    const std::string saved = readFile(queueFile);
    EXPECT_NE(saved.find(link + "\r\n" + folder.path() + "/big.bin\r\nQueue\r\n"),
              std::string::npos)
        << saved;
    // A second close request while the worker is still ending writes nothing;
    // what changes meanwhile is written once the worker has ended.
    std::filesystem::remove(queueFile);
    window->closeWithoutAsking();
    EXPECT_FALSE(std::filesystem::exists(queueFile));
    window->findChild<QCheckBox*>(QStringLiteral("deleteWhenComplete"))->click();

    ASSERT_TRUE(pumpUntil([&] { return !window->isVisible(); }, 10'000));
    const std::string last = readFile(queueFile);
    EXPECT_EQ(last.substr(0, 3), "0\r\n");
    EXPECT_NE(last.find(link + "\r\n" + folder.path() + "/big.bin\r\nQueue\r\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/big.bin.part"));
}

// The percent first in the title, so that a narrow task bar button shows
// it; the state cell's text is what its bar says.
TEST_F(MainWindow, ATransfersShareShowsInTheTitleItsRowAndTheBox) {
    queueSlowFile("book.pdf", 3'000'000, 1'500'000);
    openWindow();
    const QRegularExpression title(QString::fromUtf8("^(\\d+) % — Толвенка$"));
    const QRegularExpression row(QString::fromUtf8("^Загрузка (\\d+) %$"));
    const QRegularExpression box(QStringLiteral("^\\d+ \\((\\d+) %\\)$"));
    const QAbstractItemModel& rows =
        *window->findChild<QTableView*>(QStringLiteral("grid"))->model();
    const auto received = [&] {
        return testing_helpers::shownValue(*window->findChild<QWidget*>(QStringLiteral("slot0")),
                                           QStringLiteral("received"));
    };
    // Read together, between two ticks of the panel.
    ASSERT_TRUE(pumpUntil(
        [&] {
            return title.match(window->windowTitle()).hasMatch() &&
                   box.match(received()).hasMatch();
        },
        10'000))
        << window->windowTitle().toStdString() << " " << received().toStdString();
    const int inTitle = title.match(window->windowTitle()).captured(1).toInt();
    const QString rowText =
        rows.data(rows.index(0, tolvenka::DownloadsGridModel::StateColumn)).toString();
    ASSERT_TRUE(row.match(rowText).hasMatch()) << rowText.toStdString();
    EXPECT_LE(std::abs(row.match(rowText).captured(1).toInt() - inTitle), 1);
    EXPECT_EQ(box.match(received()).captured(1).toInt(), inTitle);

    // The file arrived, and its row went: the title is the name alone.
    ASSERT_TRUE(pumpUntil([&] { return state->downloadsSet.count() == 0; }, 10'000));
    ASSERT_TRUE(pumpUntil([&] { return window->windowTitle() == QString::fromUtf8("Толвенка"); }));
}

// A close request of the user's during a transfer asks, once however often
// it comes, and "Не выходить" keeps the transfer going.
TEST_F(MainWindow, ClosingDuringATransferAsksFirstAndNotLeavingKeepsItGoing) {
    queueSlowFile();
    openWindow();
    const tolvenka::Download& download = **state->downloadsSet.begin();
    ASSERT_TRUE(pumpUntil([&] { return download.getTotalBytes() > 0; }, 10'000));

    // The question runs its own event loop: it is answered from there.
    QString asked;
    QString defaultAnswer;
    int questions = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (question == nullptr || !asked.isEmpty()) {
            return;
        }
        asked = question->text();
        defaultAnswer = question->defaultButton()->text();
        window->close();
        QCoreApplication::processEvents();
        questions = static_cast<int>(window->findChildren<QMessageBox*>().size());
        QTest::keyClick(question, Qt::Key_Escape);
    });
    answer.start(5);
    window->close();
    ASSERT_TRUE(pumpUntil([&] { return !asked.isEmpty(); }));
    EXPECT_TRUE(asked.startsWith(QString::fromUtf8("Идёт загрузка «big.bin» (принято ")))
        << asked.toStdString();
    EXPECT_TRUE(asked.endsWith(QString::fromUtf8(" %). Выйти? Принятое будет потеряно.")))
        << asked.toStdString();
    EXPECT_EQ(defaultAnswer, QString::fromUtf8("Не выходить"));
    EXPECT_EQ(questions, 1) << "one question at a time";
    ASSERT_TRUE(pumpUntil([&] { return QApplication::activeModalWidget() == nullptr; }));
    const std::int64_t receivedThen = download.getReceivedBytes();
    ASSERT_TRUE(pumpUntil([&] { return download.getReceivedBytes() > receivedThen; }));
    EXPECT_TRUE(window->isVisible());
}

// Stopped, the window says so; the last of three rows moved to the top with
// Ctrl+Home is the first fetched when downloading goes on.
TEST_F(MainWindow, TheRowMovedToTheTopWithCtrlHomeIsFetchedFirst) {
    openWindow();
    testing_helpers::clickButton(*window, QStringLiteral("stop"));
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Толвенка — остановлено"));
    EXPECT_TRUE(window->findChild<QPushButton*>(QStringLiteral("start"))->isDefault());
    auto* panel = window->findChild<tolvenka::DownloadsSetPanel*>(QStringLiteral("downloads"));
    ASSERT_TRUE(pumpUntil([&] {
        return testing_helpers::shownValue(*panel->findChild<QWidget*>(QStringLiteral("slot0")),
                                           QStringLiteral("state")) ==
               QString::fromUtf8("Загрузка остановлена");
    }));
    state->downloadsSet.add({fileLink("1"), fileLink("2"), fileLink("3")}, state->targetFolder);
    panel->onTimer();
    auto* grid = window->findChild<QTableView*>(QStringLiteral("grid"));
    grid->setFocus();
    grid->selectRow(2);
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(grid->selectionModel()->selectedRows().value(0).row(), 0) << "the selection follows";

    testing_helpers::clickButton(*window, QStringLiteral("start"));
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Толвенка"));
    ASSERT_TRUE(pumpUntil([&] { return !sim.requests().empty(); }, 10'000));
    EXPECT_EQ(sim.requests().front().target, "/files/3/file3.zip");
}

TEST_F(MainWindow, ClosingWhileTheConfirmationDialogIsOpenClosesItAndAddsNothing) {
    const std::string link = fileLink("12");
    openWindow();
    inputBox()->setPlainText(QString::fromStdString(link));
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget() != nullptr) {
            window->closeWithoutAsking(); // as SIGTERM does
        }
    });
    closer.start(5);
    testing_helpers::clickButton(*window, QStringLiteral("add"));
    closer.stop();
    EXPECT_EQ(state->downloadsSet.count(), 0);
    ASSERT_TRUE(pumpUntil([&] { return !window->isVisible(); }, 10'000));
    EXPECT_EQ(readFile(queueFile), "1\r\n" + folder.path() + "/\r\n");
}

TEST_F(MainWindow, TheQueueFileFollowsChangesWhileTheProgramRuns) {
    const std::string link = fileLink("11", {Step::notFound()});
    openWindow();
    state->downloadsSet.add(link, state->targetFolder);
    ASSERT_TRUE(pumpUntil([&] { return readFile(queueFile).find("NotFound") != std::string::npos; },
                          5'000));
    window->findChild<QCheckBox*>(QStringLiteral("deleteWhenComplete"))->setChecked(false);
    ASSERT_TRUE(pumpUntil([&] { return readFile(queueFile).rfind("0\r\n", 0) == 0; }, 5'000));
}

TEST_F(MainWindow, ADownloadThatCannotBeWrittenHereStopsWithItsReasonAndTheQueueGoesOn) {
    testing_helpers::writeFile(folder.file("blocker"), "");
    const std::string blocked = fileLink("21", {Step::countdown("-5")});
    const std::string next = fileLink("22", {Step::countdown("-5")});
    state->downloadsSet.add(blocked, folder.file("blocker") + "/sub");
    state->downloadsSet.add(next, state->targetFolder);
    openWindow();
    ASSERT_TRUE(
        pumpUntil([&] { return std::filesystem::exists(folder.file("file22.zip")); }, 10'000));
    const tolvenka::Download* stopped = state->downloadsSet.at(0);
    EXPECT_EQ(stopped->getState(), tolvenka::Download::State::Error);
    EXPECT_EQ(tolvenka::toQString(stopped->getFailureReason()),
              QString::fromUtf8("не удаётся создать папку ") +
                  QString::fromStdString(folder.file("blocker") + "/sub/"));
    // It stays in the queue, and is saved so.
    const std::string record =
        blocked + "\r\n" + folder.file("blocker") + "/sub/file21.zip\r\nQueue\r\n";
    EXPECT_TRUE(
        pumpUntil([&] { return readFile(queueFile).find(record) != std::string::npos; }, 5'000));

    // Mended, "Продолжить загрузку" gives it one more try.
    std::filesystem::remove(folder.file("blocker"));
    testing_helpers::clickButton(*window, QStringLiteral("start"));
    EXPECT_TRUE(pumpUntil(
        [&] { return std::filesystem::exists(folder.file("blocker") + "/sub/file21.zip"); },
        10'000));
}

TEST_F(MainWindow, AQueueFileThatCannotBeWrittenIsToldOnce) {
    testing_helpers::writeFile(queueFile, "1\r\n" + folder.path() + "/\r\n");
    std::filesystem::permissions(queueFile, std::filesystem::perms::owner_read);
    MessageBoxCloser messages;
    openWindow();
    state->downloadsSet.add(fileLink("31", {Step::notFound()}), state->targetFolder);
    ASSERT_TRUE(pumpUntil([&] { return !messages.texts.empty(); }, 5'000));
    state->downloadsSet.add(fileLink("32", {Step::notFound()}), state->targetFolder);
    pumpFor(2'500);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find(queueFile), std::string::npos) << messages.texts[0];
    EXPECT_NE(messages.texts[0].find("нет доступа к файлу"), std::string::npos);
    std::filesystem::permissions(queueFile, std::filesystem::perms::owner_all);
}

TEST_F(MainWindow, SettingsThatCannotBeKeptAreToldOnce) {
    std::filesystem::create_directories(folder.file("config/tolvenka/tolvenka.conf"));
    MessageBoxCloser messages;
    openWindow();
    window->findChild<QCheckBox*>(QStringLiteral("watchClipboard"))->setChecked(true);
    ASSERT_TRUE(pumpUntil([&] { return !messages.texts.empty(); }, 5'000));
    window->findChild<QCheckBox*>(QStringLiteral("watchClipboard"))->setChecked(false);
    pumpFor(500);
    EXPECT_EQ(messages.texts,
              std::vector<std::string>{"Настройки не сохранены: это не обычный файл"});
}

TEST_F(MainWindow, ClosingAtEachStageOfAnExistenceCheckEndsCleanly) {
    const std::string links =
        fileLink("1", {Step::notFound()}) + " " + fileLink("2") + " " + fileLink("3");
    const auto checkFiles = [&] {
        testing_helpers::clickButton(state->DownloadsListDialog, QStringLiteral("checkFiles"));
    };
    for (int box = 1; box <= 3; ++box) {
        bool reached = false;
        state->waitDialog.onInfoChange = [&](const std::string& text) {
            reached = reached || kestrune::text::toUtf8(text).starts_with(
                                     "Проверка ссылки " + std::to_string(box) + " ");
        };
        EXPECT_TRUE(closeWhileAdding(
            links, [&] { return reached; }, checkFiles))
            << box;
    }
    state->waitDialog.onInfoChange.clear();
    const auto messageShown = [] {
        return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
    };
    EXPECT_TRUE(closeWhileAdding(links, messageShown, checkFiles));
    EXPECT_EQ(state->downloadsSet.count(), 0);
}

TEST_F(MainWindow, ClosingDuringAPageLoadOrInTheFolderBrowserEndsCleanly) {
    testing_helpers::LoopbackServer silent(testing_helpers::LoopbackServer::Mode::Silent);
    EXPECT_TRUE(
        closeWhileAdding(silent.url("/list"), [&] { return silent.acceptedConnections() > 0; }));

    const std::string folderBefore = state->targetFolder;
    const auto browserShown = [] {
        return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr;
    };
    EXPECT_TRUE(closeWhileAdding(fileLink("4"), browserShown, [&] {
        testing_helpers::clickButton(state->DownloadsListDialog, QStringLiteral("selectPath"));
    }));
    EXPECT_EQ(state->targetFolder, folderBefore);
    EXPECT_EQ(state->downloadsSet.count(), 0);
}

TEST_F(MainWindow, LinksHandedOverByALaterStartReachTheConfirmationDialog) {
    const QStringList links{QString::fromStdString(fileLink("7")),
                            QString::fromStdString(fileLink("8"))};
    openWindow();
    inputBox()->setPlainText(QStringLiteral("typed before"));
    tolvenka::LinkListener listener;
    const QString socket = tolvenka::LinkListener::socketName(queueFile, folder.path());
    ASSERT_TRUE(listener.listen(socket));
    listener.setReceiver([&](const QString& text) { return window->addFromOutside(text); });

    std::optional<QStringList> shown;
    testing_helpers::WhenReady user(
        [&] { return state->DownloadsListDialog.isVisible(); },
        [&] {
            shown = testing_helpers::LinkRows(state->DownloadsListDialog).texts();
            state->DownloadsListDialog.reject();
        });
    std::atomic<bool> handedOver = false;
    std::thread laterStart([&] {
        handedOver =
            tolvenka::handOverLinks(socket, links.join(u'\n')) == tolvenka::HandOver::Taken;
    });
    EXPECT_TRUE(pumpUntil([&] { return shown.has_value(); }));
    laterStart.join();
    EXPECT_TRUE(handedOver);
    EXPECT_EQ(shown, links);
    EXPECT_EQ(inputBox()->toPlainText(), QStringLiteral("typed before")) << "left as typed";
}

TEST_F(MainWindow, LinksThatArriveWhileADialogIsOpenWaitForItToClose) {
    const QString first = QString::fromStdString(fileLink("7"));
    const QString second = QString::fromStdString(fileLink("8"));
    openWindow();
    // In each confirmation dialog: the rows it holds a while after it opened.
    std::vector<QStringList> shown;
    bool answering = false;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto& dialog = state->DownloadsListDialog;
        if (answering || QApplication::activeModalWidget() != &dialog) {
            return;
        }
        answering = true;
        if (shown.empty()) {
            EXPECT_TRUE(window->addFromOutside(second));
        }
        QTimer::singleShot(300, &dialog, [&] {
            shown.push_back(testing_helpers::LinkRows(dialog).texts());
            answering = false;
            dialog.reject();
        });
    });
    user.start(5);
    EXPECT_TRUE(window->addFromOutside(first));
    EXPECT_TRUE(pumpUntil([&] { return shown.size() == 2; }));
    EXPECT_EQ(shown, (std::vector<QStringList>{{first}, {second}}));
}

TEST_F(MainWindow, DropsAnywhereGoToTheEndOfTheInputBox) {
    openWindow();
    inputBox()->setPlainText(QStringLiteral("typed"));
    const auto drop = [](QWidget& target, const QMimeData& data) {
        const QPointF middle = QRectF(target.rect()).center();
        QDragEnterEvent enter(middle.toPoint(), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&target, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent dropped(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&target, &dropped);
    };
    QMimeData addresses;
    addresses.setUrls({QUrl(QStringLiteral("http://a/1")), QUrl(QStringLiteral("http://b/Год 2"))});
    drop(*window, addresses);
    QMimeData text;
    text.setText(QStringLiteral("http://c/3"));
    drop(*inputBox()->viewport(), text);
    EXPECT_EQ(inputBox()->toPlainText(),
              QStringLiteral("typed\nhttp://a/1\nhttp://b/%D0%93%D0%BE%D0%B4%202\nhttp://c/3"));
    EXPECT_EQ(state->DownloadsListDialog.isVisible(), false) << "a drop adds nothing by itself";
}

// Removed while it transfers, the running download leaves once its run has
// ended, and the download behind it runs as usual.
TEST_F(MainWindow, RemovingTheRunningDownloadLetsTheNextOneRun) {
    queueSlowFile();
    const std::string next = fileLink("1");
    state->downloadsSet.add(next, state->targetFolder);
    openWindow();
    const tolvenka::Download& running = **state->downloadsSet.begin();
    ASSERT_TRUE(pumpUntil([&] { return running.getReceivedBytes() > 0; }, 10'000));

    auto* grid = window->findChild<QTableView*>(QStringLiteral("grid"));
    grid->setFocus();
    grid->selectRow(0);
    testing_helpers::QuestionAnswerer answers(QString::fromUtf8("Удалить"));
    QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_EQ(answers.asked.size(), 1u);

    ASSERT_TRUE(
        pumpUntil([&] { return std::filesystem::exists(folder.path() + "/file1.zip"); }, 10'000));
    ASSERT_TRUE(pumpUntil([&] { return state->downloadsSet.count() <= 1; }));
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/big.bin.part"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/big.bin"));
}

// Links a later start handed over just as the close begins have been
// promised a place: the queue file the close writes holds them.
TEST_F(MainWindow, LinksHandedOverAsTheCloseBeginsAreInTheQueueItWrites) {
    const std::string queued = fileLink("1");
    state->downloadsSet.add(queued, state->targetFolder);
    openWindow();
    testing_helpers::clickButton(*window, QStringLiteral("stop"));
    const std::string fresh = fileLink("2");
    ASSERT_TRUE(
        window->addFromOutside(QString::fromStdString(queued + "\n" + fresh + " " + fresh)));
    window->closeWithoutAsking();
    ASSERT_TRUE(pumpUntil([&] { return !window->isVisible(); }, 10'000));
    const std::string saved = readFile(queueFile);
    EXPECT_NE(saved.find(fresh + "\r\n" + folder.path() + "/file2.zip\r\nQueue\r\n"),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find(queued), saved.rfind(queued)) << "a link already queued is not again";
}

// A later start counts its links as taken once its commit has left. The
// holder is held at each step their way to the dialog takes, and closed
// there as a termination signal closes it: the queue it writes has them.
TEST_F(MainWindow, ACommitSentBeforeTheCloseIsKeptAtEveryStepOfTheLinksWay) {
    enum class Moment { CommitUnread, BeingSearched, InTheDialog };
    for (const Moment moment : {Moment::CommitUnread, Moment::BeingSearched, Moment::InTheDialog}) {
        const std::string link = fileLink(std::to_string(10 + static_cast<int>(moment)));
        openWindow();
        testing_helpers::clickButton(*window, QStringLiteral("stop"));
        tolvenka::LinkListener listener;
        const QString socketName = tolvenka::LinkListener::socketName(queueFile, folder.path());
        ASSERT_TRUE(listener.listen(socketName));
        listener.setReceiver([&](const QString& text) {
            EXPECT_TRUE(window->addFromOutside(text));
            if (moment == Moment::BeingSearched) {
                window->closeWithoutAsking();
            }
        });
        // Checked from within the dialog's own event loop.
        testing_helpers::WhenReady closeOverTheDialog(
            [&] { return moment == Moment::InTheDialog && state->DownloadsListDialog.isVisible(); },
            [&] { window->closeWithoutAsking(); });
        window->onClosing = [&] {
            listener.stopTaking();
        };

        // The later start, a step at a time: its text, the answer, the commit.
        const int laterStart = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = socketName.toUtf8();
        std::copy(path.begin(), path.end(), address.sun_path);
        ASSERT_EQ(::connect(laterStart, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const std::string text = link + '\0';
        ASSERT_EQ(::send(laterStart, text.data(), text.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(text.size()));
        char answer = 0;
        ASSERT_TRUE(pumpUntil([&] { return ::recv(laterStart, &answer, 1, MSG_DONTWAIT) == 1; }));
        ASSERT_EQ(answer, tolvenka::LinkListener::ready);
        ASSERT_EQ(::send(laterStart, &tolvenka::LinkListener::commit, 1, MSG_NOSIGNAL), 1);
        // The holder has not looked at its socket since the answer.
        if (moment == Moment::CommitUnread) {
            window->closeWithoutAsking();
        }
        ASSERT_TRUE(pumpUntil([&] { return !window->isVisible(); }, 10'000));
        window.reset();
        ::close(laterStart);
        EXPECT_NE(readFile(queueFile).find(link + "\r\n"), std::string::npos)
            << "moment " << static_cast<int>(moment);
        std::filesystem::remove(queueFile);
        state->downloadsSet.clearAll();
    }
}

// A queue file that could not be read (no memory for one of absurd size)
// is told, and the program ends without writing over it.
TEST_F(MainWindow, AQueueFileThatCannotBeReadIsToldAndLeftAsItWas) {
    const std::string content = "1\r\n/f/\r\n";
    testing_helpers::writeFile(queueFile, content);
    tolvenka::QueueFileReading reading(
        queueFile,
        [](const std::string&, tolvenka::BlockReader&) -> int { throw std::bad_alloc(); });
    MessageBoxCloser messages;
    window.emplace(*state, queueFile, &reading);
    window->show();
    ASSERT_TRUE(pumpUntil([&] { return !messages.texts.empty(); }));
    EXPECT_TRUE(pumpUntil([&] { return !window->isVisible(); }));
    window.reset();
    EXPECT_EQ(readFile(queueFile), content);
}

// A queue file that never finishes reading (a stalled network mount) holds
// nothing up: the close ends the program at once and leaves the file alone.
TEST_F(MainWindow, AQueueFileThatNeverFinishesReadingLetsItCloseAndStaysAsItWas) {
    const std::string content = "1\r\n/f/\r\n";
    testing_helpers::writeFile(queueFile, content);
    auto stalled = std::make_shared<std::promise<void>>();
    auto reading = std::make_unique<tolvenka::QueueFileReading>(
        queueFile, [release = stalled->get_future().share()](const std::string&,
                                                             tolvenka::BlockReader& readBlock) {
            release.wait();
            readBlock = [](std::string&) {
                return 0;
            };
            return 0;
        });
    window.emplace(*state, queueFile, reading.get());
    window->show();
    EXPECT_FALSE(window->findChild<QPushButton*>(QStringLiteral("add"))->isEnabled());
    window->saveNow();
    window->close();
    EXPECT_TRUE(pumpUntil([&] { return !window->isVisible(); }, 2'000));
    window.reset();
    reading.reset();
    stalled->set_value();
    EXPECT_EQ(readFile(queueFile), content);
}

TEST_F(MainWindow, TheSpeedLimitIsOneBoxBesideTheButtonsAndAppliesAtOnce) {
    openWindow();
    auto* box = window->findChild<QSpinBox*>(QStringLiteral("speedLimit"));
    ASSERT_NE(box, nullptr);
    const QString caption = QString::fromUtf8("Скорость не выше, кБ/с:");
    EXPECT_EQ(box->accessibleName(), caption);
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
        return label->text() == caption && label->buddy() == box;
    }));
    EXPECT_EQ(box->text(), QString::fromUtf8("без ограничения"));
    EXPECT_EQ(state->speedLimit.bytesPerSecond(), 0);

    box->setFocus();
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(box->value(), 50);
    EXPECT_EQ(state->speedLimit.bytesPerSecond(), 50 * 1024);
    // Typed digits apply when the number is done, not one at a time: with
    // Enter, or once typing rests for half a second.
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("600"));
    EXPECT_EQ(state->speedLimit.bytesPerSecond(), 50 * 1024);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(state->speedLimit.bytesPerSecond(), 600 * 1024);
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("200"));
    EXPECT_EQ(state->speedLimit.bytesPerSecond(), 600 * 1024);
    EXPECT_TRUE(pumpUntil([&] { return state->speedLimit.bytesPerSecond() == 200 * 1024; }, 2000));
    // A box emptied to type anew waits for the number.
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    pumpFor(700);
    EXPECT_EQ(box->text(), QString());
    EXPECT_EQ(state->speedLimit.bytesPerSecond(), 200 * 1024);
    // A number off the arrows' steps is taken as typed, and they step from it.
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("75"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(state->speedLimit.bytesPerSecond(), 75 * 1024);
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(box->value(), 125);
}

TEST_F(MainWindow, TheSpeedLimitAndTheWatchSurviveARestartAndTheQueueFileKeepsItsTwoLines) {
    openWindow();
    window->findChild<QSpinBox*>(QStringLiteral("speedLimit"))->setValue(300);
    window->findChild<QCheckBox*>(QStringLiteral("watchClipboard"))->setChecked(true);
    closeWindow();
    EXPECT_EQ(readFile(queueFile), "1\r\n" + folder.path() + "/\r\n");
    // The limit is written once the arrows rest, here at the close.
    EXPECT_EQ(readFile(folder.file("config/tolvenka/tolvenka.conf")),
              "[General]\nwatchClipboard=true\nspeedLimit=300\n");

    state.emplace();
    openWindow();
    EXPECT_EQ(window->findChild<QSpinBox*>(QStringLiteral("speedLimit"))->value(), 300);
    EXPECT_EQ(state->speedLimit.bytesPerSecond(), 300 * 1024);
    EXPECT_TRUE(window->findChild<QCheckBox*>(QStringLiteral("watchClipboard"))->isChecked());
    OfferedLinks offered(state->DownloadsListDialog);
    const std::string link = fileLink("31");
    copy(link);
    EXPECT_TRUE(pumpUntil([&] { return offered.shown.size() == 1; }));
}

// What the watch takes and what not is its own matter (ClipboardWatchTest).
TEST_F(MainWindow, CopiedLinksNotQueuedOpenTheDialogAndBringTheWindowUp) {
    const std::string queued = fileLink("21");
    const std::string first = fileLink("22");
    const std::string second = fileLink("23");
    openWindow();
    state->downloadsSet.add(queued, state->targetFolder);
    state->downloadsSet.hold({state->downloadsSet.at(0)});
    auto* watch = window->findChild<QCheckBox*>(QStringLiteral("watchClipboard"));
    EXPECT_FALSE(watch->isChecked());
    watch->setChecked(true);
    window->showMinimized();
    OfferedLinks offered(state->DownloadsListDialog);
    copy(queued);
    pumpFor(300);
    EXPECT_TRUE(offered.shown.empty());

    // A copy while the dialog is open waits for it to close.
    offered.whileOpen = [&] {
        copy(second);
    };
    copy(first);
    ASSERT_TRUE(pumpUntil([&] { return offered.shown.size() == 2; }));
    EXPECT_EQ(offered.shown, (std::vector<QStringList>{{QString::fromStdString(first)},
                                                       {QString::fromStdString(second)}}));
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);
}

// "Остановить загрузку" is kept at once: the next start shows it and fetches
// nothing until "Продолжить загрузку".
TEST_F(MainWindow, AStopHoldsAcrossARestartUntilDownloadingGoesOn) {
    queueSlowFile();
    openWindow();
    ASSERT_TRUE(
        pumpUntil([&] { return (*state->downloadsSet.begin())->getReceivedBytes() > 0; }, 10'000));
    // What is left of its 48 MB, as the transfer tells it.
    EXPECT_TRUE(pumpUntil([&] {
        return QRegularExpression(QString::fromUtf8("^В очереди: 1 · 4\\d МБ$"))
            .match(statusLine())
            .hasMatch();
    })) << statusLine().toStdString();
    testing_helpers::clickButton(*window, QStringLiteral("stop"));
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Толвенка — остановлено"));
    EXPECT_NE(settingsText().find("stopped=true"), std::string::npos);
    ASSERT_TRUE(pumpUntil([&] {
        return (*state->downloadsSet.begin())->getState() == tolvenka::Download::State::Queued;
    }));
    closeWindow();

    state.emplace();
    state->targetFolder = folder.path() + "/";
    const std::size_t requestsBefore = sim.requests().size();
    openWindow();
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Толвенка — остановлено"));
    EXPECT_TRUE(statusLine().endsWith(QString::fromUtf8(" · остановлено")))
        << statusLine().toStdString();
    pumpFor(500);
    EXPECT_EQ(sim.requests().size(), requestsBefore) << "nothing is fetched";
    const tolvenka::Download* download = state->downloadsSet.at(0);
    testing_helpers::clickButton(*window, QStringLiteral("start"));
    EXPECT_TRUE(pumpUntil([&] { return download->getReceivedBytes() > 0; }, 10'000));
    EXPECT_NE(settingsText().find("stopped=false"), std::string::npos);
}

// Outside the hours a transfer stops as the button stops it, and the title
// says till when; the hours changed in "Настройки…" let it go on at once.
TEST_F(MainWindow, TheScheduleStopsATransferAtTheEndOfItsHoursAndAChangeLetsItGoOn) {
    std::filesystem::create_directories(folder.file("config/tolvenka"));
    testing_helpers::writeFile(folder.file("config/tolvenka/tolvenka.conf"),
                               "[schedule]\nenabled=true\nfrom=23:00\nto=12:30\n");
    queueSlowFile();
    auto* clock = new testing_helpers::FakeWallClock;
    clock->now = testing_helpers::FakeWallClock::at(12, 0);
    openWindow(clock);
    const tolvenka::Download& download = **state->downloadsSet.begin();
    ASSERT_TRUE(pumpUntil([&] { return download.getReceivedBytes() > 0; }, 10'000));
    EXPECT_EQ(clock->alarmAt, testing_helpers::FakeWallClock::at(12, 30));

    ASSERT_TRUE(clock->ringAlarm());
    ASSERT_TRUE(
        pumpUntil([&] { return download.getState() == tolvenka::Download::State::Queued; }));
    EXPECT_EQ(window->windowTitle(), QString::fromUtf8("Толвенка — ждёт расписания до 23:00"));
    EXPECT_EQ(settingsText().find("stopped"), std::string::npos) << "no stop of the user's";
    const std::size_t requestsThen = sim.requests().size();
    pumpFor(300);
    EXPECT_EQ(sim.requests().size(), requestsThen);

    testing_helpers::WhenReady user(
        [] { return dynamic_cast<tolvenka::SettingsDialog*>(QApplication::activeModalWidget()); },
        [] {
            auto* dialog =
                dynamic_cast<tolvenka::SettingsDialog*>(QApplication::activeModalWidget());
            EXPECT_TRUE(dialog->findChild<QCheckBox*>(QStringLiteral("scheduleOn"))->isChecked());
            EXPECT_FALSE(dialog->findChild<QCheckBox*>(QStringLiteral("closeToTray"))->isVisible())
                << "no tray here";
            dialog->findChild<QTimeEdit*>(QStringLiteral("scheduleTo"))->setTime(QTime(14, 0));
            dialog->accept();
        });
    testing_helpers::clickButton(*window, QStringLiteral("settings"));
    ASSERT_TRUE(user.fired());
    EXPECT_TRUE(pumpUntil(
        [&] { return download.getState() == tolvenka::Download::State::Downloading; }, 10'000));
    EXPECT_NE(window->windowTitle(), QString::fromUtf8("Толвенка — ждёт расписания до 23:00"));
    EXPECT_EQ(clock->alarmAt, testing_helpers::FakeWallClock::at(14, 0));
    EXPECT_NE(settingsText().find("[schedule]\nenabled=true\nfrom=23:00\nto=14:00\n"),
              std::string::npos);
}

// The service makes the queue wait: the title counts it down, the status
// line says what for.
TEST_F(MainWindow, AWaitTheServiceImposesIsCountedDownInTheTitleAndNamedInTheStatusLine) {
    state->downloadsSet.add(fileLink("41", {Step::waitMinutes(12)}), state->targetFolder);
    openWindow();
    const QRegularExpression title(QString::fromUtf8("^Ожидание 1[12]:\\d\\d — Толвенка$"));
    ASSERT_TRUE(pumpUntil([&] { return title.match(window->windowTitle()).hasMatch(); }, 10'000))
        << window->windowTitle().toStdString();
    EXPECT_TRUE(QRegularExpression(
                    QString::fromUtf8("^В очереди: 1 · Подождите 12 минут \\(ещё 1[12]:\\d\\d\\)$"))
                    .match(statusLine())
                    .hasMatch())
        << statusLine().toStdString();
    // A second later it reads a second less.
    const QString first = window->windowTitle();
    EXPECT_TRUE(pumpUntil([&] { return window->windowTitle() != first; }, 2500));
    EXPECT_TRUE(title.match(window->windowTitle()).hasMatch());
}

// The input box takes the lines its text needs; where the user drags the
// divider, it keeps that place as its least, at the next start too.
TEST_F(MainWindow, TheInputBoxGrowsWithItsTextAndKeepsThePlaceTheDividerWasDraggedTo) {
    openWindow();
    ASSERT_TRUE(pumpUntil([&] { return window->isActiveWindow(); }));
    QPlainTextEdit& input = *inputBox();
    const int empty = input.height();
    input.setPlainText(QStringLiteral("http://example.com/a\n").repeated(5));
    EXPECT_TRUE(pumpUntil([&] { return input.height() > empty; }));
    input.clear();
    EXPECT_TRUE(pumpUntil([&] { return input.height() == empty; }));

    const int lineSpacing = input.fontMetrics().lineSpacing();
    QSplitterHandle* handle = window->findChild<QSplitter*>()->handle(1);
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(20, 1));
    QTest::mouseMove(handle, QPoint(20, 1 + 4 * lineSpacing));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(20, 1 + 4 * lineSpacing));
    const int dragged = input.height();
    EXPECT_GE(dragged, empty + 3 * lineSpacing);
    ASSERT_TRUE(pumpUntil([&] { return settingsText().find("inputLines=") != std::string::npos; }));
    input.setPlainText(QStringLiteral("http://example.com/b"));
    QApplication::processEvents();
    EXPECT_EQ(input.height(), dragged) << "a short text keeps the place";
    closeWindow();

    state.emplace();
    openWindow();
    EXPECT_NEAR(inputBox()->height(), dragged, lineSpacing / 2 + 1);
}
