#include "ui/TerminationSignals.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tolvenka {

namespace {

int signalSockets[2] = {-1, -1};

// A session logging out, Ctrl+C in a terminal, the terminal closed.
constexpr int closingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// It may interrupt any thread between a call and its look at errno, so errno
// is left as it was. The socket never blocks: a handler that waited for room
// on the GUI thread would wait for itself. A full socket holds wake-ups
// enough.
void writeSignalByte(int) {
    const int callersError = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
    errno = callersError;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal)
    : onSignal(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSockets) != 0) {
        return;
    }
    notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        // One close for a flood of signals: every byte waiting is read.
        std::array<char, 4096> bytes{};
        while (::read(signalSockets[1], bytes.data(), bytes.size()) > 0) {
        }
        this->onSignal();
    });
    struct sigaction action {};
    action.sa_handler = writeSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : closingSignals) {
        // A signal ignored at start stays ignored: nohup ignores SIGHUP so
        // that the program outlives its terminal.
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            ::sigaction(signal, &action, nullptr);
        }
    }
}

TerminationSignals::~TerminationSignals() {
    // The program is ending, its queue saved: the rest of a flood of signals
    // must not cut that short.
    for (const int signal : closingSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == writeSignalByte) {
            std::signal(signal, SIG_IGN);
        }
    }
    delete notifier;
    for (int& fd : signalSockets) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

} // namespace tolvenka
