#pragma once

#include <QString>

class QWidget;

namespace tolvenka {

// Asks `question` in a modal box over `parent`, captioned with the
// application's name, with the button `goAhead` and "Отмена". "Отмена" is
// the default, and Escape and the close box choose it, so that a key struck
// by habit changes nothing. True when the user chose `goAhead`. GUI thread.
bool askBeforeGoingAhead(const QString& question, const QString& goAhead, QWidget* parent);

} // namespace tolvenka
