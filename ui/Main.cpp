#include "ui/Main.h"

#include "support/Cp1251.h"
#include "widgets/WidgetText.h"

#include <QDir>
#include <QStandardPaths>

namespace tolvenka {

namespace {

constexpr int workerSlots = 1;
constexpr int workTimerIntervalMs = 40;

bool isUsableFolder(const QString& folder) {
    return !folder.isEmpty() &&
           kestrune::text::isCp1251Representable(folder.toUtf8().toStdString());
}

} // namespace

Main::Main(std::filesystem::path historyFile)
    : history(std::move(historyFile))
    , downloadsSet(workerSlots, workTimerIntervalMs)
    , targetFolder(defaultTargetFolder())
    , DownloadsListDialog(downloadsSet, targetFolder, waitDialog, history) {
    // On the thread that runs the download, before it is told complete.
    downloadsSet.onFileArrived = [this](Download* download, const Download::ArrivedFile& file) {
        history.recordArrival(*download, file);
    };
}

Main::~Main() = default;

std::filesystem::path historyFilePath() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return std::filesystem::path(data.toStdString()) / "tolvenka" / "history.sqlite";
}

std::string defaultTargetFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    // A folder whose name CP1251 cannot hold would be stored garbled.
    if (!isUsableFolder(folder)) {
        folder = QDir::homePath();
    }
    if (!folder.endsWith(QLatin1Char('/'))) {
        folder += QLatin1Char('/');
    }
    return fromQString(folder);
}

} // namespace tolvenka
