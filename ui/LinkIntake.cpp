#include "ui/LinkIntake.h"

#include "intake/LinkExtraction.h"
#include "intake/LinksFindingThread.h"
#include "intake/LinksLoadingThread.h"
#include "intake/TextSearch.h"
#include "service/DownloadMaker.h"
#include "support/Cp1251.h"
#include "ui/Main.h"
#include "widgets/ShowMessage.h"

#include <QScopedValueRollback>
#include <optional>
#include <unordered_set>

namespace tolvenka {

using namespace kestrune::text::literals;

namespace {

// Below this a text is searched at once: it takes a few milliseconds, less
// than the wait dialog would take to show.
constexpr qsizetype searchedAtOnceChars = 256 * 1024;

std::string namelessMessage(std::size_t count) {
    return std::string("Пропущены ссылки без имени файла: "_cp1251) + std::to_string(count) + ".";
}

// A message, and below it that the text was searched in part.
std::string withCutNote(std::string message, const FoundLinks& found) {
    if (found.isCut()) {
        message += '\n';
        message += textCutMessage(found.takenBytes());
        message += '.';
    }
    return message;
}

} // namespace

LinkIntake::LinkIntake(Main& state, QWidget& window)
    : state(state)
    , window(window) {}

void LinkIntake::addTyped(const QString& text) {
    if (stopped) {
        return;
    }
    const QScopedValueRollback stayBusy(busy, true);
    if (text.size() < searchedAtOnceChars) {
        offer(findLinks(text, maxTypedBytes));
        return;
    }
    std::optional<FoundLinks> found;
    state.waitDialog.execute(
        std::make_unique<LinksFindingThread>(state.waitDialog, text, maxTypedBytes, found));
    if (found && !stopped) {
        offer(std::move(*found));
    }
}

LinkIntake::Offer LinkIntake::addFound(FoundLinks found) {
    if (stopped) {
        return Offer::Dismissed;
    }
    const QScopedValueRollback stayBusy(busy, true);
    return offer(std::move(found));
}

LinkIntake::Offer LinkIntake::offer(FoundLinks found) {
    if (found.count() == 0) {
        showMessage(withCutNote(std::string("Не найдены ссылки."_cp1251), found), &window);
        return Offer::NothingToOffer;
    }
    if (found.count() == 1 && found.kindOf(0) == FoundLinks::Kind::Other) {
        // One address that is no download link: a page that lists them.
        PageLoadOutcome outcome;
        state.waitDialog.execute(std::make_unique<LinksLoadingThread>(
            state.waitDialog, std::string(found.address(0)), outcome));
        if (stopped) {
            return Offer::Dismissed;
        }
        // "Отмена": nothing to tell.
        if (!outcome.finished) {
            return Offer::Decided;
        }
        if (!outcome.failureReason.empty()) {
            showMessage(std::string("Не удалось загрузить страницу: "_cp1251) +
                            outcome.failureReason + ".",
                        &window);
            return Offer::NothingToOffer;
        }
        found = std::move(outcome.links);
    }
    // Told before the choice, in the dialog; alone when nothing is left.
    const std::size_t nameless = found.distinctNamelessCount();
    if (!found.hasDownloadLinks()) {
        showMessage(withCutNote(nameless > 0 ? namelessMessage(nameless)
                                             : std::string("Не найдены ссылки на закачки."_cp1251),
                                found),
                    &window);
        return Offer::NothingToOffer;
    }
    return confirm(withoutRepeats(found.downloadLinks()), nameless,
                   found.isCut() ? textCutMessage(found.takenBytes()) : std::string());
}

LinkIntake::Offer LinkIntake::confirm(const std::vector<std::string>& links, std::size_t nameless,
                                      const std::string& textCut) {
    const QScopedValueRollback stayBusy(busy, true);
    state.DownloadsListDialog.setLinks(links, nameless, textCut);
    state.DownloadsListDialog.exec();
    return stopped ? Offer::Dismissed : Offer::Decided;
}

// A page names a file in its address and again in its text, and two links to
// one file may be spelt apart (see DownloadMaker::identityOf).
std::vector<std::string> LinkIntake::withoutRepeats(const std::vector<std::string>& links) {
    std::vector<std::string> once;
    std::unordered_set<std::string> seen;
    seen.reserve(links.size());
    const DownloadMaker& maker = downloadMaker();
    for (const std::string& link : links) {
        if (seen.insert(maker.identityOf(link)).second) {
            once.push_back(link);
        }
    }
    return once;
}

std::vector<std::string> LinkIntake::notYetQueued(const std::vector<std::string>& links) const {
    const std::vector<bool> queued = state.downloadsSet.holdsUnfinished(links);
    std::vector<std::string> fresh;
    for (std::size_t index = 0; index < links.size(); ++index) {
        if (!queued[index]) {
            fresh.push_back(links[index]);
        }
    }
    return fresh;
}

} // namespace tolvenka
