#include "intake/CheckLinksThread.h"

#include "intake/ShowMessage.h"
#include "intake/TwaitDialog.h"
#include "platform/GuiThread.h"
#include "service/DownloadMaker.h"
#include "support/Cp1251.h"

#include <QCheckBox>
#include <QPalette>

namespace tolvenka {

using namespace kestrune::text::literals;

CheckLinksThread::CheckLinksThread(TwaitDialog& waitDialog, const std::vector<LinkBox>& linkBoxes)
    : WaitThread(waitDialog)
    , linkBoxes(linkBoxes) {
    start();
}

CheckLinksThread::~CheckLinksThread() {
    wait();
}

void CheckLinksThread::doWork() {
    for (const LinkBox& linkBox : linkBoxes) {
        if (isCancelled()) {
            return;
        }
        ++boxNumber;
        std::optional<std::string> link;
        platform::synchronize([&] { link = beginBox(linkBox, boxNumber); });
        if (!link) {
            continue;
        }
        const DownloadMaker& maker = downloadMaker();
        // A link that no kind knows counts as missing. The job's own client
        // asks, so that cancelling cuts a question that hangs.
        if (!maker.fileExists(maker.kindOf(*link), *link, client())) {
            platform::synchronize([&] { markMissing(linkBox); });
        }
    }
}

std::optional<std::string> CheckLinksThread::beginBox(const LinkBox& linkBox, int number) {
    if (TwaitDialog* dialog = waitDialog()) {
        dialog->setInfo(std::string("Проверка ссылки "_cp1251) + std::to_string(number) +
                        std::string(" из "_cp1251) + std::to_string(linkBoxes.size()) + "...");
    }
    if (!linkBox.box->isChecked()) {
        return std::nullopt;
    }
    return linkBox.link;
}

void CheckLinksThread::markMissing(const LinkBox& linkBox) {
    QPalette palette = linkBox.box->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    palette.setColor(QPalette::ButtonText, QColor(255, 0, 0));
    linkBox.box->setPalette(palette);
    linkBox.box->setChecked(false);
    missingFound = true;
}

void CheckLinksThread::onDone() {
    if (missingFound) {
        showMessage(std::string("Некоторые файлы были удалены с сервера."_cp1251), waitDialog());
    }
}

} // namespace tolvenka
