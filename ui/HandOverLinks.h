#pragma once

#include <QString>

namespace tolvenka {

// Hands `text` (the links of a later start, possibly none) to the program
// that listens on `socketName`, and waits for it to say it took them.
// Returns false if nobody listens, answers in time or takes them.
bool handOverLinks(const QString& socketName, const QString& text);

} // namespace tolvenka
