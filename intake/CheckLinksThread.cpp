#include "intake/CheckLinksThread.h"

#include "engine/FailureReason.h"
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
        try {
            if (!maker.fileExists(maker.kindOf(*link), *link, client())) {
                platform::synchronize([&] { markMissing(row); });
            }
        } catch (...) {
            // A question that could not be asked says nothing about the
            // file: its link stays checked, and the end says so.
            if (uncheckedLinks++ == 0) {
                firstFailureReason = failureReasonOf(std::current_exception());
            }
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
    std::vector<std::string> lines;
    if (missingFound) {
        lines.emplace_back("Некоторые файлы были удалены с сервера."_cp1251);
    }
    if (uncheckedLinks > 0) {
        lines.push_back(std::string("Не удалось проверить ссылок: "_cp1251) +
                        std::to_string(uncheckedLinks) + " (" + firstFailureReason + ").");
    }
    if (!lines.empty()) {
        showMessage(lines.size() == 1 ? lines[0] : lines[0] + "\n" + lines[1], waitDialog());
    }
}

} // namespace tolvenka
