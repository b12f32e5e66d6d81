#include "ui/OutsideLinks.h"

#include "intake/LinkExtraction.h"
#include "ui/ClipboardWatch.h"
#include "ui/LinkIntake.h"
#include "ui/Main.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

namespace tolvenka {

namespace {

// How often links that wait for a dialog to close look again.
constexpr int dialogCheckIntervalMs = 200;

// Addresses as their text, one a line; else the text itself. An address
// keeps its escapes: decoded, a letter would be taken as it stands, but a
// space or a sign in a file name would end the link.
QString droppedText(const QMimeData& data) {
    if (!data.hasUrls()) {
        return data.text();
    }
    QStringList lines;
    for (const QUrl& url : data.urls()) {
        lines << url.toString(QUrl::FullyEncoded);
    }
    return lines.join(u'\n');
}

// A drag of text or addresses from elsewhere than the input box itself.
bool isDropFromOutside(const QDropEvent& event, const QPlainTextEdit& input) {
    const QObject* source = event.source();
    return (event.mimeData()->hasUrls() || event.mimeData()->hasText()) && source != &input &&
           source != input.viewport();
}

QTimer* singleShotTimer(QObject* parent, std::function<void()> onTimeout) {
    auto* timer = new QTimer(parent);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, parent, std::move(onTimeout));
    return timer;
}

} // namespace

OutsideLinks::OutsideLinks(Main& state, LinkIntake& intake, QWidget& window, QPlainTextEdit& input,
                           std::function<bool()> hasQueue)
    : state(state)
    , intake(intake)
    , window(window)
    , input(input)
    , hasQueue(std::move(hasQueue))
    , handOverTimer(singleShotTimer(this, [this] { offerHandOversWhenNoDialog(); }))
    , clipboard(new ClipboardWatch(this))
    , copyTimer(singleShotTimer(this, [this] { offerCopiesWhenNoDialog(); })) {
    handOverSearch.onFound = [this](FoundLinks links) {
        handedOver.push_back(std::move(links));
        handOverTimer->start(0);
    };
    // Copies that come together, or while a dialog is open, are offered
    // together.
    clipboard->onLinks = [this](std::vector<std::string> links, std::string cut) {
        if (this->intake.isStopped()) {
            return;
        }
        copied.insert(copied.end(), std::make_move_iterator(links.begin()),
                      std::make_move_iterator(links.end()));
        if (!cut.empty()) {
            copyCut = std::move(cut);
        }
        copyTimer->start(0);
    };
    window.setAcceptDrops(true);
    window.installEventFilter(this);
    // The input box would put a drop where the pointer is, into the middle
    // of a link as like as not; drops go to its end, as on the rest.
    input.viewport()->installEventFilter(this);
}

OutsideLinks::~OutsideLinks() = default;

bool OutsideLinks::handOver(const QString& text) {
    if (intake.isStopped()) {
        return false;
    }
    if (bringToFront) {
        bringToFront();
    }
    if (!text.trimmed().isEmpty()) {
        handOverSearch.search(text, maxTypedBytes);
    }
    return true;
}

void OutsideLinks::queueTaken() {
    if (!handedOver.empty()) {
        handOverTimer->start(0);
    }
}

bool OutsideLinks::isBusy() const {
    return handOverSearch.isBusy() || !handedOver.empty();
}

// One text at a time, each in a dialog of its own, in the order they came.
void OutsideLinks::offerHandOversWhenNoDialog() {
    if (intake.isStopped() || handedOver.empty() || waitsForDialog(*handOverTimer)) {
        return;
    }
    if (!hasQueue()) {
        return; // they go on once the queue is taken
    }
    FoundLinks links = std::move(handedOver.front());
    handedOver.pop_front();
    // Kept for the close, which may dismiss the dialog before it is decided.
    const std::vector<std::string> downloadLinks = links.downloadLinks();
    if (intake.addFound(std::move(links)) == LinkIntake::Offer::Dismissed) {
        queueLinks(downloadLinks);
    }
    if (!handedOver.empty()) {
        handOverTimer->start(0);
    }
}

void OutsideLinks::queuePromised() {
    handOverSearch.finishNow();
    handOverTimer->stop();
    for (const FoundLinks& links : std::exchange(handedOver, {})) {
        queueLinks(links.downloadLinks());
    }
}

void OutsideLinks::queueLinks(const std::vector<std::string>& links) {
    state.downloadsSet.add(intake.notYetQueued(LinkIntake::withoutRepeats(links)),
                           state.targetFolder);
}

void OutsideLinks::offerCopiesWhenNoDialog() {
    if (intake.isStopped() || copied.empty() || waitsForDialog(*copyTimer)) {
        return;
    }
    if (!hasQueue()) {
        copyTimer->start(dialogCheckIntervalMs);
        return;
    }
    const std::vector<std::string> links = intake.notYetQueued(std::exchange(copied, {}));
    const std::string cut = std::exchange(copyCut, {});
    if (links.empty()) {
        return;
    }
    if (bringToFront) {
        bringToFront();
    }
    intake.confirm(links, 0, cut);
}

bool OutsideLinks::waitsForDialog(QTimer& timer) {
    if (QApplication::activeModalWidget() != nullptr || intake.isBusy()) {
        timer.start(dialogCheckIntervalMs);
        return true;
    }
    return false;
}

void OutsideLinks::appendToInput(const QString& text) {
    QTextCursor end(input.document());
    end.movePosition(QTextCursor::End);
    const QTextDocument& document = *input.document();
    if (!document.isEmpty() && document.characterAt(document.characterCount() - 2) != u'\n' &&
        document.characterAt(document.characterCount() - 2) != QChar::ParagraphSeparator) {
        end.insertText(QStringLiteral("\n"));
    }
    end.insertText(text);
}

bool OutsideLinks::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((watched == &window || watched == input.viewport()) &&
        (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (isDropFromOutside(*drop, input)) {
            if (type == QEvent::Drop) {
                appendToInput(droppedText(*drop->mimeData()));
            }
            drop->acceptProposedAction();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tolvenka
