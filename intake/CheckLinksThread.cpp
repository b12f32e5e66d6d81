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
    for (int row = 0; !isCancelled(); ++row) {
        bool rowsLeft = true;
        std::optional<std::string> link;
        platform::synchronize([&] { link = beginRow(row, rowsLeft); });
        if (!rowsLeft) {
            return;
        }
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

std::optional<std::string> CheckLinksThread::beginRow(int row, bool& rowsLeft) {
    rowsLeft = row < links.count();
    if (!rowsLeft) {
        return std::nullopt;
    }
    if (TwaitDialog* dialog = waitDialog()) {
        dialog->setInfo(std::string("Проверка ссылки "_cp1251) + std::to_string(row + 1) +
                        std::string(" из "_cp1251) + std::to_string(links.count()) + "...");
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
