#include "ui/Main.h"

#include "intake/WidgetText.h"
#include "support/Cp1251.h"

#include <QDir>
#include <QStandardPaths>
#include <cassert>
#include <stdexcept>

namespace tolvenka {

namespace {

constexpr int workerSlots = 1;
constexpr int workTimerIntervalMs = 40;

Main* current = nullptr;

bool isUsableFolder(const QString& folder) {
    return !folder.isEmpty() &&
           kestrune::text::isCp1251Representable(folder.toUtf8().toStdString());
}

} // namespace

Main::Main()
    : downloadsSet(workerSlots, workTimerIntervalMs)
    , targetFolder(defaultTargetFolder())
    , DownloadsListDialog(downloadsSet, targetFolder, waitDialog) {
    assert(current == nullptr && "only one Main may live at a time");
    current = this;
}

Main::~Main() {
    current = nullptr;
}

Main& Main::instance() {
    if (current == nullptr) {
        throw std::logic_error("no application state lives");
    }
    return *current;
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
