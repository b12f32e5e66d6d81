#pragma once

#include "intake/BackgroundLinkSearch.h"

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class QPlainTextEdit;
class QTimer;
class QWidget;

namespace tolvenka {

class ClipboardWatch;
class LinkIntake;
class Main;

// Links that come from outside the input box: the text a later start hands
// over, the user's copies (through the watch on the clipboard) and drops on
// the window. Handed-over and copied texts are searched in the background
// and offered once no dialog is open and the queue is there, without
// touching the input box, where the user may be writing; a drop only fills
// the input box, for the user to look at before "Добавить".
//
// A later start was promised a place for its links: those that no dialog
// decided are queued by the close, into the current folder (no page is
// loaded for them).
//
// GUI thread only.
class OutsideLinks : public QObject {
public:
    // `hasQueue` tells whether the queue has been taken (and takes it if it
    // has been read meanwhile).
    OutsideLinks(Main& state, LinkIntake& intake, QWidget& window, QPlainTextEdit& input,
                 std::function<bool()> hasQueue);
    ~OutsideLinks() override;

    ClipboardWatch& clipboardWatch() { return *clipboard; }

    // A later start's text. False once the close has begun.
    bool handOver(const QString& text);
    // The queue has been taken: what waited for it goes on.
    void queueTaken();
    // The close: handed-over links not yet offered are queued now, their
    // search finished first.
    void queuePromised();
    // Whether something taken has not been offered or queued yet.
    bool isBusy() const;

    // Raises the window, or the dialog over it.
    std::function<void()> bringToFront;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void offerHandOversWhenNoDialog();
    void offerCopiesWhenNoDialog();
    void queueLinks(const std::vector<std::string>& links);
    // While a dialog is open or links are being added, `timer` looks again
    // a little later, and true is returned.
    bool waitsForDialog(QTimer& timer);
    void appendToInput(const QString& text);

    Main& state;
    LinkIntake& intake;
    QWidget& window;
    QPlainTextEdit& input;
    std::function<bool()> hasQueue;
    BackgroundLinkSearch handOverSearch;
    std::deque<FoundLinks> handedOver;
    QTimer* handOverTimer;
    ClipboardWatch* clipboard;
    std::vector<std::string> copied; // CP1251
    std::string copyCut;             // the last copy searched in part, told with them
    QTimer* copyTimer;
};

} // namespace tolvenka
