#pragma once

#include "intake/BackgroundLinkSearch.h"
#include "support/Event.h"

#include <QObject>
#include <string>
#include <unordered_set>
#include <vector>

namespace tolvenka {

// Takes the download links the user copies, as they are copied. While it is
// on, each change of the clipboard's text (never of the primary selection)
// goes through the link extraction of "Добавить", on a thread of its own so
// that a large copy never holds the window, and the download links in it
// whose files were not offered before in this run go to `onLinks`, each
// once, however its link is spelt.
// Nothing is fetched: a copied page address is not a download link. Text
// the program itself put on the clipboard is left alone, and of a copy over
// `maxCopyBytes` only the start is searched.
//
// The desktop decides what the toolkit hears: on X11 every change, on
// Wayland only those made while a window of the program has the focus.
class ClipboardWatch : public QObject {
public:
    explicit ClipboardWatch(QObject* parent = nullptr);

    // Off at first. What the clipboard holds when it is turned on is not
    // taken; only later changes are.
    void setOn(bool on);
    bool isOn() const { return on; }
    // Whether a copy is being searched.
    bool isBusy() const { return search.isBusy(); }

    // CP1251 links, in the order of the text, and what tells that only the
    // start of the copy was searched (empty when all of it was). Fires on
    // the GUI thread.
    kestrune::Event<std::vector<std::string>, std::string> onLinks;

private:
    void clipboardChanged();
    void found(const FoundLinks& links);

    bool on = false;
    BackgroundLinkSearch search;
    // The files of the links offered (see DownloadMaker::identityOf), so
    // that another spelling of a link offered is not offered again.
    std::unordered_set<std::string> offered;
};

} // namespace tolvenka
