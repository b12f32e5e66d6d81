#pragma once

#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace tolvenka {

// A folder the user chose for downloads, as the program keeps it (CP1251),
// or nothing when it cannot be one: its name has characters the program
// cannot keep. The user is told why, in a message box over `parent`.
std::optional<std::string> acceptableFolder(const QString& chosen, QWidget* parent);

} // namespace tolvenka
