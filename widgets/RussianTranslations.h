#pragma once

class QCoreApplication;

namespace tolvenka {

// Loads the toolkit's own Russian texts (the folder browser, the standard
// buttons of message boxes), so that the whole program speaks Russian
// whatever the desktop's language. False when they are not installed; the
// toolkit then keeps its English.
bool loadRussianTranslations(QCoreApplication& app);

} // namespace tolvenka
