#include "ui/ClipboardWatch.h"

#include "intake/LinkExtraction.h"
#include "service/DownloadMaker.h"
#include "ui/OwnClipboardText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace tolvenka {

ClipboardWatch::ClipboardWatch(QObject* parent)
    : QObject(parent) {
    // dataChanged is the clipboard's own; the primary selection has
    // selectionChanged, which is never heard.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { clipboardChanged(); });
    search.onFound = [this](FoundLinks links) {
        found(links);
    };
}

void ClipboardWatch::setOn(bool isOn) {
    on = isOn;
}

void ClipboardWatch::clipboardChanged() {
    if (!on) {
        return;
    }
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (data == nullptr || !data->hasText()) {
        return;
    }
    const QString text = data->text();
    if (OwnClipboardText::isOwn(text)) {
        return;
    }
    search.search(text, maxCopyBytes);
}

void ClipboardWatch::found(const FoundLinks& links) {
    std::vector<std::string> fresh;
    const DownloadMaker& maker = downloadMaker();
    for (std::string& link : links.downloadLinks()) {
        if (offered.insert(maker.identityOf(link)).second) {
            fresh.push_back(std::move(link));
        }
    }
    if (!fresh.empty()) {
        onLinks(std::move(fresh),
                links.isCut() ? textCutMessage(links.takenBytes()) : std::string());
    }
}

} // namespace tolvenka
