#pragma once

#include "support/Event.h"

#include <QObject>
#include <string>
#include <unordered_set>
#include <vector>

namespace tolvenka {

// Takes the download links the user copies, as they are copied. While it is
// on, each change of the clipboard's text (never of the primary selection)
// goes through the link extraction of "Добавить", and the download links in
// it whose files were not offered before in this run go to `onLinks`, each
// once, however its link is spelt.
// Nothing is fetched: a copied page address is not a download link. Text
// the program itself put on the clipboard is left alone.
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

    // CP1251 links, in the order of the text. Fires on the GUI thread.
    kestrune::Event<std::vector<std::string>> onLinks;

private:
    void clipboardChanged();
    // The download links of `text` not offered before, now counted as offered.
    std::vector<std::string> newLinksIn(const QString& text);

    bool on = false;
    // The files of the links offered (see DownloadMaker::identityOf), so
    // that another spelling of a link offered is not offered again.
    std::unordered_set<std::string> offered;
};

} // namespace tolvenka
