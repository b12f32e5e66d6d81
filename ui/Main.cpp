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

Main::Main()
    : downloadsSet(workerSlots, workTimerIntervalMs)
    , targetFolder(defaultTargetFolder())
    , DownloadsListDialog(downloadsSet, targetFolder, waitDialog) {}

Main::~Main() = default;

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
