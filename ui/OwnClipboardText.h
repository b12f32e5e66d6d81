#pragma once

#include <QString>

namespace tolvenka {

// What this program itself puts on the clipboard, remembered so that the
// watch on the clipboard can tell it from what the user copied elsewhere.
// The text itself is compared, not only who owns the clipboard: a desktop's
// clipboard manager takes over what a program copies, and it would then
// come back as someone else's. GUI thread.
class OwnClipboardText {
public:
    // Puts `text` on the clipboard (never the primary selection).
    static void put(const QString& text);
    // Whether the clipboard holding `text` is the program's own doing.
    static bool isOwn(const QString& text);
};

} // namespace tolvenka
