#include "intake/CheckLinksThread.h"

#include "intake/LinkListModel.h"
#include "intake/TwaitDialog.h"
#include "platform/GuiThread.h"
#include "service/DownloadMaker.h"
#include "support/Cp1251.h"
#include "widgets/ShowMessage.h"

namespace tolvenka {

using namespace kestrune::text::literals;

CheckLinksThread::CheckLinksThread(TwaitDialog& waitDialog, LinkListModel& links)
    : WaitThread(waitDialog)
    , links(links) {
    start();
}

CheckLinksThread::~CheckLinksThread() {
    wait();
}

void CheckLinksThread::doWork() {
    // The rows stay as they are while the check runs: the wait dialog is
    // modal over them.
    int rows = 0;
    platform::synchronize([&] { rows = links.count(); });
    for (int row = 0; row < rows && !isCancelled(); ++row) {
        std::optional<std::string> link;
        platform::synchronize([&] { link = beginRow(row, rows); });
        if (!link) {
            continue;
        }
        const DownloadMaker& maker = downloadMaker();
        // A link that no kind knows counts as missing. The job's own client
        // asks, so that cancelling cuts a question that hangs.
        if (!maker.fileExists(maker.kindOf(*link), *link, client())) {
            platform::synchronize([&] { markMissing(row); });
        }
    }
}

std::optional<std::string> CheckLinksThread::beginRow(int row, int rows) {
    if (TwaitDialog* dialog = waitDialog()) {
        dialog->setInfo(std::string("Проверка ссылки "_cp1251) + std::to_string(row + 1) +
                        std::string(" из "_cp1251) + std::to_string(rows) + "...");
    }
    if (!links.isChecked(row)) {
        return std::nullopt;
    }
    return links.link(row);
}

void CheckLinksThread::markMissing(int row) {
    links.markMissing(row);
    missingFound = true;
}

void CheckLinksThread::onDone() {
    if (missingFound) {
        showMessage(std::string("Некоторые файлы были удалены с сервера."_cp1251), waitDialog());
    }
}

} // namespace tolvenka
