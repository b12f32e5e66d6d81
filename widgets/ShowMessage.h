#pragma once

#include <string>

class QWidget;

namespace tolvenka {

// A modal message box with the application's name as its caption, the CP1251
// `text` and an OK button. GUI thread only; returns when the user closes it.
void showMessage(const std::string& text, QWidget* parent = nullptr);

} // namespace tolvenka
