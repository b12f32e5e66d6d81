#include "intake/FolderChoice.h"

#include "engine/TargetFolderCheck.h"
#include "support/Cp1251.h"
#include "widgets/ShowMessage.h"
#include "widgets/WidgetText.h"

#include <QByteArray>
#include <string_view>

namespace tolvenka {

using namespace kestrune::text::literals;

bool folderTakesDownloads(const std::string& folder, QWidget* parent) {
    const std::string refusal = targetFolderRefusal(folder);
    if (!refusal.empty()) {
        showMessage(refusal, parent);
    }
    return refusal.empty();
}

std::optional<std::string> acceptableFolder(const QString& chosen, QWidget* parent) {
    const QByteArray utf8 = chosen.toUtf8();
    const std::string_view name(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    // The program keeps folders in CP1251, one to a line of the queue file; a
    // name it cannot hold, or one with a line break in it, would be stored
    // garbled and its downloads would go elsewhere.
    if (!kestrune::text::isCp1251Representable(name) || kestrune::text::hasControlByte(name)) {
        showMessage(std::string("В имени выбранного каталога есть символы, которые программа не "
                                "может сохранить. Выберите другой каталог."_cp1251),
                    parent);
        return std::nullopt;
    }
    std::string folder = fromQString(chosen);
    if (!folderTakesDownloads(folder, parent)) {
        return std::nullopt;
    }
    return folder;
}

} // namespace tolvenka
