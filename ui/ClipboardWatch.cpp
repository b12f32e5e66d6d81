#include "ui/ClipboardWatch.h"

#include "intake/LinkExtraction.h"
#include "service/DownloadMaker.h"
#include "ui/OwnClipboardText.h"
#include "widgets/LinkText.h"

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
    std::vector<std::string> links = newLinksIn(text);
    if (!links.empty()) {
        onLinks(std::move(links));
    }
}

std::vector<std::string> ClipboardWatch::newLinksIn(const QString& text) {
    std::vector<std::string> allLinks;
    std::vector<std::string> downloadLinks;
    extractLinks(linkTextOf(text), allLinks, downloadLinks);
    std::vector<std::string> fresh;
    const DownloadMaker& maker = downloadMaker();
    for (std::string& link : downloadLinks) {
        if (offered.insert(maker.identityOf(link)).second) {
            fresh.push_back(std::move(link));
        }
    }
    return fresh;
}

} // namespace tolvenka
