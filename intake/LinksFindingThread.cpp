#include "intake/LinksFindingThread.h"

#include "intake/TextSearch.h"
#include "support/Cp1251.h"

namespace tolvenka {

using namespace kestrune::text::literals;

LinksFindingThread::LinksFindingThread(TwaitDialog& waitDialog, QString text, std::size_t maxBytes,
                                       std::optional<FoundLinks>& found)
    : WaitThread(waitDialog)
    , text(std::move(text))
    , maxBytes(maxBytes)
    , found(found) {
    start();
}

LinksFindingThread::~LinksFindingThread() {
    wait();
}

void LinksFindingThread::doWork() {
    showInfo(std::string("Поиск ссылок..."_cp1251));
    links = findLinks(text, maxBytes);
}

void LinksFindingThread::onDone() {
    found = std::move(links);
}

} // namespace tolvenka
