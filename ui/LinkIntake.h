#pragma once

#include "intake/FoundLinks.h"

#include <QString>
#include <string>
#include <vector>

class QWidget;

namespace tolvenka {

class Main;

// The way of a text to the queue: its addresses found (a long text under the
// wait dialog, so that the window answers meanwhile), a page loaded where the
// text is one address that is no download link, what was passed over told,
// and the download links confirmed in the dialog.
//
// GUI thread only.
class LinkIntake {
public:
    // How an offer of links ended.
    enum class Offer {
        Decided,       // the user answered the dialogs
        Dismissed,     // the close began while they were open
        NothingToOffer // no download links; the user was told why
    };

    LinkIntake(Main& state, QWidget& window);

    // "Добавить": the links of a typed text.
    void addTyped(const QString& text);
    // Links found in a text from elsewhere, as "Добавить" takes them.
    Offer addFound(FoundLinks found);
    // Download links for the dialog; `textCut` (CP1251) tells that only the
    // start of their text was searched.
    Offer confirm(const std::vector<std::string>& links, std::size_t nameless = 0,
                  const std::string& textCut = {});

    // From an offer until its dialogs have returned: a dialog that has just
    // closed may still be on its way out of its event loop, where opening it
    // again would fail, and a close must wait for what it returns.
    bool isBusy() const { return busy; }
    // The close has begun: a dialog open now is dismissed, not decided.
    void stop() { stopped = true; }
    bool isStopped() const { return stopped; }

    // The links in order, each file once, at its first link and as written
    // there.
    static std::vector<std::string> withoutRepeats(const std::vector<std::string>& links);
    // Of these links, those no unfinished download of the queue has.
    std::vector<std::string> notYetQueued(const std::vector<std::string>& links) const;

private:
    Offer offer(FoundLinks found);

    Main& state;
    QWidget& window;
    bool busy = false;
    bool stopped = false;
};

} // namespace tolvenka
