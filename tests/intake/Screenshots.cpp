// Renders each intake dialog offscreen to a PNG, so that a person can look
// at the texts and the layout: intake_screenshots FOLDER
#include "intake/LinkListModel.h"
#include "intake/TDownloadsListDialog.h"
#include "intake/TwaitDialog.h"
#include "queue/ArrivalHistory.h"
#include "queue/DownloadsSet.h"
#include "service/DownloadMaker.h"
#include "service/ServiceHost.h"
#include "support/Cp1251.h"
#include "widgets/RussianTranslations.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <iostream>
#include <sstream>

namespace {

using namespace kestrune::text::literals;

void save(QWidget& widget, const QString& folder, const QString& name) {
    widget.show();
    QApplication::processEvents();
    const QString file = folder + QLatin1Char('/') + name;
    if (!widget.grab().save(file)) {
        std::cerr << "cannot write " << file.toStdString() << '\n';
    }
    widget.hide();
}

// A hundred thousand links, as a big page gives them.
std::vector<std::string> sampleLinks() {
    std::vector<std::string> links;
    for (int i = 1; i <= 100'000; ++i) {
        links.push_back("http://rapidshare.com/files/" + std::to_string(1000 + i) +
                        "/archive-part" + std::to_string(i) + ".rar");
    }
    links[3] = "http://rapidshare.com/files/1004/a&b_long_name_of_a_file_with_many_words_in_it_"
               "that_goes_on.part1.rar";
    return links;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: intake_screenshots FOLDER\n";
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    tolvenka::setServiceHost(std::string(tolvenka::DEFAULT_SERVICE_HOST));
    tolvenka::DownloadMaker maker;
    tolvenka::DownloadsSet downloadsSet(1, 40);
    std::string targetFolder = "/home/user/Загрузки/"_cp1251.data();
    tolvenka::TwaitDialog waitDialog;
    QTemporaryDir data;
    tolvenka::ArrivalHistory history(data.filePath(QStringLiteral("history.sqlite")).toStdString());
    tolvenka::TDownloadsListDialog dialog(downloadsSet, targetFolder, waitDialog, history);

    save(waitDialog, folder, QStringLiteral("wait-dialog-first.png"));
    waitDialog.setInfo(std::string("Проверка ссылки 12 из 25..."_cp1251));
    save(waitDialog, folder, QStringLiteral("wait-dialog-progress.png"));

    // The first file arrived before, the fifth too and was moved away since,
    // and three links named no file.
    const std::vector<std::string> links = sampleLinks();
    platform::HistoryRecord moved;
    moved.identity = maker.identityOf(links[4]);
    moved.link = links[4];
    moved.fileName = "archive-part5.rar";
    moved.path = targetFolder + moved.fileName;
    moved.size = 104'857'600;
    moved.arrivedAt = 1'741'770'000;
    history.database().add(moved);
    std::istringstream arrived("rapidshare.com\r\n" + links[0] + "\r\n" + targetFolder +
                               "archive-part1.rar\r\nComplete\r\n\r\n");
    downloadsSet.load(arrived);
    dialog.setLinks(links, 3);
    auto* rows = static_cast<tolvenka::LinkListModel*>(
        dialog.findChild<QListView*>(QStringLiteral("checkBoxesPad"))->model());
    rows->markMissing(1);
    rows->setData(rows->index(2), Qt::Unchecked, Qt::CheckStateRole);
    save(dialog, folder, QStringLiteral("downloads-list-dialog.png"));

    QMessageBox message(QMessageBox::NoIcon, QStringLiteral("Tolvenka"),
                        QStringLiteral("Некоторые файлы были удалены с сервера."), QMessageBox::Ok);
    save(message, folder, QStringLiteral("missing-files-message.png"));

    // The toolkit's folder browser, in Russian as the program loads it.
    tolvenka::loadRussianTranslations(app);
    QFileDialog browser(nullptr, QStringLiteral("Выберите каталог:"), QDir::homePath());
    browser.setFileMode(QFileDialog::Directory);
    browser.setOption(QFileDialog::ShowDirsOnly);
    browser.setOption(QFileDialog::DontUseNativeDialog);
    browser.resize(640, 420);
    save(browser, folder, QStringLiteral("folder-browser.png"));

    // The refusal of a folder whose name CP1251 cannot hold.
    dialog.setFolderBrowser([](QWidget*, const QString&, const QString&) {
        return std::optional<QString>(QStringLiteral("/tmp/日本"));
    });
    QTimer::singleShot(50, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                box->grab().save(folder + QStringLiteral("/refused-folder-message.png"));
                box->accept();
            }
        }
    });
    dialog.findChild<QPushButton*>(QStringLiteral("selectPath"))->click();
    return 0;
}
