#pragma once

#include <QString>
#include <QStringList>

class QTimer;

namespace testing_helpers {

// Closes every message box that opens while it lives, as a user pressing OK
// would, and keeps their texts.
class ModalWatcher {
public:
    ModalWatcher();
    ~ModalWatcher();

    ModalWatcher(const ModalWatcher&) = delete;
    ModalWatcher& operator=(const ModalWatcher&) = delete;

    const QStringList& texts() const { return seen; }

private:
    QTimer* timer;
    QStringList seen;
};

} // namespace testing_helpers
