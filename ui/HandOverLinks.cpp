#include "ui/HandOverLinks.h"

#include "ui/LinkListener.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <chrono>
#include <thread>

namespace tolvenka {

namespace {

// The lock holder listens a moment after it takes the lock.
constexpr int connectWithinMs = 2000;
// It answers from its event loop, which a long start-up may hold a while.
constexpr int answerWithinMs = 10'000;

bool connectTo(QLocalSocket& socket, const QString& socketName) {
    const QDeadlineTimer deadline(connectWithinMs);
    for (;;) {
        socket.connectToServer(socketName);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            return true;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace

bool handOverLinks(const QString& socketName, const QString& text) {
    QLocalSocket socket;
    if (!connectTo(socket, socketName)) {
        return false;
    }
    QByteArray message = text.toUtf8();
    message += LinkListener::endOfText;
    socket.write(message);
    const QDeadlineTimer deadline(answerWithinMs);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    char answer = 0;
    return socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
           socket.read(&answer, 1) == 1 && answer == LinkListener::taken;
}

} // namespace tolvenka
