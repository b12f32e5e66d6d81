#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tolvenka {

// Turns SIGTERM, SIGINT and SIGHUP (a session logging out, Ctrl+C in a
// terminal, the terminal closed) into a call on the GUI thread, so the program
// closes the way the close box closes it: the queue saved, the worker ended.
// The handler only writes a byte to a socket that never blocks; the event
// loop reads it. From its destruction on, when the program is ending, those
// signals are ignored.
class TerminationSignals : public QObject {
public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals() override;

private:
    std::function<void()> onSignal;
    QSocketNotifier* notifier = nullptr;
};

} // namespace tolvenka
