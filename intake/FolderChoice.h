#pragma once

#include <QString>
#include <optional>
#include <string>

class QWidget;

namespace tolvenka {

// Whether downloads can be saved in `folder` (CP1251): it is made if it is
// not there, and must take a file. If not, the user is told why in a message
// box over `parent`.
bool folderTakesDownloads(const std::string& folder, QWidget* parent);

// A folder the user chose for downloads, as the program keeps it (CP1251),
// or nothing when it cannot be one: its name has characters the program
// cannot keep, or it cannot take downloads. The user is told why, in a
// message box over `parent`.
std::optional<std::string> acceptableFolder(const QString& chosen, QWidget* parent);

} // namespace tolvenka
